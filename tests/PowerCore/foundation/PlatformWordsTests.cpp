// Texts a Linux user reads, whole, as the screens and notices will show them.
#include <PowerCore/battery/BatterySnapshot.hpp>
#include <PowerCore/foundation/PlatformWords.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

TEST(PlatformWords, LinuxReadsTrueAndMacOSKeepsTheTextAsWritten) {
    const char* noBattery = "This Mac has no battery.";
    EXPECT_EQ(platformText(noBattery), "This computer has no battery.");
    EXPECT_EQ(platformText(noBattery, Platform::macOS), noBattery);
    EXPECT_EQ(platformText("Keeps the Mac awake while make runs. The Mac sleeps after."),
              "Keeps the computer awake while make runs. The computer sleeps after.");
    EXPECT_EQ(platformText("Cycle count 412 of the 1,000 Apple rates the battery for."),
              "Cycle count 412 of the 1,000 a battery is commonly rated for.");
}

TEST(PlatformWords, LoginItemTextsKeepTheirGrammar) {
    EXPECT_EQ(platformText("Could not add Vuzur to Login Items"),
              "Could not add Vuzur to the programs started at login");
    EXPECT_EQ(platformText("Approve it in System Settings \u2192 General \u2192 Login Items."),
              "Approve it in your desktop's startup applications settings.");
    EXPECT_EQ(platformText("If you say yes, Vuzur adds itself to your Login Items (you will see it "
                           "in System Settings \u2192 General \u2192 Login Items and can remove it "
                           "there or in Vuzur\u2019s Settings)."),
              "If you say yes, Vuzur adds itself to the programs started at login (you will see "
              "it in your desktop's startup applications settings and can remove it there or in "
              "Vuzur\u2019s Settings).");
    EXPECT_EQ(platformText("macOS cannot find this copy of Vuzur for login: move it to "
                           "Applications and try again."),
              "The startup entry points to a copy of Vuzur that is no longer there: turn this "
              "off and on again.");
}

} // namespace

TEST(PlatformWords, TheKeepAwakeTextsAndThePowerSourceReadTrue) {
    EXPECT_EQ(platformText("Vuzur never prevents sleep when the lid is closed and never changes "
                           "Energy Saver."),
              "Vuzur never prevents sleep when the lid is closed and never changes your power "
              "settings.");
    EXPECT_EQ(platformText("…or any process named (for example xcodebuild)"),
              "…or any process named (for example rsync)");
    EXPECT_EQ(platformText("(for example xcodebuild)", Platform::macOS),
              "(for example xcodebuild)");
    EXPECT_EQ("It draws from " + inWords(PowerSource::ac, SourceWords::inSentence) + ".",
              "It draws from the power adapter.");
    EXPECT_EQ(inWords(PowerSource::ups, SourceWords::caption), "UPS");
    EXPECT_EQ(inWords(PowerSource::unknown, SourceWords::inSentence), "an unknown source");
    EXPECT_EQ(inWords(PowerSource::ac, SourceWords::caption, Platform::macOS), "AC Vuzur");
}
