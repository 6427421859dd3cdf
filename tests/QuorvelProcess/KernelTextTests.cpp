// Names from outside the program, as they are kept and shown.
#include <QuorvelProcess/KernelText.hpp>
#include <gtest/gtest.h>

namespace {

using QuorvelProcess::KernelText::boundedName;

TEST(BoundedName, LongNamesAreCutOnACharacterAndMarked) {
    EXPECT_EQ(boundedName("firefox"), "firefox");
    EXPECT_EQ(boundedName(std::string(256, 'a')), std::string(256, 'a'));
    const auto cut = boundedName(std::string(300, 'a'));
    EXPECT_EQ(cut, std::string(253, 'a') + "\u2026");
    EXPECT_EQ(cut.size(), 256u);
    // "é" is two bytes: a cut never leaves half of one.
    std::string accents;
    for (int i = 0; i < 200; ++i)
        accents += "\u00e9";
    const auto name = boundedName(accents);
    EXPECT_LE(name.size(), 256u);
    EXPECT_EQ(name, std::string(accents, 0, 252) + "\u2026");
    // Bytes that are no UTF-8 become U+FFFD, and the name still fits.
    EXPECT_LE(boundedName(std::string(250, '\xff')).size(), 256u);
    EXPECT_EQ(boundedName(std::string(2, '\xff')), "\uFFFD\uFFFD");
}

} // namespace
