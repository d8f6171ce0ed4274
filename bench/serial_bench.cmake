# Serial device layer figures through a pseudo-terminal: make bench-serial.
add_executable(serial_bench ${CMAKE_CURRENT_LIST_DIR}/serial_bench.cpp)
target_link_libraries(serial_bench PRIVATE hg_serial)
set_target_properties(serial_bench PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
