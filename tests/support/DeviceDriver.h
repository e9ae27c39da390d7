// Where the device's camera driver (scripts/build-driver.sh) is found by the tests that drive it;
// the test target defines DRIVER_CAMLIBS, $CAMCTRL_DRIVER_CAMLIBS overrides it.
#pragma once

#include <cstdlib>
#include <string>

inline std::string DriverDir() {
    const char* dir = std::getenv("CAMCTRL_DRIVER_CAMLIBS");
    return dir ? dir : DRIVER_CAMLIBS;
}
