# Cold and warm play through the launch worker against the stand-in world (tests/e2e).
if(TARGET e2e_world)
    qbk_bench(play_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlayBench.cpp
        LIBS launch e2e_world qbk_resources)
    set_target_properties(play_bench PROPERTIES AUTOMOC ON)
else()
    message(STATUS "play_bench needs the stand-in world of the e2e tests (QBK_BUILD_TESTS=ON)")
endif()
