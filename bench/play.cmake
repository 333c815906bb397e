# Cold and warm play through the launch worker against a stand-in world served in process.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
if(TARGET accounts_test_server)
    qbk_library(bench_world SOURCES ${CMAKE_CURRENT_LIST_DIR}/StandInWorld.cpp
        LIBS accounts_test_server qbk_test_support qbk_platform app_core
             nlohmann_json::nlohmann_json)
    target_compile_definitions(bench_world PUBLIC
        QBK_PYTHON3="${Python3_EXECUTABLE}"
        QBK_MIRROR_TOOL_DIR="${PROJECT_SOURCE_DIR}/tools/mirror"
        QBK_JAVA_STANDIN="$<TARGET_FILE:qbk-java-standin>"
        QBK_E2E_MIRROR_DIR="${CMAKE_BINARY_DIR}/bench-mirror")
    add_dependencies(bench_world qbk-java-standin qbk-account-server)
    qbk_bench(play_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlayBench.cpp
        LIBS launch bench_world qbk_resources)
    set_target_properties(play_bench PROPERTIES AUTOMOC ON)
else()
    message(STATUS "play_bench needs the test support libraries (QBK_BUILD_TESTS=ON)")
endif()
