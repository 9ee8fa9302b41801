# test_publish decodes the web server's GIF answers with giflib, an independent reader.
find_library(PUBLISH_GIF_LIB gif REQUIRED)
find_path(PUBLISH_GIF_INCLUDE gif_lib.h REQUIRED)
target_link_libraries(test_publish PRIVATE ${PUBLISH_GIF_LIB})
target_include_directories(test_publish PRIVATE ${PUBLISH_GIF_INCLUDE})
