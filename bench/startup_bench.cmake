# startup_bench: time from process start to the launcher shown, and the resident
# memory then (make bench-startup).
if(HG_WITH_QT AND TARGET haltguard-ids-driver AND TARGET hg_store)
    add_executable(startup_bench ${CMAKE_CURRENT_LIST_DIR}/startup_bench.cpp)
    target_link_libraries(startup_bench PRIVATE hg_store Qt6::Core)
    target_compile_definitions(startup_bench PRIVATE
        HG_DRIVER="$<TARGET_FILE:haltguard-ids-driver>")
    add_dependencies(startup_bench haltguard-ids-driver)
    set_target_properties(startup_bench PROPERTIES AUTOUIC OFF AUTORCC OFF)
endif()
