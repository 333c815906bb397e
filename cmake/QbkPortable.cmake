# The parts of the launcher that need neither Qt nor libcurl nor libarchive, with their tests.
# Used for the MinGW-w64 cross build (tests run under Wine); see cmake/toolchain-mingw64.cmake.
find_package(Threads REQUIRED)

# Header-only libraries come from a folder of their own, so no other host header leaks in.
set(QBK_HOST_NLOHMANN_DIR /usr/include/nlohmann CACHE PATH "nlohmann/ header folder to copy")
set(qbk_header_only_dir ${CMAKE_BINARY_DIR}/header-only)
file(COPY ${QBK_HOST_NLOHMANN_DIR} DESTINATION ${qbk_header_only_dir})
add_library(qbk_nlohmann_json INTERFACE)
target_include_directories(qbk_nlohmann_json SYSTEM INTERFACE ${qbk_header_only_dir})
add_library(nlohmann_json::nlohmann_json ALIAS qbk_nlohmann_json)

add_subdirectory(platform)

function(qbk_portable_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    list(TRANSFORM ARG_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/)
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# Launch profile assembly over the installer's file layout, library rules, path and name
# checks, the game start and the server list writer.
qbk_portable_library(qbk_portable_game
    SOURCES game/LibraryRules.cpp game/FileBytes.cpp game/SafeRelativePath.cpp
            game/MinecraftInstallerTasks.cpp game/LaunchProfile.cpp game/GameLaunch.cpp
            mods/ModFileName.cpp launch/ServerList.cpp
    LIBS qbk_platform nlohmann_json::nlohmann_json)
# The proof-of-work solver core over the platform digest (CNG on Windows).
qbk_portable_library(qbk_portable_pow
    SOURCES accounts/ProofOfWork.cpp accounts/NonceSearch.cpp accounts/CandidateHasherDigest.cpp
    LIBS qbk_platform Threads::Threads)

if(QBK_BUILD_TESTS)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(QBK_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
    add_subdirectory(${QBK_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

    # Test data as the test process sees it: Wine maps the host root to drive Z:.
    set(QBK_TESTDATA_DIR_SEEN "${PROJECT_SOURCE_DIR}/../shared/testdata/real")
    set(QBK_SOURCE_DIR_SEEN "${PROJECT_SOURCE_DIR}")
    if(CMAKE_CROSSCOMPILING)
        cmake_path(NORMAL_PATH QBK_TESTDATA_DIR_SEEN)
        string(PREPEND QBK_TESTDATA_DIR_SEEN "Z:")
        string(PREPEND QBK_SOURCE_DIR_SEEN "Z:")
    endif()

    add_library(qbk_test_main STATIC ${PROJECT_SOURCE_DIR}/tests/support/TestMain.cpp)
    target_link_libraries(qbk_test_main PUBLIC GTest::gtest)

    function(qbk_test name)
        cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
        add_executable(${name} ${ARG_SOURCES})
        target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest qbk_test_main)
        target_compile_definitions(${name} PRIVATE
            QBK_TESTDATA_DIR="${QBK_TESTDATA_DIR_SEEN}" QBK_SOURCE_DIR="${QBK_SOURCE_DIR_SEEN}")
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endfunction()

    enable_testing()
    add_subdirectory(tests/windows)
endif()
