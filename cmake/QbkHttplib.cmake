# cpp-httplib for the loopback servers of the Windows suites. Debian's binary package holds the
# code in a Linux shared library, so the header-only httplib.h (upstream's, with Debian's
# patches) comes from Debian's source package: fetched once by scripts/debian-source, checked
# against the .dsc's checksum (dpkg-source checks the archives the .dsc names) and unpacked into
# a cache folder named by that checksum, outside the source tree.
set(QBK_HTTPLIB_DSC cpp-httplib_0.11.4+ds-1+deb12u1.dsc)
set(QBK_HTTPLIB_DSC_SHA256 a4dde747bbde7cc9fa62cdf50d61140a0eaefb7f1383497ef2d48daf3bf5f9ec)
string(SUBSTRING "${QBK_HTTPLIB_DSC_SHA256}" 0 16 key)
set(httplib_dir "${QBK_CACHE_DIR}/cpp-httplib-${key}")
if(NOT EXISTS "${httplib_dir}/.complete")
    message(STATUS "Fetching Debian's cpp-httplib sources into ${httplib_dir}")
    set(work "${httplib_dir}.partial")
    file(REMOVE_RECURSE "${httplib_dir}" "${work}")
    execute_process(COMMAND "${PROJECT_SOURCE_DIR}/scripts/debian-source" "${work}"
                            cpp-httplib/bookworm COMMAND_ERROR_IS_FATAL ANY)
    file(SHA256 "${work}/${QBK_HTTPLIB_DSC}" actual)
    if(NOT actual STREQUAL QBK_HTTPLIB_DSC_SHA256)
        message(FATAL_ERROR "${QBK_HTTPLIB_DSC}: checksum ${actual}, "
            "expected ${QBK_HTTPLIB_DSC_SHA256}")
    endif()
    # Quiet unless it fails: gpgv has no Debian keyring here to check the signature with.
    execute_process(COMMAND dpkg-source -x "${QBK_HTTPLIB_DSC}" source
        WORKING_DIRECTORY "${work}" OUTPUT_QUIET ERROR_VARIABLE unpack_log RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "dpkg-source could not unpack ${QBK_HTTPLIB_DSC}:\n${unpack_log}")
    endif()
    file(MAKE_DIRECTORY "${work}/include")
    file(RENAME "${work}/source/httplib.h" "${work}/include/httplib.h")
    file(REMOVE_RECURSE "${work}/source")
    file(RENAME "${work}" "${httplib_dir}")
    file(WRITE "${httplib_dir}/.complete" "${QBK_HTTPLIB_DSC_SHA256}\n")
endif()

# Plain HTTP only: the SDK has no OpenSSL. httplib needs Vista's sockets (inet_pton, WSAPoll);
# MinGW's headers default _WIN32_WINNT to Windows 10.
add_library(qbk_httplib INTERFACE)
target_include_directories(qbk_httplib SYSTEM INTERFACE "${httplib_dir}/include")
target_link_libraries(qbk_httplib INTERFACE Threads::Threads ws2_32)
