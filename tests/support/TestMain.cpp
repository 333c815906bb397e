#include <cstdio>
#include <gtest/gtest.h>

// The main of every suite. GoogleTest passes an executable that ran nothing, and counts a
// skipped case as passed; here both fail the run, so a stage cannot pass having tested nothing.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    const ::testing::UnitTest& run = *::testing::UnitTest::GetInstance();
    if (GTEST_FLAG_GET(list_tests))
        return status;
    if (run.test_to_run_count() == 0) {
        std::fprintf(stderr, "[qbk] no test case ran\n");
        return 1;
    }
    if (run.skipped_test_count() > 0) {
        std::fprintf(stderr, "[qbk] %d test case(s) skipped: a skip is a failure here\n",
                     run.skipped_test_count());
        return 1;
    }
    return status;
}
