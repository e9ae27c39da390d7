// For tests: a private simulator state directory for the lifetime of the object, with this
// process's libgphoto2 pointed at the simulator and at that directory.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "CamSim.h"

namespace camsim {

class SimTestDir {
  public:
    SimTestDir() {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/camsim-test-XXXXXX";
        if (mkdtemp(pattern.data()))
            m_path = pattern;
        UseSimulatorDrivers(m_path);
    }
    ~SimTestDir() {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    SimTestDir(const SimTestDir&) = delete;
    SimTestDir& operator=(const SimTestDir&) = delete;

    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
};

}  // namespace camsim
