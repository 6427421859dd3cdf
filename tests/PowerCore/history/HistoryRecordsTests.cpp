#include "TestSupport.hpp"

#include <PowerCore/history/HistoryRecords.hpp>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

using VuzurTests::at;

HistoryLine batteryLine(const char* iso, int charge = 64) {
    BatterySnapshot::Battery b;
    b.chargePercent = charge;
    b.state = ChargeState::discharging;
    b.currentMilliamps = -1500;
    b.voltageMillivolts = 12000;
    b.condition = "Good/Fair"; // a slash, written escaped
    return {BatterySnapshot{at(iso), PowerSource::battery, b}};
}

HistoryLine appsLine(const char* iso) {
    // Firefox as lines were written before GPU time was measured.
    return {
        AppsLine{at(iso),
                 {{"Firefox", 12.5, 300, 41.25}, {"Terminal \"dev\"", 0.5, 12, std::nullopt, 0.75}},
                 3,
                 296.5}};
}

HistoryLine episodeLine(const char* iso) {
    return {ThermalEpisode{
        at(iso), at("2026-03-14T10:00:00Z"), ThermalLevel::serious, 70, {"make", "cc1plus"}}};
}

std::variant<HistoryLine, HistoryDecodingError> decode(std::string_view text) {
    HistoryDecoder decoder;
    return decoder.line(text);
}

TEST(HistoryLineJson, ExactWireForms) {
    EXPECT_EQ(encodeLine(batteryLine("2026-03-14T09:26:53Z")),
              R"({"battery":{"_0":{"battery":{"chargePercent":64,"condition":"Good\/Fair",)"
              R"("currentMilliamps":-1500,"state":"discharging","voltageMillivolts":12000},)"
              R"("source":"Battery Vuzur","time":"2026-03-14T09:26:53Z"}}})"
              "\n");
    EXPECT_EQ(encodeLine(appsLine("2026-03-14T09:30:00Z")),
              R"({"apps":{"notMeasured":3,"readings":[{"cpuSeconds":12.5,"idleWakeups":300,)"
              R"("name":"Firefox","share":41.25},{"cpuSeconds":0.5,"gpuSeconds":0.75,)"
              R"("idleWakeups":12,)"
              R"("name":"Terminal \"dev\""}],"seconds":296.5,"time":"2026-03-14T09:30:00Z"}})"
              "\n");
    EXPECT_EQ(encodeLine(episodeLine("2026-03-14T09:40:00Z")),
              R"({"episode":{"_0":{"end":"2026-03-14T10:00:00Z","lowestSpeedLimit":70,)"
              R"("start":"2026-03-14T09:40:00Z","topApps":["make","cc1plus"],"worstState":2}}})"
              "\n");
    EXPECT_EQ(encodeLine(DailyHealthPoint{"2026-03-14", 4800, 5000, std::nullopt, 96}),
              R"({"day":"2026-03-14","designCapacitymAh":5000,"fullChargeCapacitymAh":4800,)"
              R"("maximumCapacityPercent":96})"
              "\n");
}

TEST(HistoryLineJson, EveryKindRoundTrips) {
    for (const auto& line : {batteryLine("2026-03-14T09:26:53Z"), appsLine("2026-03-14T09:30:00Z"),
                             episodeLine("2026-03-14T09:40:00Z")}) {
        const auto decoded = decode(encodeLine(line));
        ASSERT_TRUE(std::holds_alternative<HistoryLine>(decoded));
        EXPECT_EQ(std::get<HistoryLine>(decoded), line);
    }
    HistoryDecoder decoder;
    const DailyHealthPoint point{"2026-03-14", std::nullopt, 5000, 12, std::nullopt};
    EXPECT_EQ(decoder.healthPoint(encodeLine(point)), point);
}

TEST(HistoryLineJson, NonFiniteNumbersCannotBeEncoded) {
    auto line = appsLine("2026-03-14T09:30:00Z");
    std::get<AppsLine>(line.record).readings[0].cpuSeconds = std::nan("");
    EXPECT_THROW(encodeLine(line), JsonEncodingError);
}

TEST(HistoryLineDecoding, ExactlyOneCaseKey) {
    const std::string wrong(wrongKeyCountMessage);
    const auto messageOf = [](std::string_view text) {
        const auto decoded = decode(text);
        return std::holds_alternative<HistoryDecodingError>(decoded)
                   ? std::get<HistoryDecodingError>(decoded).message
                   : std::string("decoded");
    };
    EXPECT_EQ(messageOf("{}"), wrong);
    EXPECT_EQ(messageOf(R"({"other":1})"), wrong);
    const auto battery = encodeLine(batteryLine("2026-03-14T09:26:53Z"));
    const auto both = battery.substr(0, battery.size() - 2) +
                      R"(,"apps":{"notMeasured":0,"readings":[],"time":"2026-03-14T09:26:53Z"}})";
    EXPECT_EQ(messageOf(both), wrong);
    // Keys other than the three cases do not count.
    const auto extra = R"({"note":"x",)" + battery.substr(1);
    EXPECT_EQ(messageOf(extra), "decoded");
}

TEST(HistoryLineDecoding, StrictPayloads) {
    for (
        const char* bad :
        {// fractional seconds
         R"({"apps":{"notMeasured":0,"readings":[],"time":"2026-03-14T09:26:53.5Z"}})",
         // a time with an offset
         R"({"apps":{"notMeasured":0,"readings":[],"time":"2026-03-14T09:26:53+01:00"}})",
         // missing notMeasured
         R"({"apps":{"readings":[],"time":"2026-03-14T09:26:53Z"}})",
         // a reading without a name
         R"({"apps":{"notMeasured":0,"readings":[{"cpuSeconds":1,"idleWakeups":1}],"time":"2026-03-14T09:26:53Z"}})",
         // battery payload not under "_0"
         R"({"battery":{"time":"2026-03-14T09:26:53Z","source":"AC Vuzur"}})",
         // an unknown source
         R"({"battery":{"_0":{"time":"2026-03-14T09:26:53Z","source":"Mains"}}})",
         // a count that is not an integer
         R"({"battery":{"_0":{"time":"2026-03-14T09:26:53Z","source":"AC Vuzur","battery":{"chargePercent":50.5,"state":"charging"}}}})",
         // a worst state beyond critical
         R"({"episode":{"_0":{"start":"2026-03-14T09:26:53Z","worstState":4,"topApps":[]}}})",
         "not json", "[1,2]", ""})
        EXPECT_TRUE(std::holds_alternative<HistoryDecodingError>(decode(bad))) << bad;
}

TEST(HistoryFileDecoding, BadLinesAreDroppedAndTheRestRead) {
    const auto good1 = encodeLine(batteryLine("2026-03-14T09:00:00Z", 70));
    const auto good2 = encodeLine(batteryLine("2026-03-14T09:05:00Z", 69));
    auto last = encodeLine(batteryLine("2026-03-14T09:10:00Z", 68));
    last.pop_back(); // no final line feed
    const std::string file =
        good1 + "\n\n" +
        R"({"battery":{"_0":{"time":"2026-03-14T09:02:00.250Z","source":"AC Vuzur"}}})"
        "\n" +
        "{\"battery\":{\"_0\":{\"time\n" + good2 + last;
    HistoryDecoder decoder;
    std::vector<HistoryLine> lines;
    decoder.appendLines(PaddedText::of(file), lines);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(std::get<BatterySnapshot>(lines[2].record).battery->chargePercent, 68);
}

TEST(HistoryFileDecoding, IntoSlotsStopsWhenTheyAreFullAndNamesShareText) {
    std::string file;
    for (int i = 0; i < 3; ++i)
        file += encodeLine(appsLine("2026-03-14T09:30:00Z"));
    HistoryDecoder decoder;
    std::vector<HistoryLine> slots(2);
    EXPECT_EQ(decoder.decodeLines(PaddedText::of(file), slots), 2u);
    EXPECT_EQ(slots[1], appsLine("2026-03-14T09:30:00Z"));
    // Every copy of a name decoded by one decoder is one text, however many lines hold it.
    const auto& first = std::get<AppsLine>(slots[0].record).readings;
    const auto& second = std::get<AppsLine>(slots[1].record).readings;
    EXPECT_TRUE(first[0].name.sharesTextWith(second[0].name));
    EXPECT_FALSE(first[0].name.sharesTextWith(first[1].name));
    EXPECT_EQ(decoder.decodeLines(PaddedText::of(file), std::span<HistoryLine>()), 0u);
}

TEST(HistoryLine, TimeOfEachKind) {
    EXPECT_EQ(batteryLine("2026-03-14T09:26:53Z").time(), at("2026-03-14T09:26:53Z"));
    EXPECT_EQ(appsLine("2026-03-14T09:30:00Z").time(), at("2026-03-14T09:30:00Z"));
    EXPECT_EQ(episodeLine("2026-03-14T09:40:00Z").time(), at("2026-03-14T09:40:00Z"));
}

} // namespace
