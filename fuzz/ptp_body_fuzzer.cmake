camctrl_fuzz_library(CamSimCore)
target_link_libraries(${FUZZER} PRIVATE CamSimCore_fuzz)
