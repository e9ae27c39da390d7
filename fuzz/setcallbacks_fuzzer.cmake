camctrl_fuzz_library(CameraCtrlCore)
# The simulator's control API and, through it, its drivers, which stay without coverage.
target_link_libraries(${FUZZER} PRIVATE CameraCtrlCore_fuzz CamSimControl CamSimCore)
