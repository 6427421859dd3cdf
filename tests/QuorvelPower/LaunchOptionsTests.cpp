#include <QuorvelPower/LaunchOptions.hpp>
#include <QuorvelPower/reports/HeadlessCommands.hpp>
#include <gtest/gtest.h>
#include <limits>

namespace {

using namespace QuorvelPower;

LaunchOptions parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "/usr/bin/vuzur");
    return LaunchOptions(arguments);
}

double appsInterval(std::vector<std::string> arguments) {
    return HeadlessCommands::appsInterval(arguments);
}

TEST(LaunchOptions, NothingGivenMeansNothingAsked) {
    EXPECT_EQ(parse({}), LaunchOptions{});
}

TEST(LaunchOptions, OpenTakesATabOrSettingsExactly) {
    EXPECT_EQ(parse({"--open", "history"}).openTab, Tab::history);
    EXPECT_FALSE(parse({"--open", "history"}).openSettings);
    const auto settings = parse({"--open", "settings"});
    EXPECT_TRUE(settings.openSettings);
    EXPECT_FALSE(settings.openTab);
    const auto wrongCase = parse({"--open", "History"});
    EXPECT_FALSE(wrongCase.openTab);
    EXPECT_FALSE(wrongCase.openSettings);
    EXPECT_FALSE(parse({"--open"}).openTab);
}

TEST(LaunchOptions, KeepAwakeIsClampedAndMustBeANumber) {
    EXPECT_EQ(parse({"--keep-awake", "0"}).keepAwakeSeconds, 1.0);
    EXPECT_EQ(parse({"--keep-awake", "3600"}).keepAwakeSeconds, 600.0);
    EXPECT_EQ(parse({"--keep-awake", "2.5"}).keepAwakeSeconds, 2.5);
    EXPECT_EQ(parse({"--keep-awake", "1e2"}).keepAwakeSeconds, 100.0);
    // Whatever strtod takes as a whole, but "not a number".
    EXPECT_EQ(parse({"--keep-awake", "+2"}).keepAwakeSeconds, 2.0);
    EXPECT_EQ(parse({"--keep-awake", " 10"}).keepAwakeSeconds, 10.0);
    EXPECT_EQ(parse({"--keep-awake", "0x1p4"}).keepAwakeSeconds, 16.0);
    EXPECT_EQ(parse({"--keep-awake", "inf"}).keepAwakeSeconds, 600.0);
    EXPECT_EQ(parse({"--keep-awake", "1e999"}).keepAwakeSeconds, 600.0);
    // Beyond a double: infinity above, zero below, as strtod gives them.
    EXPECT_EQ(Arguments::parseNumber("0." + std::string(400, '0') + "1e5"), 0.0);
    EXPECT_EQ(Arguments::parseNumber("1" + std::string(400, '0') + "e-5"),
              std::numeric_limits<double>::infinity());
    for (const char* bad : {"ten", "10s", "", "10 ", "nan", "-nan", "+-2", "0x", "- 2", "0xinf"})
        EXPECT_FALSE(parse({"--keep-awake", bad}).keepAwakeSeconds) << bad;
}

TEST(LaunchOptions, DelaysAreNotClamped) {
    EXPECT_EQ(parse({"--quit-after", "9000"}).quitAfter, 9000.0);
    EXPECT_EQ(parse({"--snapshot-delay", "0.25"}).snapshotDelay, 0.25);
}

TEST(LaunchOptions, QuitAfterSnapshotIsNotQuitAfter) {
    const auto options = parse({"--quit-after-snapshot"});
    EXPECT_TRUE(options.quitAfterSnapshot);
    EXPECT_FALSE(options.quitAfter);
}

TEST(LaunchOptions, ValueIsTheNextArgumentWhateverItLooksLike) {
    const auto options = parse({"--snapshot", "--diagnostics", "--diagnostics", "d.txt"});
    EXPECT_EQ(options.snapshotPath, "--diagnostics");
    // Only the first "--diagnostics" counts, and its value is the second one.
    EXPECT_EQ(options.diagnosticsPath, "--diagnostics");
}

TEST(LaunchOptions, OnlyTheFirstOccurrenceCounts) {
    EXPECT_EQ(parse({"--keep-awake", "5", "--keep-awake", "50"}).keepAwakeSeconds, 5.0);
    EXPECT_EQ(parse({"--open", "apps", "--open", "thermal"}).openTab, Tab::apps);
}

TEST(LaunchOptions, FlagsMatchWholeArgumentsOnly) {
    const auto options = parse({"--keep-display-on=1", "--SHOW-RULE-SHEET", "--show-cap-question"});
    EXPECT_FALSE(options.keepDisplayOn);
    EXPECT_FALSE(options.showRuleSheet);
    EXPECT_TRUE(options.showCapQuestion);
}

TEST(LaunchOptions, AnArgumentTheProgramDoesNotTakeIsNamed) {
    const auto unknown = [](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "/usr/bin/vuzur");
        return Arguments::unknown(arguments).value_or("");
    };
    EXPECT_EQ(unknown({"--export-json", "-", "--open", "--help", "--keep-display-on"}), "");
    EXPECT_EQ(unknown({"--export-jsn", "x"}), "--export-jsn");
    EXPECT_EQ(unknown({"--keep-display-on=1"}), "--keep-display-on=1");
    EXPECT_EQ(unknown({"--export-csv", "out.csv", "extra"}), "extra");
    // Qt's own options, and a session manager's restart, with their values.
    EXPECT_EQ(unknown({"-platform", "offscreen", "-session", "1a2b", "-reverse", "--autostart"}),
              "");
    EXPECT_EQ(unknown({"--platform", "offscreen", "--style=Fusion", "--reverse", "x"}), "x");
    EXPECT_EQ(unknown({"--platform=offscreen"}), "--platform=offscreen");
}

TEST(HeadlessDispatch, FirstReportInFixedOrderWins) {
    using R = HeadlessCommands::Report;
    const auto pick = [](std::vector<std::string> args) {
        return HeadlessCommands::requestedReport(args);
    };
    EXPECT_EQ(pick({"vuzur", "--apps-json", "--battery-json"}), R::battery);
    EXPECT_EQ(pick({"vuzur", "--smc-keys-json", "--sensors-json"}), R::sensors);
    EXPECT_EQ(pick({"vuzur", "--smc-keys-json"}), R::smcKeys);
    EXPECT_FALSE(pick({"vuzur", "--open", "apps"}));
    // A report flag given as the value of another flag still counts as present.
    EXPECT_EQ(pick({"vuzur", "--snapshot", "--apps-json"}), R::apps);
}

TEST(HeadlessDispatch, AppsIntervalDefaultsAndClamps) {
    EXPECT_EQ(appsInterval({"--apps-json-interval", "0.2"}), 1.0);
    EXPECT_EQ(appsInterval({"--apps-json-interval", "90"}), 60.0);
    EXPECT_EQ(appsInterval({"--apps-json-interval", "soon"}), 5.0);
    EXPECT_EQ(appsInterval({"--apps-json", "--apps-json-interval"}), 5.0);
}

} // namespace
