# The driver's part that reads what a body reports, compiled on its own with coverage.
add_library(driver_eventmap_fuzz STATIC ${PROJECT_SOURCE_DIR}/driver/kd-eventmap.c)
target_include_directories(driver_eventmap_fuzz PUBLIC ${PROJECT_SOURCE_DIR}/driver)
target_compile_options(driver_eventmap_fuzz PRIVATE -fsanitize=fuzzer-no-link)
target_link_libraries(${FUZZER} PRIVATE driver_eventmap_fuzz m)
