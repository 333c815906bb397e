# The mod list's warm rescan against its cold scan, as UI-thread time, with the stand-in Modrinth.
if(TARGET qbk-modrinth-standin)
    qbk_bench(mod_scan_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/ModScanBench.cpp
        LIBS mods_client qbk_platform Qt6::Gui Qt6::Test)
    target_compile_definitions(mod_scan_bench PRIVATE
        QBK_MODRINTH_STANDIN="$<TARGET_FILE:qbk-modrinth-standin>")
    add_dependencies(mod_scan_bench qbk-modrinth-standin)
else()
    message(STATUS "mod_scan_bench needs the stand-in Modrinth (cpp-httplib)")
endif()
