// Under CI (CI=true) a test that skipped fails the run: a skip says a tool, a package or a build
// part is missing, and a missing package must not pass as green. A skip that is part of the design
// (a build that has no such part anywhere) says so with "[by design]" in its reason and stays a
// skip. Linked into every GoogleTest program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool under_ci()
{
    const char* ci = std::getenv("CI");
    return ci && std::strcmp(ci, "true") == 0;
}

std::string skip_reason(const testing::TestResult& result)
{
    for (int i = 0; i < result.total_part_count(); ++i) {
        const testing::TestPartResult& part = result.GetTestPartResult(i);
        if (part.skipped())
            return part.message();
    }
    return {};
}

// Told of each test's end before the result printer (end events reach the listeners in reverse
// order), while the test is still the one its results go to: a failure added here makes the
// printer report the test failed, and nothing prints it as SKIPPED, which ctest would count as
// a skip whatever the exit status.
class NoSkipsUnderCi : public testing::EmptyTestEventListener {
public:
    void OnTestEnd(const testing::TestInfo& test) override
    {
        if (!under_ci() || !test.result()->Skipped())
            return;
        const std::string why = skip_reason(*test.result());
        if (why.find("[by design]") == std::string::npos)
            ADD_FAILURE() << "skipped under CI=true, which counts no skips: " << why;
    }
};

[[maybe_unused]] const bool Registered =
    (testing::UnitTest::GetInstance()->listeners().Append(new NoSkipsUnderCi), true);

} // namespace
