if(NOT HG_WITH_SQLITE)
    return()
endif()
# Figures of the ID group store in a temporary data folder: make bench-store.
add_executable(store_bench ${CMAKE_CURRENT_LIST_DIR}/store_bench.cpp)
# It writes 10,000 groups straight into the groups table, as another program could.
target_link_libraries(store_bench PRIVATE hg_store SQLite::SQLite3)
set_target_properties(store_bench PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
# And the same on a group server that it starts for the run, as the tests do.
if(TARGET hg_pgtestserver AND TARGET hg_server_store)
    target_link_libraries(store_bench PRIVATE hg_server_store hg_pgtestserver)
    target_compile_definitions(store_bench PRIVATE HG_BENCH_SERVER)
endif()
