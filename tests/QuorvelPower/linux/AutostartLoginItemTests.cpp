// Open at login through a real autostart folder, with a real program file to point at.
#include "TestSupport.hpp"

#include <PowerCore/linux/DesktopEntries.hpp>
#include <PowerCore/linux/SysfsFile.hpp>
#include <QuorvelPower/linux/AutostartLoginItem.hpp>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace QuorvelPower;
using Status = LoginItem::Status;
namespace fs = std::filesystem;

struct LoginItemTest : testing::Test {
    VuzurTests::TemporaryFolder temp;
    fs::path autostart = temp.path() / "config/autostart";
    // A path with the characters Exec= must escape.
    fs::path program = temp.path() / "my apps/vuzur \"100%\" $x";

    void SetUp() override {
        temp.write("my apps/vuzur \"100%\" $x", "#!/bin/sh\n");
        fs::permissions(program, fs::perms::owner_all);
    }
};

TEST_F(LoginItemTest, EachStatusFromTheFolder) {
    AutostartLoginItem item(autostart, program);
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_EQ(item.registerItem(), std::nullopt);
    EXPECT_EQ(item.status(), Status::enabled);
    EXPECT_EQ(PowerCore::DesktopEntries::execProgram(AutostartLoginItem::execValue(program)),
              program.string());
    // An assignment before the program is skipped; a quoted path with "=" is the program.
    EXPECT_EQ(PowerCore::DesktopEntries::execProgram("env LANG=C \"/opt/a=b/vuzur\" x=1"),
              "/opt/a=b/vuzur");
    // The copy it named is gone.
    fs::remove(program);
    EXPECT_EQ(item.status(), Status::notFound);
    EXPECT_EQ(item.unregisterItem(), std::nullopt);
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_EQ(item.unregisterItem(), std::nullopt); // nothing to remove is no failure
}

TEST_F(LoginItemTest, SwitchedOffInTheDesktopSettingsIsNotRegistered) {
    AutostartLoginItem item(autostart, program);
    temp.write("config/autostart/com.quorvel.power.desktop",
               "[Desktop Entry]\nType=Application\nExec=" + AutostartLoginItem::execValue(program) +
                   "\nX-GNOME-Autostart-enabled=false\n");
    EXPECT_EQ(item.status(), Status::notRegistered);
    temp.write("config/autostart/com.quorvel.power.desktop",
               "[Desktop Entry]\nExec=" + AutostartLoginItem::execValue(program) +
                   "\nHidden=true\n");
    EXPECT_EQ(item.status(), Status::notRegistered);
}

TEST_F(LoginItemTest, WithoutAKnownExecutableNothingIsAvailable) {
    AutostartLoginItem item(autostart, std::nullopt);
    EXPECT_EQ(item.status(), Status::unavailable);
    EXPECT_EQ(item.registerItem(), LoginItem::unavailableText());
    EXPECT_EQ(item.unregisterItem(), std::nullopt);
    EXPECT_FALSE(fs::exists(autostart));
}

TEST_F(LoginItemTest, AFolderThatCannotBeMadeIsAText) {
    temp.write("config", "a file where the folder should be");
    const auto failure = AutostartLoginItem(autostart, program).registerItem();
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("autostart"), std::string::npos) << *failure;
}

TEST(LoginItemCaptions, InThePlatformsWords) {
    EXPECT_EQ(LoginItem::caption(Status::notFound),
              "The startup entry points to a copy of Vuzur that is no longer there: turn this "
              "off and on again.");
    EXPECT_EQ(LoginItem::caption(Status::notRegistered),
              "Vuzur does not open at login. Rules only run while Vuzur is open.");
    EXPECT_EQ(AutostartLoginItem::liveFolder(nullptr, "/home/ada"), "/home/ada/.config/autostart");
}

} // namespace

TEST_F(LoginItemTest, AnEntryWithoutTheAutostartOptionIsBroughtUpToDate) {
    AutostartLoginItem item(autostart, program);
    const auto entry = autostart / "com.quorvel.power.desktop";
    // What an older version wrote: the program alone.
    temp.write("config/autostart/com.quorvel.power.desktop",
               "[Desktop Entry]\nType=Application\nExec=" + AutostartLoginItem::execValue(program) +
                   "\n");
    item.refresh();
    const auto exec =
        PowerCore::DesktopEntries::valueIn(*PowerCore::Sysfs::readFile(entry), "Exec");
    ASSERT_TRUE(exec);
    EXPECT_TRUE(exec->ends_with(" --autostart"));
    EXPECT_EQ(PowerCore::DesktopEntries::execProgram(*exec), program.string());
    // Switched off stays off and untouched.
    const std::string off = "[Desktop Entry]\nExec=x\nHidden=true\n";
    temp.write("config/autostart/com.quorvel.power.desktop", off);
    item.refresh();
    EXPECT_EQ(*PowerCore::Sysfs::readFile(entry), off);
}

TEST_F(LoginItemTest, TheEntryReadsBackThroughGLibAndSystemdWhateverThePath) {
    // GLib reads autostart entries for most desktops, systemd's generator for systemd's
    // sessions: what both make of ours is the program (through the link where systemd would
    // misread its path) and --autostart.
    const auto odd = temp.path() / "bin \\ $HOME `id` \"q\" 100% 'x'" / "vuzur";
    temp.write((odd.parent_path().filename() / "vuzur").string(), "#!/bin/sh\n");
    fs::permissions(odd, fs::perms::owner_all);
    const auto link = temp.path() / "data/Quorvel Vuzur/vuzur";
    AutostartLoginItem item(autostart, odd, link);
    // The entry an older version wrote names the path itself: brought up to date.
    temp.write("config/autostart/com.quorvel.power.desktop",
               "[Desktop Entry]\nType=Application\nExec=" + AutostartLoginItem::execValue(odd) +
                   " --autostart\n");
    item.refresh();
    EXPECT_EQ(item.status(), Status::enabled);
    EXPECT_EQ(fs::read_symlink(link), odd);

    const char* generator = "/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator";
    if (::access(generator, X_OK) == 0) {
        const auto units = temp.path() / "units";
        fs::create_directories(units);
        const auto made =
            VuzurTests::runProgram(generator, {units.string(), units.string(), units.string()},
                                   {"XDG_CONFIG_HOME=" + (temp.path() / "config").string(),
                                    "XDG_CONFIG_DIRS=/nonexistent"});
        EXPECT_EQ(made.err, "");
        const auto unit =
            PowerCore::Sysfs::readFile(units / "app-com.quorvel.power@autostart.service");
        ASSERT_TRUE(unit);
        EXPECT_NE(unit->find("ExecStart=:\"" + link.string() + "\" --autostart\n"),
                  std::string::npos)
            << *unit;
    }
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    const auto parsed = VuzurTests::runProgram(
        "/usr/bin/python3",
        {"-c",
         "import sys\n"
         "from gi.repository import GLib\n"
         "kf = GLib.KeyFile()\n"
         "kf.load_from_file(sys.argv[1], GLib.KeyFileFlags.NONE)\n"
         "ok, argv = GLib.shell_parse_argv(kf.get_string('Desktop Entry', 'Exec'))\n"
         "print('\\n'.join(a.replace('%%', '%') for a in argv))\n",
         (autostart / "com.quorvel.power.desktop").string()});
    if (parsed.err.find("No module named 'gi'") != std::string::npos)
        GTEST_SKIP() << "python3-gi is not installed";
    EXPECT_EQ(parsed.exitStatus, 0) << parsed.err;
    EXPECT_EQ(parsed.out, link.string() + "\n--autostart\n");
    EXPECT_EQ(item.unregisterItem(), std::nullopt);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    // A file of the person's under that name is left alone.
    temp.write("data/Quorvel Vuzur/vuzur", "mine");
    ASSERT_EQ(item.registerItem(), std::nullopt);
    EXPECT_EQ(*PowerCore::Sysfs::readFile(link), "mine");
    EXPECT_EQ(item.unregisterItem(), std::nullopt);
    EXPECT_EQ(*PowerCore::Sysfs::readFile(link), "mine");
}
