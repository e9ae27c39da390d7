camctrl_fuzz_library(CameraCtrlCore)
target_link_libraries(${FUZZER} PRIVATE CameraCtrlCore_fuzz)
