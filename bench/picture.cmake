# Per-update cost of the view's picture: own copy, scaling, drawing (not a test).
add_executable(bench_picture ${CMAKE_CURRENT_LIST_DIR}/picture.cpp)
target_link_libraries(bench_picture PRIVATE vncview Qt6::Gui)
