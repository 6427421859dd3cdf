#include "TestSupport.hpp"

#include <PowerCore/linux/SysfsFile.hpp>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using namespace PowerCore;

TEST(SysfsText, InvalidUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(Sysfs::validUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(Sysfs::validUtf8("a\xFF"
                               "b"),
              "a\xEF\xBF\xBD"
              "b");
    // Truncated sequence, overlong encoding of '/', UTF-16 surrogate, beyond U+10FFFF.
    EXPECT_EQ(Sysfs::validUtf8("\xE2\x82"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(Sysfs::validUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(Sysfs::validUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(Sysfs::validUtf8("\xF4\x90\x80\x80").substr(0, 3), "\xEF\xBF\xBD");
    EXPECT_EQ(Sysfs::validUtf8("\xF0\x9F\x94\x8B"), "\xF0\x9F\x94\x8B");
}

TEST(SysfsNumbers, WholeDecimalsOnly) {
    EXPECT_EQ(Sysfs::parseInteger("12366000\n"), 12366000);
    EXPECT_EQ(Sysfs::parseInteger("-257109\n"), -257109);
    EXPECT_EQ(Sysfs::parseInteger("+5"), 5);
    for (const char* bad : {"", "\n", "N/A", "12 mV", "1.5", "+-5", "99999999999999999999"})
        EXPECT_FALSE(Sysfs::parseInteger(bad)) << bad;
}

TEST(SysfsFiles, MissingFilesAndFoldersGiveNothing) {
    VuzurTests::TemporaryFolder folder;
    EXPECT_FALSE(Sysfs::readText(folder.path() / "missing"));
    EXPECT_TRUE(Sysfs::listFolder(folder.path() / "missing").empty());
    folder.write("label", "Right Side  \n");
    EXPECT_EQ(Sysfs::readText(folder.path() / "label"), "Right Side");
    folder.write("b", "");
    folder.write("a", "");
    EXPECT_EQ(Sysfs::listFolder(folder.path()), (std::vector<std::string>{"a", "b", "label"}));
}

// A FIFO where an attribute should be (a hostile or broken tree) reads as nothing, at once:
// opening it for reading would otherwise wait for a writer forever.
TEST(SysfsFiles, AFifoIsNoAttribute) {
    VuzurTests::TemporaryFolder folder;
    const auto fifo = folder.path() / "capacity";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(Sysfs::readText(fifo));
    EXPECT_FALSE(Sysfs::readInteger(fifo));
    EXPECT_FALSE(Sysfs::readFile(fifo));
}

} // namespace
