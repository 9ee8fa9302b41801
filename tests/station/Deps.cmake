# test_station reads the graph images the station writes with giflib, an independent decoder.
find_library(GIF_LIB gif REQUIRED)
find_path(GIF_INCLUDE gif_lib.h REQUIRED)
target_link_libraries(test_station PRIVATE ${GIF_LIB})
target_include_directories(test_station PRIVATE ${GIF_INCLUDE})
