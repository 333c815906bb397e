# The Windows dependency prefix (Qt, curl, libarchive, zlib, libwebp, nlohmann-json built with
# MinGW-w64): either a prefix given as QBK_WINDOWS_SDK_DIR (e.g. one scripts/windows-sdk
# built), or the shared archive, checked against its checksum and unpacked once into a cache
# folder outside the source tree that is named by that checksum.
set(QBK_WINDOWS_SDK_ARCHIVE "${PROJECT_SOURCE_DIR}/../shared/windows-sdk/qbk-windows-sdk.tar.xz"
    CACHE FILEPATH "The shared Windows SDK archive (SHA256SUMS.sdk beside it)")
set(QBK_WINDOWS_SDK_DIR "" CACHE PATH "A Windows SDK prefix to use instead of the archive")
# Where fetched dependencies are unpacked, each in a folder named by its checksum.
if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(QBK_CACHE_DIR "$ENV{XDG_CACHE_HOME}/quellbrook")
else()
    set(QBK_CACHE_DIR "$ENV{HOME}/.cache/quellbrook")
endif()

if(NOT QBK_WINDOWS_SDK_DIR)
    get_filename_component(archive_dir "${QBK_WINDOWS_SDK_ARCHIVE}" DIRECTORY)
    if(NOT EXISTS "${QBK_WINDOWS_SDK_ARCHIVE}" OR NOT EXISTS "${archive_dir}/SHA256SUMS.sdk")
        message(FATAL_ERROR "No Windows SDK: ${QBK_WINDOWS_SDK_ARCHIVE} (with SHA256SUMS.sdk) "
            "is missing; give a prefix with -DQBK_WINDOWS_SDK_DIR= (scripts/windows-sdk makes one)")
    endif()
    file(STRINGS "${archive_dir}/SHA256SUMS.sdk" sum_line REGEX "qbk-windows-sdk\\.tar\\.xz")
    string(REGEX MATCH "^[0-9a-f]+" expected "${sum_line}")
    string(SUBSTRING "${expected}" 0 16 key)
    set(unpacked "${QBK_CACHE_DIR}/windows-sdk-${key}")
    if(NOT EXISTS "${unpacked}/.complete")
        file(SHA256 "${QBK_WINDOWS_SDK_ARCHIVE}" actual)
        if(NOT actual STREQUAL expected)
            message(FATAL_ERROR "${QBK_WINDOWS_SDK_ARCHIVE}: checksum ${actual}, "
                "SHA256SUMS.sdk says ${expected}")
        endif()
        message(STATUS "Unpacking the Windows SDK into ${unpacked}")
        # Into a fresh side folder first, so an interrupted unpack is never taken as complete.
        file(REMOVE_RECURSE "${unpacked}" "${unpacked}.partial")
        file(ARCHIVE_EXTRACT INPUT "${QBK_WINDOWS_SDK_ARCHIVE}" DESTINATION "${unpacked}.partial")
        file(RENAME "${unpacked}.partial" "${unpacked}")
        file(WRITE "${unpacked}/.complete" "${expected}\n")
    endif()
    set(QBK_WINDOWS_SDK_PREFIX "${unpacked}/qbk-windows-sdk")
    set(QBK_WINDOWS_SDK_ORIGIN "shared archive ${expected}")
else()
    set(QBK_WINDOWS_SDK_PREFIX "${QBK_WINDOWS_SDK_DIR}")
    set(QBK_WINDOWS_SDK_ORIGIN "prefix ${QBK_WINDOWS_SDK_DIR}")
endif()
message(STATUS "Windows SDK: ${QBK_WINDOWS_SDK_ORIGIN}")

list(APPEND CMAKE_FIND_ROOT_PATH "${QBK_WINDOWS_SDK_PREFIX}")
list(APPEND CMAKE_PREFIX_PATH "${QBK_WINDOWS_SDK_PREFIX}")
# Qt's moc, rcc and uic run on the host: Debian's Qt of the same version.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

# MinGW's runtime DLLs, which the package and the suites under Wine place beside the programs.
set(QBK_MINGW_RUNTIME_DIRS /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)

# For scripts/package-windows and scripts/test-windows, which read them from the cache.
set(QBK_WINDOWS_SDK_PREFIX_USED "${QBK_WINDOWS_SDK_PREFIX}" CACHE INTERNAL "")
set(QBK_WINDOWS_SDK_ORIGIN_USED "${QBK_WINDOWS_SDK_ORIGIN}" CACHE INTERNAL "")
