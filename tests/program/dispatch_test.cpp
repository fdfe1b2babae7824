// The program's answers to its command line, run as the real binary.

#include <gtest/gtest.h>

#include "test_support.h"

namespace kerfo::test {
namespace {

TEST(Dispatch, NoArgumentShowsTheUsageAndFails) {
    const RunResult result = RunKerfo({});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find("Usage:\n"), std::string::npos);
}

}  // namespace
}  // namespace kerfo::test
