# test_gauges reads the station's graph GIF back with giflib, an independent decoder.
find_library(GIF_LIB gif REQUIRED)
find_path(GIF_INCLUDE gif_lib.h REQUIRED)
target_link_libraries(test_gauges PRIVATE ${GIF_LIB})
target_include_directories(test_gauges PRIVATE ${GIF_INCLUDE})
