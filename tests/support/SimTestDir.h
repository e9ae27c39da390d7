// A private simulator state directory, this process's libgphoto2 pointed at it and the simulator.
#pragma once

#include "CamSim.h"
#include "TempDir.h"

namespace camsim {

class SimTestDir : public TempDir {
  public:
    SimTestDir() : TempDir("camsim-test") { UseSimulatorDrivers(Path()); }
};

}  // namespace camsim
