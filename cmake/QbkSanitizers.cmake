# Instrumented builds. QBK_SANITIZE=address builds everything under ASan and UBSan,
# QBK_SANITIZE=thread under TSan. QBK_FUZZ (clang only) adds libFuzzer's coverage hooks on top
# of ASan and UBSan and builds the fuzz targets under tests/fuzz.
set(QBK_SANITIZE "" CACHE STRING "address (ASan+UBSan) or thread (TSan)")
option(QBK_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(QBK_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "QBK_FUZZ needs clang (CC=clang-14 CXX=clang++-14)")
    endif()
    set(QBK_SANITIZE address)
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(QBK_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(QBK_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT QBK_SANITIZE STREQUAL "")
    message(FATAL_ERROR "QBK_SANITIZE is address, thread or empty, not ${QBK_SANITIZE}")
endif()
