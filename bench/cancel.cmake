# Cancel at several points of a full-size cold install, each folder then resumed and checked.
find_package(Python3 COMPONENTS Interpreter)
find_program(QBK_NGINX nginx PATHS /usr/sbin)
if(Python3_Interpreter_FOUND AND QBK_NGINX AND TARGET accounts_test_server)
    # bench_world is defined by play.cmake.
    qbk_bench(cancel_bench
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/CancelBench.cpp ${CMAKE_CURRENT_LIST_DIR}/MirrorServer.cpp
        LIBS game launch bench_world qbk_resources)
    target_compile_definitions(cancel_bench PRIVATE
        QBK_PYTHON3="${Python3_EXECUTABLE}"
        QBK_MIRROR_SCRIPT="${PROJECT_SOURCE_DIR}/tools/mirror/generate.py"
        QBK_SERVE_NGINX="${PROJECT_SOURCE_DIR}/tools/mirror/serve-nginx"
        QBK_BENCH_MIRROR_DIR="${CMAKE_BINARY_DIR}/bench-mirror")
else()
    message(STATUS "cancel_bench needs python3, nginx (nginx-light) and the test support libraries")
endif()
