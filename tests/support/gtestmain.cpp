// The main of every GoogleTest program. When cases were skipped and none passed or failed, the
// program exits with SkippedExitCode so that CTest shows the test as skipped rather than passed;
// each reason is printed on a line of its own ("skipped: ...") for ./test.sh to collect.
#include <gtest/gtest.h>

#include <iostream>
#include <set>
#include <string>

namespace {

constexpr int SkippedExitCode = 77;  // SKIP_RETURN_CODE in cmake/OrbiphonTesting.cmake

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
    if (status != 0 || unit.skipped_test_count() == 0 || unit.successful_test_count() != 0)
        return status;

    std::set<std::string> reasons;
    for (int s = 0; s < unit.total_test_suite_count(); ++s) {
        const ::testing::TestSuite& suite = *unit.GetTestSuite(s);
        for (int t = 0; t < suite.total_test_count(); ++t) {
            const ::testing::TestResult& result = *suite.GetTestInfo(t)->result();
            for (int p = 0; p < result.total_part_count(); ++p) {
                if (result.GetTestPartResult(p).skipped())
                    reasons.insert(result.GetTestPartResult(p).message());
            }
        }
    }
    for (const std::string& reason : reasons)
        std::cout << "skipped: " << reason << "\n";
    return SkippedExitCode;
}
