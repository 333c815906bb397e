# Cross build for Windows x86-64 with Debian's MinGW-w64 (posix threads, for std::thread).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QBK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QBK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QBK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QBK_MINGW_TRIPLET}-windres)

# Only the cross sysroot is searched for libraries and headers; programs still come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QBK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The Qt-free core: one self-contained .exe per test, no runtime DLLs to place beside it. The
# whole launcher links MinGW's runtime as DLLs, as the SDK's Qt and curl do.
if(QBK_PORTABLE_ONLY)
    set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()

# Tests run through Wine; scripts/test-windows sets up the prefix it uses.
find_program(QBK_WINE NAMES wine wine64)
if(QBK_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QBK_WINE})
endif()
