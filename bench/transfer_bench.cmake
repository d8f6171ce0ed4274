# transfer_bench: Send IDs and Read IDs through the real window against the
# simulator; run with `make bench-transfer`.
if(NOT TARGET hg_shell OR NOT TARGET haltguard-tester-sim)
    return()
endif()
add_executable(transfer_bench ${CMAKE_CURRENT_LIST_DIR}/transfer_bench.cpp)
target_link_libraries(transfer_bench PRIVATE hg_shell Qt6::Widgets)
target_include_directories(transfer_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(transfer_bench PRIVATE HG_DEFAULT_BUILD_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(transfer_bench haltguard-tester-sim)
