# test_gif links giflib: its encoder is the byte-exact LZW oracle and its decoder the independent reader.
find_library(GIF_LIB gif REQUIRED)
find_path(GIF_INCLUDE gif_lib.h REQUIRED)
target_link_libraries(test_gif PRIVATE ${GIF_LIB})
target_include_directories(test_gif PRIVATE ${GIF_INCLUDE})
