// A fresh directory under /tmp, removed with everything in it at the end.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

class TempDir {
  public:
    explicit TempDir(const std::string& stem = "camctrl") : m_path("/tmp/" + stem + ".XXXXXX") {
        if (mkdtemp(&m_path[0]) == nullptr)
            m_path.clear();
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};
