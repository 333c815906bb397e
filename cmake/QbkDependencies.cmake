# Every dependency comes from Debian's packages, from the Windows SDK prefix in the MinGW
# cross build (cmake/QbkWindowsSdk.cmake), or from vcpkg with MSVC.
set(CMAKE_AUTOMOC OFF)
find_package(Threads REQUIRED)
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Network Concurrent Svg Test)
find_package(CURL REQUIRED)
find_package(nlohmann_json 3.10 REQUIRED)
find_package(LibArchive REQUIRED)
if(WIN32)
    # CMake packages only: pkg-config would find the host's libraries.
    find_package(WebP CONFIG REQUIRED)
    add_library(PkgConfig::WEBP INTERFACE IMPORTED)
    target_link_libraries(PkgConfig::WEBP INTERFACE WebP::webpdecoder)
else()
    find_package(OpenSSL REQUIRED)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(WEBP REQUIRED IMPORTED_TARGET libwebp)
endif()

# Test data as the test process sees it: Wine maps the host root to drive Z:.
set(QBK_TESTDATA_DIR_SEEN "${PROJECT_SOURCE_DIR}/../shared/testdata/real")
set(QBK_SOURCE_DIR_SEEN "${PROJECT_SOURCE_DIR}")
if(WIN32 AND CMAKE_CROSSCOMPILING)
    cmake_path(NORMAL_PATH QBK_TESTDATA_DIR_SEEN)
    string(PREPEND QBK_TESTDATA_DIR_SEEN "Z:")
    string(PREPEND QBK_SOURCE_DIR_SEEN "Z:")
endif()

if(QBK_BUILD_TESTS AND WIN32 AND CMAKE_CROSSCOMPILING)
    # GoogleTest built from Debian's sources with the cross compiler.
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(QBK_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
    add_subdirectory(${QBK_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    include(QbkHttplib)
elseif(QBK_BUILD_TESTS)
    find_package(GTest REQUIRED)
    find_path(HTTPLIB_INCLUDE_DIR httplib.h REQUIRED)
    add_library(qbk_httplib INTERFACE)
    target_include_directories(qbk_httplib SYSTEM INTERFACE ${HTTPLIB_INCLUDE_DIR})
    target_link_libraries(qbk_httplib INTERFACE Threads::Threads)
    # Debian ships httplib.h as declarations only, with the code (and the TLS server) in a
    # shared library built with these features; the header must see the same defines.
    pkg_check_modules(CPP_HTTPLIB IMPORTED_TARGET cpp-httplib)
    if(CPP_HTTPLIB_FOUND)
        target_link_libraries(qbk_httplib INTERFACE PkgConfig::CPP_HTTPLIB OpenSSL::SSL)
    endif()
endif()
if(QBK_BUILD_BENCH)
    find_package(benchmark REQUIRED)
endif()

# A library of this project: sources, public include root at the repository top.
function(qbk_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
endfunction()

# One test executable per suite, linking only what it tests.
function(qbk_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest qbk_test_main)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_compile_definitions(${name} PRIVATE
        QBK_TESTDATA_DIR="${QBK_TESTDATA_DIR_SEEN}" QBK_SOURCE_DIR="${QBK_SOURCE_DIR_SEEN}")
    add_test(NAME ${name} COMMAND ${name})
    if(ARG_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
endfunction()
