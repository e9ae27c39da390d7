// Tests start programs of this build as they would run on the target: natively
// as they are, in a cross build behind the emulator (CAMCTRL_TEST_LAUNCHER).
#include "Process.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 60000;

std::string ThisProgram() {
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

TEST(ProcessOnTarget, StartsAProgramOfThisBuild) {
    Process p({ThisProgram(), "--gtest_list_tests", "--gtest_filter=ProcessOnTarget.*"});
    ASSERT_TRUE(p.Started());
    EXPECT_EQ(p.Wait(kWaitMs), 0) << p.Err();
    EXPECT_NE(p.Out().find("StartsAProgramOfThisBuild"), std::string::npos) << p.Out();
    // Nothing of the emulator's set-up (its preload) leaks into the output.
    EXPECT_EQ(p.Err(), "");
}

TEST(ProcessOnTarget, PassesTheEnvironmentOn) {
    // GoogleTest reads its filter from the environment too.
    Process p({ThisProgram(), "--gtest_list_tests"}, {"GTEST_FILTER=ProcessOnTarget.PassesTheEnvironmentOn"});
    EXPECT_EQ(p.Wait(kWaitMs), 0) << p.Err();
    EXPECT_NE(p.Out().find("PassesTheEnvironmentOn"), std::string::npos) << p.Out();
    EXPECT_EQ(p.Out().find("StartsAProgramOfThisBuild"), std::string::npos) << p.Out();
}

TEST(ProcessOnTarget, MissingProgramDoesNotSucceed) {
    Process p({"/nonexistent/camctrl-no-such-program"});
    EXPECT_NE(p.Wait(kWaitMs), 0);
}

}  // namespace
