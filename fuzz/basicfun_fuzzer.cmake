camctrl_fuzz_library(BasicFun)
target_link_libraries(${FUZZER} PRIVATE BasicFun_fuzz)
