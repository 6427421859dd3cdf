#include "TestSupport.hpp"

#include <QuorvelPower/ui/ScreenData.hpp>
#include <gtest/gtest.h>

using namespace PowerCore;
using namespace QuorvelPower;
using VuzurTests::at;

namespace {

ChargeSample sample(const char* when, PowerSource source, std::int64_t percent) {
    BatterySnapshot::Battery battery;
    battery.chargePercent = percent;
    return ChargeSample::of(BatterySnapshot{at(when), source, battery});
}

} // namespace

TEST(ScreenData, BatteryDaysCountOnlySamplesOnBattery) {
    const std::vector<ChargeSample> lines{
        sample("2026-12-04T10:00:00Z", PowerSource::ac, 80),
        sample("2026-12-04T11:00:00Z", PowerSource::ac, 95),
        sample("2026-12-05T09:00:00Z", PowerSource::battery, 70),
        sample("2026-12-05T12:00:00Z", PowerSource::ac, 40),
    };
    const auto days = ScreenData::batteryDays(lines, Calendar::utc());
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0], (ScreenData::BatteryDay{"2026-12-05", 2, 40, 70, 1}));
    EXPECT_EQ(days[1], (ScreenData::BatteryDay{"2026-12-04", 2, 80, 95, 0})) << "AC only: 0";
}

TEST(ScreenData, TheDayRangeKeepsASampleExactlyOneDayOld) {
    const auto now = at("2026-12-06T12:00:00Z");
    const std::vector<ChargeSample> lines{sample("2026-12-05T11:59:59Z", PowerSource::ac, 50),
                                          sample("2026-12-05T12:00:00Z", PowerSource::ac, 60),
                                          sample("2026-12-06T11:00:00Z", PowerSource::ac, 70)};
    const auto day = ScreenData::chargeSamples(lines, ScreenData::ChartRange::day, now);
    ASSERT_EQ(day.size(), 2u);
    EXPECT_EQ(day.front().percent, 60);
    EXPECT_EQ(ScreenData::chargeSamples(lines, ScreenData::ChartRange::all, now).size(), 3u);
}

TEST(ScreenData, CapacityTextFallsBackToTheCapacitiesThenADash) {
    DailyHealthPoint point;
    point.day = "2026-12-06";
    EXPECT_EQ(ScreenData::capacityText(point), "—");
    point.fullChargeCapacitymAh = 4320;
    point.designCapacitymAh = 5000;
    EXPECT_EQ(ScreenData::capacityText(point), "86.4 %");
    point.maximumCapacityPercent = 87;
    EXPECT_EQ(ScreenData::capacityText(point), "87 %");
}

TEST(ScreenData, ReductionKeepsEveryColumnsExtremes) {
    // A year of five-minute samples near 80 %, with one sharp dip to 3 % for one sample.
    std::vector<ScreenData::ChargePoint> year;
    const auto start = at("2026-01-01T00:00:00Z");
    for (int i = 0; i < 105000; ++i)
        year.push_back({addingSeconds(start, i * 300.0), 80.0 + (i % 7)});
    year[61234].percent = 3;
    const auto reduced = ScreenData::reduceForColumns(year, 800);
    EXPECT_LE(reduced.size(), 1600u);
    EXPECT_TRUE(std::any_of(reduced.begin(), reduced.end(), [](const auto& p) {
        return p.percent == 3;
    })) << "the dip survives";
    EXPECT_TRUE(std::is_sorted(reduced.begin(), reduced.end(),
                               [](const auto& a, const auto& b) { return a.time < b.time; }));
    EXPECT_EQ(ScreenData::reduceForColumns({year.begin(), year.begin() + 10}, 800).size(), 10u);

    // The area's top: one point a column, and a one-sample peak is its column's.
    year[61234].percent = 100;
    const auto top = ScreenData::upperEnvelope(year, 800);
    EXPECT_EQ(top.size(), 800u) << "samples in every column";
    EXPECT_TRUE(std::is_sorted(top.begin(), top.end(),
                               [](const auto& a, const auto& b) { return a.time < b.time; }));
    EXPECT_EQ(std::count_if(top.begin(), top.end(), [](const auto& p) { return p.percent == 100; }),
              1);
    EXPECT_TRUE(std::all_of(top.begin(), top.end(), [](const auto& p) { return p.percent >= 86; }))
        << "each column's highest";
}

TEST(ScreenData, AppsFooterAndBar) {
    EXPECT_EQ(ScreenData::notMeasuredLine(1), "1 system or other users' process not measured.");
    EXPECT_EQ(ScreenData::notMeasuredLine(0), "0 system or other users' processes not measured.");
    EXPECT_EQ(ScreenData::notMeasuredLine(2), "2 system or other users' processes not measured.");
    EXPECT_EQ(ScreenData::shareFill(130), 1.0) << "never wider than the bar";
    EXPECT_EQ(ScreenData::shareFill(std::nullopt), 0.0);
    EXPECT_EQ(ScreenData::shareText(std::nullopt), "—");
    AppPower app;
    EXPECT_EQ(ScreenData::cpuText(app), "—") << "no interval";
}

TEST(ScreenData, ThePowerModelLineSaysHowTheLearningGoesThenWhatItExplains) {
    using PowerCore::PowerModelState;
    EXPECT_EQ(ScreenData::powerModelLine({PowerModelState::learning, 3.9, 0}, {}, {}, true),
              "Learning this computer's power use: 3 of 10 hours on battery so far");
    EXPECT_TRUE(ScreenData::powerModelLine({PowerModelState::tooLittleSpread, 14, 0}, {}, {}, true)
                    .starts_with("Learning this computer's power use: 14 hours on battery so far, "
                                 "but the work done on battery has hardly changed"));
    const PowerCore::PowerModelStatus ready{PowerModelState::ready, 40, 0.8};
    EXPECT_EQ(ScreenData::powerModelLine(ready, 11.84, 12.4, true),
              "Model explains 11.8 of 12.4 W now");
    EXPECT_EQ(ScreenData::powerModelLine(ready, 11.84, {}, true), "Model gives 11.8 W now");
    EXPECT_EQ(ScreenData::powerModelLine(ready, 11.84, 12.4, true, PowerWindow::oneHour),
              "Model gives 11.8 W on average over this time")
        << "an hour's average is no match for this moment's drain";
}

TEST(ScreenData, ThermalCaptionsAndEpisodeOrder) {
    EXPECT_EQ(ScreenData::fanCaption({0, 1200, std::nullopt, std::nullopt}), "fan 1");
    EXPECT_EQ(ScreenData::fanCaption({1, 1200, 1000.0, 6199.7}), "fan 2 (up to 6199)");
    EXPECT_EQ(ScreenData::temperatureCaption({SensorFamily::cpu, 61, "TC0P", 1}),
              "CPU, hottest of 1 sensor");
    ThermalEpisodes all;
    ThermalEpisode old, newer, open;
    old.start = at("2026-12-01T10:00:00Z");
    old.end = at("2026-12-01T10:20:00Z");
    newer.start = at("2026-12-03T10:00:00Z");
    newer.end = at("2026-12-03T10:05:00Z");
    open.start = at("2026-12-06T11:00:00Z");
    auto newerThisRun = newer; // the run's copy has the clock's fraction of a second
    newerThisRun.start += std::chrono::milliseconds(500);
    all.closed = {newerThisRun};
    all.open = open;
    // `old` from before a restart, in the history only; `newer` in both.
    const auto listed = ScreenData::episodesNewestFirst(all, {old, newer});
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_FALSE(listed[0].end) << "the open one first";
    EXPECT_EQ(std::chrono::floor<std::chrono::seconds>(listed[1].start), newer.start);
    EXPECT_EQ(listed[2].start, old.start);
}

TEST(ScreenData, KeepAwakeHoursNeverPassTheCap) {
    GuardRails rails;
    rails.durationCap = 12 * 3600;
    EXPECT_EQ(ScreenData::maximumHours(rails), 12);
    EXPECT_EQ(ScreenData::sessionSeconds(20, rails), 12 * 3600) << "a stepper above a lowered cap";
    rails.durationCap = 600;
    EXPECT_EQ(ScreenData::maximumHours(rails), 0.5);
}

TEST(ScreenData, RuleChoicesWithoutAConditionSaveNothing) {
    using Kind = ScreenData::RuleChoice::Kind;
    ScreenData::RuleChoice choice;
    choice.kind = Kind::window;
    ASSERT_TRUE(choice.condition({}, {}));
    choice.weekdays.clear();
    EXPECT_FALSE(choice.condition({}, {}));

    choice = ScreenData::RuleChoice::of(
        RuleCondition{TaskMatch{TaskIdentity{4711, 1767225600123456, "xcodebuild"}}});
    EXPECT_EQ(choice.kind, Kind::task);
    EXPECT_EQ(choice.taskPick, "4711@1767225600123456");
    EXPECT_FALSE(choice.condition({}, {})) << "its process has exited and no name is given";
    choice.taskName = "   ";
    EXPECT_FALSE(choice.condition({}, {}));
    choice.taskName = "  make ";
    const auto named = choice.condition({}, {});
    ASSERT_TRUE(named);
    EXPECT_EQ(std::get<TaskMatch>(named->condition), (TaskMatch{TaskNamed{"make"}}));

    choice = ScreenData::RuleChoice::of(
        RuleCondition{WhileAppRuns{"org.gnome.Totem", "Videos", std::nullopt, true}});
    const std::vector<RunningApp> apps{
        {"org.gnome.Totem", "Videos", "/usr/share/applications/org.gnome.Totem.desktop"}};
    const auto app = choice.condition(apps, {});
    ASSERT_TRUE(app);
    EXPECT_TRUE(std::get<WhileAppRuns>(app->condition).includeHelpers);
    EXPECT_FALSE(choice.condition({}, {})) << "the app is not running";
}

TEST(ScreenData, AChargeChangeHasASignOnlyWhenItMoved) {
    EXPECT_EQ(ScreenData::chargeChange(6), "\u22126 %");
    EXPECT_EQ(ScreenData::chargeChange(0), "0 %");
    EXPECT_EQ(ScreenData::chargeChange(-2), "+2 %");
}
