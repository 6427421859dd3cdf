#include "TestSupport.hpp"

#include <PowerCore/history/Export.hpp>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

using VuzurTests::at;

HistoryLine battery(const char* iso, PowerSource source, int charge,
                    std::optional<std::int64_t> mA = std::nullopt,
                    std::optional<std::int64_t> mV = std::nullopt) {
    BatterySnapshot::Battery b;
    b.chargePercent = charge;
    b.state = source == PowerSource::battery ? ChargeState::discharging : ChargeState::charging;
    b.currentMilliamps = mA;
    b.voltageMillivolts = mV;
    return {BatterySnapshot{at(iso), source, b}};
}

const Calendar utc = Calendar::utc();
const Export::PlainDateFormatter dates{Calendar::utc()};

std::string csvOf(const std::vector<HistoryLine>& lines) {
    return Export::history(at("2026-03-14T09:26:53Z"), lines, {}, Export::Format::csv, utc).data;
}

TEST(DischargeSessions, SingleSampleAtTheEndIsDropped) {
    const auto on = PowerSource::battery;
    EXPECT_TRUE(Export::dischargeSessions({battery("2026-03-14T08:00:00Z", on, 80)}).empty());
    const auto sessions =
        Export::dischargeSessions({battery("2026-03-14T08:00:00Z", on, 80),
                                   battery("2026-03-14T08:05:00Z", PowerSource::ac, 79)});
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].start, sessions[0].end);
    EXPECT_EQ(sessions[0].fromPercent, 80);
}

TEST(DischargeSessions, AverageOfTheMeasuredDraws) {
    const auto on = PowerSource::battery;
    const auto sessions = Export::dischargeSessions({
        battery("2026-03-14T08:00:00Z", on, 80, -1000, 12000), // 12 W
        {AppsLine{at("2026-03-14T08:02:00Z"), {}, 0}},         // not a battery line
        battery("2026-03-14T08:05:00Z", on, 78),               // no current: no draw
        battery("2026-03-14T08:10:00Z", on, 76, -2000, 12000), // 24 W
    });
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].averageWatts, 18.0);
    EXPECT_EQ(sessions[0].toPercent, 76);
    EXPECT_EQ(sessions[0].end, at("2026-03-14T08:10:00Z"));
}

TEST(BatteryReport, DesktopWithoutHistory) {
    const auto file = Export::batteryReport(
        {at("2026-03-14T09:26:53Z"),
         "Macmini9,1",
         BatterySnapshot{at("2026-03-14T09:26:53Z"), PowerSource::ac, std::nullopt},
         {},
         {},
         std::nullopt},
        dates, utc);
    EXPECT_EQ(file.name, "power-battery-report-2026-03-14-0926.md");
    EXPECT_EQ(file.data, "# Quorvel Vuzur battery report\n\n"
                         "- Generated: 14 March 2026 at 09:26\n"
                         "- Computer: Macmini9,1\n"
                         "\n## Battery now\n\n"
                         "This computer has no battery (it draws from the power adapter).\n"
                         "\n## Daily health points\n\n"
                         "| Day | Full-charge (mAh) | Design (mAh) | Cycles | Maximum capacity |\n"
                         "|---|---|---|---|---|\n"
                         "\n## Last discharge sessions\n\n"
                         "| Start | End | From | To | Average draw |\n"
                         "|---|---|---|---|---|\n"
                         "\nMade by Quorvel Vuzur on this computer. Nothing was sent anywhere.\n");
}

TEST(BatteryReport, BatteryRowsHealthPointsAndTheLastSevenSessions) {
    BatterySnapshot::Battery b;
    b.chargePercent = 64;
    b.state = ChargeState::discharging;
    b.designCapacitymAh = 5000;
    b.fullChargeCapacitymAh = 4321;
    b.temperatureCelsius = 30.15;
    std::vector<HistoryLine> lines;
    for (int i = 0; i < 10; ++i) { // ten one-hour sessions, one a day
        const std::string day = "2026-03-0" + std::to_string(i) + "T";
        const auto d = [&](const char* time) { return day + time; };
        if (i == 0) continue;
        lines.push_back(battery(d("08:00:00Z").c_str(), PowerSource::battery, 90));
        lines.push_back(battery(d("09:00:00Z").c_str(), PowerSource::battery, 70));
        lines.push_back(battery(d("09:05:00Z").c_str(), PowerSource::ac, 70));
    }
    const auto file =
        Export::batteryReport({at("2026-03-14T09:26:53Z"),
                               "MacBookPro14,1",
                               BatterySnapshot{at("2026-03-14T09:26:53Z"), PowerSource::battery, b},
                               {{"2026-03-13", 4321, 5000, std::nullopt, std::nullopt}},
                               lines,
                               at("2026-03-01T08:00:00Z")},
                              dates, utc);
    const auto& text = file.data;
    EXPECT_NE(text.find("- Record since: 1 March 2026\n"), std::string::npos);
    EXPECT_NE(text.find("| Charge | 64 % (discharging, from the battery) |\n"), std::string::npos);
    // 4321 / 5000 = 86.42 %; no maximum-capacity row without the platform's figure.
    EXPECT_NE(text.find("| Health (full-charge \u00f7 design) | 86.4 % |\n"), std::string::npos);
    EXPECT_EQ(text.find("Maximum capacity (System"), std::string::npos);
    EXPECT_NE(text.find("| Temperature | 30.1 \u00b0C |\n"), std::string::npos); // 30.15 -> %.1f
    EXPECT_NE(text.find("| 2026-03-13 | 4321 | 5000 | \u2014 | \u2014 |\n"), std::string::npos);
    // Nine sessions (days 1 to 9): only days 3 to 9 are listed, oldest first, no draw known.
    EXPECT_EQ(text.find("| 2 Mar 2026, 08:00 |"), std::string::npos);
    const auto third = text.find("| 3 Mar 2026, 08:00 | 09:00 | 90 % | 70 % | \u2014 |\n");
    const auto ninth = text.find("| 9 Mar 2026, 08:00 | 09:00 | 90 % | 70 % | \u2014 |\n");
    EXPECT_NE(third, std::string::npos);
    EXPECT_NE(ninth, std::string::npos);
    EXPECT_LT(third, ninth);
}

TEST(HistoryCsv, RowsOfEachKind) {
    const auto csv = csvOf({
        battery("2026-03-14T09:00:00Z", PowerSource::battery, 64, -1500, 12345),
        {AppsLine{at("2026-03-14T09:05:00Z"),
                  {{"Say \"hi\", world", 1.234, 10.5, 12.25}, {"plain", 0, 0, std::nullopt}},
                  0}},
        {ThermalEpisode{at("2026-03-14T09:10:00Z"),
                        at("2026-03-14T09:20:00Z"),
                        ThermalLevel::serious,
                        std::nullopt,
                        {"a \"b\"", "c"}}},
    });
    EXPECT_EQ(csv, "time,kind,charge_percent,source,state,watts,temperature_c,level,app,"
                   "cpu_seconds,idle_wakeups,share_percent\n"
                   // 1500 mA x 12 345 mV = 18.5175 W -> 18.52
                   "2026-03-14T09:00:00Z,battery,64,Battery Vuzur,discharging,18.52,,,,,,\n"
                   "2026-03-14T09:05:00Z,app,,,,,,,\"Say \"\"hi\"\", world\",1.23,10,12.2\n"
                   "2026-03-14T09:05:00Z,app,,,,,,,\"plain\",0.00,0,\n"
                   "2026-03-14T09:10:00Z,episode,,,,,,Hot,\"a \"\"b\"\" / c\",,,\n");
}

TEST(HistoryCsv, NamesThatASpreadsheetWouldRunAsFormulasStayText) {
    const auto csv = csvOf({{AppsLine{at("2026-03-14T09:05:00Z"),
                                      {{"=cmd|' /C calc'!A0", 1, 1, 1},
                                       {"+1", 1, 1, 1},
                                       {"-2+3", 1, 1, 1},
                                       {"@SUM(A1)", 1, 1, 1},
                                       {"a=b", 1, 1, 1}},
                                      0}}});
    EXPECT_NE(csv.find(",\"'=cmd|' /C calc'!A0\","), std::string::npos);
    EXPECT_NE(csv.find(",\"'+1\","), std::string::npos);
    EXPECT_NE(csv.find(",\"'-2+3\","), std::string::npos);
    EXPECT_NE(csv.find(",\"'@SUM(A1)\","), std::string::npos);
    EXPECT_NE(csv.find(",\"a=b\","), std::string::npos) << "only a leading sign counts";
}

TEST(HistoryCsv, EveryRowHasTwelveFieldsOutsideQuotes) {
    const auto csv = csvOf({battery("2026-03-14T09:00:00Z", PowerSource::ac, 64),
                            {AppsLine{at("2026-03-14T09:05:00Z"), {{"a,b", 1, 1, 1}}, 0}}});
    size_t start = 0;
    while (start < csv.size()) {
        const size_t end = csv.find('\n', start);
        int commas = 0;
        bool quoted = false;
        for (size_t i = start; i < end; ++i) {
            if (csv[i] == '"') quoted = !quoted;
            if (csv[i] == ',' && !quoted) ++commas;
        }
        EXPECT_EQ(commas, 11) << csv.substr(start, end - start);
        start = end + 1;
    }
}

TEST(HistoryJson, ReadsBackAsTheSameLinesAndPoints) {
    const std::vector<HistoryLine> lines{
        battery("2026-03-14T09:00:00Z", PowerSource::battery, 64, -1500, 12345),
        {AppsLine{at("2026-03-14T09:05:00Z"), {{"Firefox/Nightly", 1.5, 2, 3.5}}, 7}},
        {ThermalEpisode{at("2026-03-14T09:10:00Z"), std::nullopt, ThermalLevel::fair, 80, {}}}};
    const std::vector<DailyHealthPoint> daily{{"2026-03-14", 4800, 5000, 12, 97}};
    const auto now = at("2026-03-14T09:26:53Z");
    const auto file = Export::history(now, lines, daily, Export::Format::json, utc);
    EXPECT_EQ(file.name, "power-history-2026-03-14-0926.json");
    HistoryDecoder decoder;
    const auto document = decoder.exportDocument(file.data);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->generatedAt, now);
    EXPECT_EQ(document->lines, lines);
    EXPECT_EQ(document->dailyHealth, daily);

    // Written a line at a time, it is the document the writer gives whole, to the byte, with
    // and without lines and points.
    for (const bool empty : {false, true}) {
        Json whole = Json::object();
        whole["generatedAt"] = formatISO8601(now);
        whole["dailyHealth"] = Json::array();
        whole["lines"] = Json::array();
        if (!empty) {
            for (const auto& p : daily)
                whole["dailyHealth"].push_back(toJson(p));
            for (const auto& l : lines)
                whole["lines"].push_back(toJson(l));
        }
        EXPECT_EQ(Export::history(now, empty ? std::vector<HistoryLine>{} : lines,
                                  empty ? std::vector<DailyHealthPoint>{} : daily,
                                  Export::Format::json, utc)
                      .data,
                  writeJson(whole, JsonStyle::report));
    }
}

TEST(HistoryJson, UnencodableHistoryKeepsTheNameWithEmptyData) {
    const std::vector<HistoryLine> lines{
        {AppsLine{at("2026-03-14T09:05:00Z"), {{"x", INFINITY, 2, {}}}, 0}}};
    const auto file =
        Export::history(at("2026-03-14T09:26:53Z"), lines, {}, Export::Format::json, utc);
    EXPECT_EQ(file.name, "power-history-2026-03-14-0926.json");
    EXPECT_TRUE(file.data.empty());
}

TEST(ExportNames, StampUsesTheCalendarsZone) {
    // 23:30 UTC on 13 March is 08:30 on the 14th in Tokyo.
    const auto file = Export::history(at("2026-03-13T23:30:00Z"), {}, {}, Export::Format::csv,
                                      *Calendar::named("Asia/Tokyo"));
    EXPECT_EQ(file.name, "power-history-2026-03-14-0830.csv");
}

} // namespace
