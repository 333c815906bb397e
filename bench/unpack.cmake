# Unpacking a full-size runtime archive against bsdtar -xf of the same archive.
find_package(Python3 COMPONENTS Interpreter)
find_program(QBK_BSDTAR bsdtar)
if(Python3_Interpreter_FOUND AND QBK_BSDTAR)
    qbk_bench(unpack_bench
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/UnpackBench.cpp
        LIBS mods_core)
    target_compile_definitions(unpack_bench PRIVATE
        QBK_PYTHON3="${Python3_EXECUTABLE}"
        QBK_BSDTAR="${QBK_BSDTAR}"
        QBK_RUNTIME_ARCHIVE_SCRIPT="${PROJECT_SOURCE_DIR}/tools/mirror/runtime_archive.py")
else()
    message(STATUS "unpack_bench needs python3 and bsdtar (libarchive-tools)")
endif()
