# One reused HttpClient against a fresh one per file, over loopback.
if(TARGET qbk_test_support)
    qbk_bench(http_reuse_bench
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/HttpReuseBench.cpp
        LIBS launch qbk_test_support)
else()
    message(STATUS "http_reuse_bench needs the test support library (QBK_BUILD_TESTS=ON)")
endif()
