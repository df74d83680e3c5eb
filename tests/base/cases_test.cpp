// The case tables' reader: a table without a row is refused, not read as nothing to test.
#include <gtest/gtest.h>

#include "support/cases.hpp"
#include "support/failure.hpp"

namespace zaro {
namespace {

TEST(CaseTables, AFileWithoutACaseOrNoFileIsRefused)
{
    EXPECT_EQ(support::failureOf([] { support::readCases("base/no_cases.cases"); }),
              "case file base/no_cases.cases holds no case");
    EXPECT_EQ(support::failureOf([] { support::readCases("base/missing.cases"); }), "no case file base/missing.cases");
    EXPECT_EQ(support::readCases("base/iso8601_read.cases").front().where, "base/iso8601_read.cases:4");
}

}  // namespace
}  // namespace zaro
