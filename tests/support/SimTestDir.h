// A private simulator state directory for the lifetime of the object, with
// this process's libgphoto2 pointed at the simulator and at that directory.
#pragma once

#include "CamSim.h"
#include "TempDir.h"

namespace camsim {

class SimTestDir : public TempDir {
public:
    SimTestDir() : TempDir("camsim-test") { UseSimulatorDrivers(Path()); }
};

}  // namespace camsim
