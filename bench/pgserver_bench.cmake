# pgserver_bench: how long the tests' PostgreSQL takes to be made and started (make bench-pgserver).
if(TARGET hg_pgtestserver)
    add_executable(pgserver_bench ${CMAKE_CURRENT_LIST_DIR}/pgserver_bench.cpp)
    target_link_libraries(pgserver_bench PRIVATE hg_pgtestserver)
    set_target_properties(pgserver_bench PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
endif()
