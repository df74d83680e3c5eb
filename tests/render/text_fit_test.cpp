#include <gtest/gtest.h>

#include "text_fit.hpp"

namespace zaro {
namespace {

TEST(TextBlockClusterBound, CountsTheLinesThatMightShowPlusOne)
{
    // 13 points: lines of at least 10.4, clusters of at least 1.3 points.
    EXPECT_EQ(textBlockClusterBound(13, 90, 16), 2U * 70U);
    EXPECT_EQ(textBlockClusterBound(14, 748, 80), 8U * 535U);
    EXPECT_EQ(textBlockClusterBound(13, 90, 0), 0U);
    EXPECT_EQ(textBlockClusterBound(13, -1, 16), 0U);
    EXPECT_EQ(textBlockClusterBound(0, 90, 16), 0U);
}

TEST(TextForLayout, KeepsAShortWellFormedTextAsItIs)
{
    EXPECT_EQ(textForLayout("Circuit Zolder  \u00B7  RaceBox", 100), "Circuit Zolder  \u00B7  RaceBox");
}

TEST(TextForLayout, ReplacesIllFormedBytesAndNul)
{
    EXPECT_EQ(textForLayout(std::string_view("a\xFF" "b\0c", 5), 100), "a\uFFFD" "b\uFFFD" "c");
}

TEST(TextForLayout, CutsALongTextAtAClusterBoundary)
{
    EXPECT_EQ(textForLayout("abcdefgh", 3), "abc");
    // Each "e" with its combining acute accent is one cluster of three bytes.
    EXPECT_EQ(textForLayout("e\u0301e\u0301e\u0301e\u0301", 3), "e\u0301e\u0301e\u0301");
    EXPECT_EQ(textForLayout("\u00B7\u00B7\u00B7\u00B7", 2), "\u00B7\u00B7");
}

}  // namespace
}  // namespace zaro
