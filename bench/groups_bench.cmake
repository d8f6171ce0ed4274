# groups_bench: the groups tool's import, export and backup (make bench-groups).
if(TARGET hg_groups_tool AND TARGET haltguard-ids-groups)
    add_executable(groups_bench ${CMAKE_CURRENT_LIST_DIR}/groups_bench.cpp)
    target_link_libraries(groups_bench PRIVATE hg_groups_tool)
    target_compile_definitions(groups_bench PRIVATE
        HG_GROUPS_TOOL="$<TARGET_FILE:haltguard-ids-groups>")
    add_dependencies(groups_bench haltguard-ids-groups)
    set_target_properties(groups_bench PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
endif()
