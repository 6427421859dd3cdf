#include <PowerCore/history/HistoryRecords.hpp>
#include <PowerCore/thermal/ThermalEpisodes.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

Timestamp at(double seconds) {
    return fromUnixSeconds(1'773'000'000 + seconds);
}

ThermalSnapshot reading(double seconds, ThermalLevel level, std::optional<int> limit = {}) {
    ThermalSnapshot s;
    s.time = at(seconds);
    s.level = level;
    s.cpuSpeedLimit = limit;
    return s;
}

// Episodes are decoded only as the payload of a history line.
std::optional<ThermalEpisode> thermalEpisodeFromJson(const Json& json) {
    HistoryDecoder decoder;
    const Json line = Json::object({{"episode", Json::object({{"_0", json}})}});
    auto decoded = decoder.line(writeJson(line, JsonStyle::historyLine));
    const auto* historyLine = std::get_if<HistoryLine>(&decoded);
    if (historyLine == nullptr) return std::nullopt;
    return std::get<ThermalEpisode>(historyLine->record);
}

TEST(ThermalEpisodes, SpeedLimitAloneOpensAnEpisode) {
    ThermalEpisodes episodes;
    EXPECT_FALSE(episodes.ingest(reading(0, ThermalLevel::nominal, 100), {}));
    EXPECT_FALSE(episodes.open);
    episodes.ingest(reading(5, ThermalLevel::nominal, 99), {"Xcode"});
    ASSERT_TRUE(episodes.open);
    EXPECT_EQ(episodes.open->worstState, ThermalLevel::nominal);
    EXPECT_EQ(episodes.open->lowestSpeedLimit, 99);
}

TEST(ThermalEpisodes, OneEpisodeKeepsTheWorstStateAndClosesAtNormal) {
    ThermalEpisodes episodes;
    EXPECT_FALSE(episodes.ingest(reading(0, ThermalLevel::fair), {"a"}));
    EXPECT_FALSE(episodes.ingest(reading(10, ThermalLevel::serious), {"b"}));
    EXPECT_FALSE(episodes.ingest(reading(20, ThermalLevel::fair), {}));
    const auto closed = episodes.ingest(reading(30, ThermalLevel::nominal), {});
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->worstState, ThermalLevel::serious);
    EXPECT_EQ(closed->end, at(30));
    EXPECT_EQ(closed->duration(), 30.0);
    EXPECT_EQ(closed->topApps, std::vector<std::string>{"a"});
    EXPECT_FALSE(episodes.open);
    EXPECT_EQ(episodes.closed.size(), 1u);
    // Normal again with nothing open changes nothing.
    EXPECT_FALSE(episodes.ingest(reading(40, ThermalLevel::nominal), {}));
    EXPECT_EQ(episodes.closed.size(), 1u);
}

TEST(ThermalEpisodes, TopAppsAreTakenOnceAndCutToThree) {
    ThermalEpisodes episodes;
    episodes.ingest(reading(0, ThermalLevel::fair), {});
    episodes.ingest(reading(1, ThermalLevel::fair), {"a", "b", "c", "d", "e"});
    EXPECT_EQ(episodes.open->topApps, (std::vector<std::string>{"a", "b", "c"}));
    episodes.ingest(reading(2, ThermalLevel::fair), {"x"});
    EXPECT_EQ(episodes.open->topApps, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(ThermalEpisodes, LowestSpeedLimitIgnoresReadingsWithout) {
    ThermalEpisodes episodes;
    episodes.ingest(reading(0, ThermalLevel::fair, 80), {});
    episodes.ingest(reading(1, ThermalLevel::fair), {});
    episodes.ingest(reading(2, ThermalLevel::fair, 60), {});
    episodes.ingest(reading(3, ThermalLevel::fair, 90), {});
    EXPECT_EQ(episodes.open->lowestSpeedLimit, 60);
}

TEST(ThermalEpisodes, OpenLongerThanCountsFromTheStart) {
    ThermalEpisodes episodes;
    EXPECT_FALSE(episodes.openLongerThan(600, at(10'000)));
    episodes.ingest(reading(100, ThermalLevel::serious), {});
    EXPECT_FALSE(episodes.openLongerThan(600, at(699)));
    EXPECT_TRUE(episodes.openLongerThan(600, at(700)));
}

TEST(ThermalEpisodeJson, AbsentEndAndLimitHaveNoKeys) {
    ThermalEpisodes episodes;
    episodes.ingest(reading(0, ThermalLevel::critical), {"Safari"});
    const Json open = toJson(*episodes.open);
    EXPECT_FALSE(open.contains("end"));
    EXPECT_FALSE(open.contains("lowestSpeedLimit"));
    EXPECT_EQ(open["worstState"], 3);
    EXPECT_EQ(thermalEpisodeFromJson(open), episodes.open);
    const auto closed = *episodes.ingest(reading(90, ThermalLevel::nominal), {});
    EXPECT_EQ(thermalEpisodeFromJson(toJson(closed)), closed);
    Json bad = toJson(closed);
    bad["worstState"] = 4;
    EXPECT_FALSE(thermalEpisodeFromJson(bad));
}

} // namespace
