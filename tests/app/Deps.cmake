# test_app runs the station program itself.
add_dependencies(test_app korvane)
