# Cold and warm vanilla install from a full-size mirror served by nginx, against curl.
find_package(Python3 COMPONENTS Interpreter)
find_program(QBK_NGINX nginx PATHS /usr/sbin)
find_program(QBK_CURL curl)
if(Python3_Interpreter_FOUND AND QBK_NGINX AND QBK_CURL)
    qbk_bench(install_bench
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/InstallBench.cpp ${CMAKE_CURRENT_LIST_DIR}/MirrorServer.cpp
        LIBS game)
    target_compile_definitions(install_bench PRIVATE
        QBK_PYTHON3="${Python3_EXECUTABLE}"
        QBK_MIRROR_SCRIPT="${PROJECT_SOURCE_DIR}/tools/mirror/generate.py"
        QBK_SERVE_NGINX="${PROJECT_SOURCE_DIR}/tools/mirror/serve-nginx"
        QBK_BENCH_MIRROR_DIR="${CMAKE_BINARY_DIR}/bench-mirror")
else()
    message(STATUS "install_bench needs python3, nginx (nginx-light) and curl")
endif()
