// Where the program's own files go, from the environment by the XDG rules.
#include <QuorvelPower/linux/SystemRoots.hpp>
#include <gtest/gtest.h>
#include <map>

namespace {

using QuorvelPower::SystemRoots;

SystemRoots rootsWith(std::map<std::string, std::string> environment,
                      const std::string& account = "/home/ada") {
    return SystemRoots::fromEnvironment(
        [environment](const char* name) -> const char* {
            const auto it = environment.find(name);
            return it == environment.end() ? nullptr : it->second.c_str();
        },
        [account] { return account; });
}

TEST(SystemRoots, AHomeThatIsEmptyOrRelativeIsNoHome) {
    EXPECT_EQ(rootsWith({{"HOME", "/home/bob"}}).historyFolder,
              "/home/bob/.local/share/Quorvel Vuzur/History");
    // Empty or relative: the account's home, never the current folder.
    for (const char* home : {"", "relative/home"}) {
        const auto roots = rootsWith({{"HOME", home}});
        EXPECT_EQ(roots.historyFolder, "/home/ada/.local/share/Quorvel Vuzur/History") << home;
        EXPECT_EQ(roots.defaultsFile, "/home/ada/.config/quorvel-vuzur/defaults.json") << home;
        EXPECT_EQ(roots.autostartFolder, "/home/ada/.config/autostart") << home;
    }
    EXPECT_TRUE(rootsWith({{"HOME", ""}}, "").historyFolder.is_absolute());
    // Relative XDG folders are ignored too.
    EXPECT_EQ(rootsWith({{"HOME", "/home/bob"}, {"XDG_DATA_HOME", "data"}}).historyFolder,
              "/home/bob/.local/share/Quorvel Vuzur/History");
    EXPECT_EQ(rootsWith({{"TZ", ":Asia/Tokyo"}}).timeZone, ":Asia/Tokyo");
}

} // namespace
