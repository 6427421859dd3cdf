// The settings file in a real folder: what goes in comes back, a broken file costs nothing,
// and two running copies never lose each other's keys.
#include "TestSupport.hpp"

#include <PowerCore/alerts/AlertEngine.hpp>
#include <PowerCore/awake/KeepAwakeEngine.hpp>
#include <PowerCore/linux/FileDefaultsStore.hpp>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace PowerCore;
namespace fs = std::filesystem;

std::string contentsOf(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct DefaultsTest : testing::Test {
    VuzurTests::TemporaryFolder temp;
    fs::path file = FileDefaultsStore::liveFile(temp.path().c_str(), "/nonexistent");
};

TEST(DefaultsFile, FollowsXdgConfigHome) {
    EXPECT_EQ(FileDefaultsStore::liveFile("/cfg", "/home/ada"), "/cfg/quorvel-vuzur/defaults.json");
    EXPECT_EQ(FileDefaultsStore::liveFile("relative", "/home/ada"),
              "/home/ada/.config/quorvel-vuzur/defaults.json");
}

TEST_F(DefaultsTest, EveryKeyComesBackAsStoredInAPrivateFile) {
    KeepAwakeRule rule{*UUID::parse("00000000-0000-4000-8000-00000000000A"),
                       {TaskMatch{TaskNamed{"make"}}},
                       true,
                       true};
    GuardRails rails{15, 3600, 300, 90};
    AlertSettings alerts;
    alerts.healthBelow = true;
    {
        FileDefaultsStore store(file);
        EXPECT_FALSE(store.value("guardRails"));
        ASSERT_TRUE(store.setValue("keepAwakeRules", toJson(std::vector{rule})));
        ASSERT_TRUE(store.setValue("guardRails", toJson(rails)));
        ASSERT_TRUE(store.setValue("alertSettings", toJson(alerts)));
        ASSERT_TRUE(store.setValue("loginItemQuestionAsked", true));
    }
    const FileDefaultsStore again(file);
    const auto rules = decodeRules(*again.value("keepAwakeRules"));
    ASSERT_TRUE(std::holds_alternative<std::vector<KeepAwakeRule>>(rules));
    EXPECT_EQ(std::get<std::vector<KeepAwakeRule>>(rules), std::vector{rule});
    EXPECT_EQ(guardRailsFromJson(*again.value("guardRails")), rails);
    EXPECT_EQ(alertSettingsFromJson(*again.value("alertSettings")), alerts);
    EXPECT_EQ(again.value("loginItemQuestionAsked"), Json(true));
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(file.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(DefaultsTest, ABrokenFileReadsAsNothingAndIsNeverLost) {
    fs::create_directories(file.parent_path());
    const std::string broken = "{\"guardRails\": {\"batteryFloorPercent\": 1";
    std::ofstream(file) << broken;
    FileDefaultsStore store(file);
    EXPECT_FALSE(store.value("guardRails"));
    EXPECT_EQ(contentsOf(file), broken); // reading leaves it alone
    EXPECT_TRUE(store.unreadable());
    ASSERT_TRUE(store.setValue("loginItemQuestionAsked", false));
    EXPECT_EQ(store.value("loginItemQuestionAsked"), Json(false));
    EXPECT_EQ(contentsOf(file.string() + ".unreadable"), broken);
    EXPECT_FALSE(store.unreadable());

    // A second broken file, nested deeper than any stack: kept beside the first one.
    const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
    std::ofstream(file) << deep;
    EXPECT_TRUE(store.unreadable());
    EXPECT_FALSE(store.value("loginItemQuestionAsked"));
    // A deep value under a key the program does not know, in a file that is otherwise fine.
    ASSERT_TRUE(store.setValue("guardRails", Json::object()));
    EXPECT_EQ(contentsOf(file.string() + ".unreadable"), broken);
    EXPECT_EQ(contentsOf(file.string() + ".unreadable-2"), deep);
    std::ofstream(file) << "{\"later\": " + deep + "}";
    ASSERT_TRUE(store.setValue("guardRails", Json::object()));
    EXPECT_EQ(store.value("guardRails"), Json::object());
}

TEST_F(DefaultsTest, ALinkedFileIsReadAndWrittenWhereItPoints) {
    // A dotfile manager keeps the file elsewhere and links to it.
    const auto real = temp.path() / "dotfiles" / "vuzur.json";
    fs::create_directories(real.parent_path());
    fs::create_directories(file.parent_path());
    std::ofstream(real) << R"({"loginItemQuestionAsked": true})";
    fs::create_symlink(real, file);
    FileDefaultsStore store(file);
    EXPECT_FALSE(store.unreadable());
    EXPECT_EQ(store.value("loginItemQuestionAsked"), Json(true));
    ASSERT_TRUE(store.setValue("guardRails", Json::object()));
    EXPECT_TRUE(fs::is_symlink(file)) << "the link stays";
    EXPECT_EQ(parseJson(contentsOf(real))->size(), 2u);

    // A relative link, through a second link, to a file the dotfiles have not written yet:
    // nothing to read, and the first save creates the file the links name.
    fs::remove(file);
    fs::remove(real);
    fs::create_symlink("../dotfiles/vuzur.json", temp.path() / "dotfiles" / "hop.json");
    fs::create_symlink("../dotfiles/hop.json", file);
    FileDefaultsStore fresh(file);
    EXPECT_FALSE(fresh.unreadable());
    EXPECT_EQ(fresh.value("guardRails"), std::nullopt);
    ASSERT_TRUE(fresh.setValue("guardRails", Json::object()));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(parseJson(contentsOf(real)), Json({{"guardRails", Json::object()}}));

    // Links in a loop: unreadable, and a save fails rather than replace them.
    fs::remove(temp.path() / "dotfiles" / "hop.json");
    fs::create_symlink("../quorvel-vuzur/defaults.json", temp.path() / "dotfiles" / "hop.json");
    FileDefaultsStore looped(file);
    EXPECT_TRUE(looped.unreadable());
    EXPECT_FALSE(looped.setValue("guardRails", Json::object()));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_TRUE(fs::is_symlink(temp.path() / "dotfiles" / "hop.json"));
}

TEST_F(DefaultsTest, TemporariesOfWritesKilledMidwayGoWithTheNextWrite) {
    fs::create_directories(file.parent_path());
    const auto folder = file.parent_path();
    for (const char* name : {".defaults.json.4242.tmp", ".defaults.json.7.tmp"})
        std::ofstream(folder / name) << "{";
    const auto others = {folder / ".defaults.json.x.tmp", folder / ".other.json.4242.tmp"};
    for (const auto& other : others)
        std::ofstream(other) << "{";
    FileDefaultsStore store(file);
    ASSERT_TRUE(store.setValue("loginItemQuestionAsked", true));
    EXPECT_FALSE(fs::exists(folder / ".defaults.json.4242.tmp"));
    EXPECT_FALSE(fs::exists(folder / ".defaults.json.7.tmp"));
    for (const auto& other : others)
        EXPECT_TRUE(fs::exists(other)) << "not a temporary of ours: " << other;
}

TEST_F(DefaultsTest, TwoProcessesWritingAtOnceKeepEveryKey) {
    constexpr int keysEach = 40;
    std::vector<pid_t> children;
    for (const char* prefix : {"a", "b"}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FileDefaultsStore store(file);
            bool ok = true;
            for (int i = 0; i < keysEach; ++i)
                ok = store.setValue(prefix + std::to_string(i), i) && ok;
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const FileDefaultsStore store(file);
    for (const char* prefix : {"a", "b"})
        for (int i = 0; i < keysEach; ++i)
            EXPECT_EQ(store.value(prefix + std::to_string(i)), Json(i)) << prefix << i;
}

} // namespace
