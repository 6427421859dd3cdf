// An export's file on a real folder: whole or not at all.
#include "TestSupport.hpp"

#include <PowerCore/linux/ExportFile.hpp>
#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace PowerCore;
namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> names(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(folder))
        out.push_back(entry.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(ExportFile, ReplacesTheTargetOnlyWhenCommitted) {
    VuzurTests::TemporaryFolder temp;
    const auto target = temp.path() / "history.csv";
    temp.write("history.csv", "the old export\n");
    ::chmod(target.c_str(), 0640);
    {
        ExportFile out(target.string());
        out.write("time,kind\n");
        out.write(std::string(600'000, 'x')); // past the buffer
        EXPECT_EQ(contents(target), "the old export\n") << "untouched while written";
        EXPECT_EQ(names(temp.path()).size(), 2u) << "the temporary file beside it";
        out.commit();
    }
    EXPECT_EQ(contents(target), "time,kind\n" + std::string(600'000, 'x'));
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u) << "the target's permissions are kept";
    {
        ExportFile dropped(target.string());
        dropped.write("half of it");
        // Dropped uncommitted: a cancel, a failure.
    }
    EXPECT_EQ(contents(target), "time,kind\n" + std::string(600'000, 'x'));
    EXPECT_EQ(names(temp.path()), std::vector<std::string>{"history.csv"});
}

TEST(ExportFile, ALinkIsWrittenWhereItPointsAndBadTargetsSayWhy) {
    VuzurTests::TemporaryFolder temp;
    fs::create_directories(temp.path() / "real");
    fs::create_symlink("real/out.json", temp.path() / "link.json");
    for (const char* text : {"{}", "[]"}) { // the file the link names is made, then replaced
        ExportFile out((temp.path() / "link.json").string());
        out.write(text);
        out.commit();
        EXPECT_TRUE(fs::is_symlink(temp.path() / "link.json"));
        EXPECT_EQ(contents(temp.path() / "real" / "out.json"), text);
    }

    // A pipe and a device are written into, not replaced by a file.
    const auto pipe = temp.path() / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    for (const auto& path : {pipe, fs::path("/dev/null")}) {
        ExportFile out(path.string());
        out.write("through");
        out.commit();
    }
    char read[16] = {};
    EXPECT_EQ(::read(reader, read, sizeof read), 7);
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    const auto refused = [](const fs::path& path) {
        try {
            ExportFile out(path.string());
        } catch (const ExportFileError& error) {
            return std::string(error.what());
        }
        return std::string("made");
    };
    EXPECT_EQ(refused(temp.path() / "real"), "Is a directory");
    EXPECT_EQ(refused(temp.path() / "missing" / "out.json"), "No such file or directory");
    if (::geteuid() != 0) { // root writes anywhere
        ::chmod((temp.path() / "real").c_str(), 0500);
        EXPECT_EQ(refused(temp.path() / "real" / "new.json"), "Permission denied");
        ::chmod((temp.path() / "real").c_str(), 0700);
    }
    EXPECT_EQ(names(temp.path() / "real"), std::vector<std::string>{"out.json"});
    EXPECT_EQ(names(temp.path()), (std::vector<std::string>{"link.json", "pipe", "real"}));
}

} // namespace
