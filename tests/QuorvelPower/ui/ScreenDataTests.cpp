#include "TestSupport.hpp"

#include <QuorvelPower/ui/ScreenData.hpp>
#include <gtest/gtest.h>

using namespace PowerCore;
using namespace QuorvelPower;
using VuzurTests::at;

namespace {

HistoryLine sample(const char* when, PowerSource source, std::int64_t percent) {
    BatterySnapshot::Battery battery;
    battery.chargePercent = percent;
    return HistoryLine{BatterySnapshot{at(when), source, battery}};
}

} // namespace

TEST(ScreenData, BatteryDaysCountOnlySamplesOnBattery) {
    const std::vector<HistoryLine> lines{
        sample("2026-12-04T10:00:00Z", PowerSource::ac, 80),
        sample("2026-12-04T11:00:00Z", PowerSource::ac, 95),
        sample("2026-12-05T09:00:00Z", PowerSource::battery, 70),
        sample("2026-12-05T12:00:00Z", PowerSource::ac, 40),
        HistoryLine{BatterySnapshot{at("2026-12-05T13:00:00Z"), PowerSource::ac, std::nullopt}},
    };
    const auto days = ScreenData::batteryDays(lines, Calendar::utc());
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0], (ScreenData::BatteryDay{"2026-12-05", 2, 40, 70, 1}));
    EXPECT_EQ(days[1], (ScreenData::BatteryDay{"2026-12-04", 2, 80, 95, 0})) << "AC only: 0";
}

TEST(ScreenData, TheDayRangeKeepsASampleExactlyOneDayOld) {
    const auto now = at("2026-12-06T12:00:00Z");
    const std::vector<HistoryLine> lines{sample("2026-12-05T11:59:59Z", PowerSource::ac, 50),
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
}
