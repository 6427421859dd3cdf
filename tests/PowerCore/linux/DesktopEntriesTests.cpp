#include "PowerCore/apps/ProcessDeltas.hpp"
#include "TestSupport.hpp"

#include <PowerCore/linux/DesktopEntries.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

using VuzurTests::delta;

const AppPower* named(const std::vector<AppPower>& apps, const std::string& name) {
    for (const auto& a : apps)
        if (a.name == name) return &a;
    return nullptr;
}

TEST(DesktopEntryFiles, NameOfTheMainGroupOnly) {
    EXPECT_EQ(DesktopEntries::nameIn("[Desktop Action x]\nName=Action\n[Desktop Entry]\n"
                                     "Name[fr]=Navigateur\nName=Browser\n"),
              "Browser");
    EXPECT_FALSE(DesktopEntries::nameIn("[Desktop Entry]\nExec=x\n"));
    EXPECT_EQ(DesktopEntries::folders(nullptr, "/a:relative::/b", "/home/u"),
              (std::vector<std::filesystem::path>{"/home/u/.local/share", "/a", "/b"}));
}

// Grouping by scope, with the names the recorded desktop entries give.
TEST(AppGrouper, ScopeComesBeforeBundleAndCommand) {
    const auto entries = std::make_shared<DesktopEntries>(
        std::vector<std::filesystem::path>{VuzurTests::testData("xdg")});
    auto browser = delta(600, "firefox", "/usr/lib/firefox/firefox", 1);
    auto helper = delta(601, "Isolated Web Co", "/usr/lib/firefox/firefox", 2);
    auto gpu = delta(602, "RDD Process", "/usr/lib/firefox/firefox", 0.5);
    auto calculator = delta(700, "gnome-calculato", "/app/bin/gnome-calculator", 0.25);
    auto unscoped = delta(800, "zsh", "/usr/bin/zsh", 0.1);
    for (auto* d : {&browser, &helper, &gpu})
        d->scope = "app-gnome-firefox-4242.scope";
    calculator.scope = "app-flatpak-org.gnome.Calculator-9999.scope";
    unscoped.scope = "session-2.scope";
    unscoped.argv0 = "-zsh";
    const auto apps = AppGrouper::group({browser, helper, gpu, calculator, unscoped},
                                        DesktopEntries::lookup(entries));
    ASSERT_EQ(apps.size(), 3u);
    const auto* firefox = named(apps, "Firefox Web Browser");
    ASSERT_TRUE(firefox);
    EXPECT_EQ(firefox->pids, (std::vector<std::int32_t>{600, 601, 602}));
    EXPECT_EQ(firefox->bundlePath,
              VuzurTests::testData("xdg/applications/firefox.desktop").string());
    EXPECT_TRUE(named(apps, "Calculator"));
    EXPECT_EQ(named(apps, "zsh")->id, "cmd:zsh");
    // Without a desktop entry the id itself names the application.
    EXPECT_EQ(
        AppGrouper::identity(std::nullopt, std::nullopt, "x", "app-gnome-unknown-1.scope").key,
        "app:unknown");
}

// In a terminal's scope the terminal is one application and each command run in it another;
// a snap's scope is named by the snap's desktop entry.
TEST(AppGrouper, TerminalCommandsAndSnapsGroupAsThemselves) {
    const auto entries = std::make_shared<DesktopEntries>(
        std::vector<std::filesystem::path>{VuzurTests::testData("xdg")});
    auto konsole = delta(900, "konsole", "/usr/bin/konsole", 0.5);
    auto shell = delta(901, "bash", "/usr/bin/bash", 0.1);
    auto make = delta(902, "make", "/usr/bin/make", 0.2);
    auto compiler = delta(903, "cc1plus", "/usr/lib/gcc/x86_64-linux-gnu/12/cc1plus", 3);
    for (auto* d : {&konsole, &shell, &make, &compiler})
        d->scope = "app-org.kde.konsole-4321.scope";
    auto snap = delta(950, "firefox", "/snap/firefox/5187/usr/lib/firefox/firefox", 1);
    snap.scope = "snap.firefox.firefox-2b8f6c8e-1a2b-4c3d-9e8f-0123456789ab.scope";
    const auto apps =
        AppGrouper::group({konsole, shell, make, compiler, snap}, DesktopEntries::lookup(entries));
    std::vector<std::string> names;
    for (const auto& app : apps)
        names.push_back(app.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Konsole", "bash", "make", "cc1plus",
                                               "Firefox Web Browser"}));
    EXPECT_EQ(apps[0].pids, (std::vector<std::int32_t>{900}));
    EXPECT_EQ(apps[4].bundlePath,
              VuzurTests::testData("xdg/applications/firefox_firefox.desktop").string());
}

TEST(DesktopEntryFiles, TerminalAndProgramFromTheMainGroup) {
    const auto entry = DesktopEntries::parse(
        "[Desktop Entry]\nName=Term\nExec=env A=1 \"/opt/my term/bin/term\" --x\n"
        "Categories=System;TerminalEmulator;\n[Desktop Action y]\nExec=other\n",
        "/p");
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->terminal);
    EXPECT_EQ(entry->executable, "term");
    EXPECT_FALSE(
        DesktopEntries::parse("[Desktop Entry]\nName=N\nCategories=NotTerminalEmulator;\n", "/p")
            ->terminal);
}

} // namespace
