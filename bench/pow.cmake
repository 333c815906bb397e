qbk_bench(pow_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/PowBench.cpp LIBS accounts_pow)
