if(NOT HG_WITH_SQLITE)
    return()
endif()
# Figures of the ID group store in a temporary data folder: make bench-store.
add_executable(store_bench ${CMAKE_CURRENT_LIST_DIR}/store_bench.cpp)
# It writes 10,000 groups straight into the groups table, as another program could.
target_link_libraries(store_bench PRIVATE hg_store SQLite::SQLite3)
set_target_properties(store_bench PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
