#include <PowerCore/battery/DischargeMath.hpp>
#include <PowerCore/foundation/PlatformWords.hpp>
#include <PowerCore/history/Export.hpp>
#include <array>
#include <fmt/format.h>

namespace PowerCore::Export {

namespace {

constexpr std::string_view emDash = "\u2014";

// "yyyy-MM-dd-HHmm" in the calendar's zone.
std::string stamp(Timestamp now, const Calendar& calendar) {
    return fmt::format("{}-{:02d}{:02d}", calendar.dayName(now), calendar.hour(now),
                       calendar.minute(now));
}

std::optional<double> drawWatts(const BatterySnapshot& snapshot) {
    if (!snapshot.battery || !snapshot.battery->voltageMillivolts ||
        !snapshot.battery->currentMilliamps || *snapshot.battery->voltageMillivolts <= 0)
        return std::nullopt;
    return DischargeMath::watts(snapshot.battery->currentMilliamps,
                                snapshot.battery->voltageMillivolts);
}

std::int64_t chargeOf(const BatterySnapshot& snapshot) {
    return snapshot.battery ? snapshot.battery->chargePercent : 0;
}

template <typename T>
std::string orDash(const std::optional<T>& value, std::string_view unit = "") {
    return value ? fmt::format("{}{}", *value, unit) : std::string(emDash);
}

// A CSV field in double quotes, inner quotes doubled. A text that a spreadsheet would run as
// a formula (starting with =, +, -, @, a tab or a carriage return; any process may name
// itself "=cmd|...") starts with a single quote instead, as OWASP's CSV-injection advice says.
std::string csvQuoted(std::string_view text) {
    std::string out = "\"";
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
        out.push_back('\'');
    for (const char c : text) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

void batterySection(std::string& out, const BatterySnapshot& snapshot) {
    // The raw value on macOS ("AC Vuzur"); elsewhere the source in words.
    const bool raw = currentPlatform == Platform::macOS;
    const auto words = inWords(snapshot.source, SourceWords::inSentence);
    const auto source = raw ? words : "from " + words;
    if (!snapshot.battery) {
        out += fmt::format("This Mac has no battery ({}).\n", raw ? words : "it draws " + source);
        return;
    }
    const auto& b = *snapshot.battery;
    out += "| | |\n|---|---|\n";
    out += fmt::format("| Charge | {} % ({}, {}) |\n", b.chargePercent,
                       PowerCore::rawValue(b.state), source);
    if (b.cycleCount)
        out += fmt::format("| Cycle count | {} of the 1,000 Apple rates the battery for |\n",
                           *b.cycleCount);
    if (b.designCapacitymAh)
        out += fmt::format("| Design capacity | {} mAh |\n", *b.designCapacitymAh);
    if (b.fullChargeCapacitymAh)
        out += fmt::format("| Full-charge capacity | {} mAh |\n", *b.fullChargeCapacitymAh);
    if (b.maximumCapacityPercent)
        out += fmt::format("| Maximum capacity (System Information) | {} % |\n",
                           *b.maximumCapacityPercent);
    if (b.designCapacitymAh && b.fullChargeCapacitymAh && *b.designCapacitymAh > 0 &&
        *b.fullChargeCapacitymAh >= 0)
        out += fmt::format("| Health (full-charge \u00f7 design) | {:.1f} % |\n",
                           double(*b.fullChargeCapacitymAh) / double(*b.designCapacitymAh) * 100.0);
    if (b.condition) out += fmt::format("| Condition | {} |\n", *b.condition);
    if (b.temperatureCelsius)
        out += fmt::format("| Temperature | {:.1f} \u00b0C |\n", *b.temperatureCelsius);
}

void csvRows(std::string& out, const HistoryLine& line) {
    if (const auto* snapshot = std::get_if<BatterySnapshot>(&line.record)) {
        const auto& b = snapshot->battery;
        const auto watts = drawWatts(*snapshot);
        out += fmt::format(
            "{},battery,{},{},{},{},{},,,,,\n", formatISO8601(snapshot->time),
            b ? std::to_string(b->chargePercent) : "", PowerCore::rawValue(snapshot->source),
            b ? PowerCore::rawValue(b->state) : "", watts ? fmt::format("{:.2f}", *watts) : "",
            b && b->temperatureCelsius ? fmt::format("{:.1f}", *b->temperatureCelsius) : "");
    } else if (const auto* apps = std::get_if<AppsLine>(&line.record)) {
        const auto time = formatISO8601(apps->time);
        for (const auto& r : apps->readings)
            out += fmt::format("{},app,,,,,,,{},{:.2f},{:.0f},{}\n", time, csvQuoted(r.name),
                               r.cpuSeconds, r.idleWakeups,
                               r.share ? fmt::format("{:.1f}", *r.share) : "");
    } else if (const auto* episode = std::get_if<ThermalEpisode>(&line.record)) {
        std::string names;
        for (const auto& app : episode->topApps)
            names += (names.empty() ? "" : " / ") + app;
        out += fmt::format("{},episode,,,,,,{},{},,,\n", formatISO8601(episode->start),
                           title(episode->worstState), csvQuoted(names));
    }
}

} // namespace

std::string_view rawValue(Format format) {
    switch (format) {
    case Format::markdown:
        return "markdown";
    case Format::json:
        return "json";
    case Format::csv:
        return "csv";
    }
    return "csv";
}

std::vector<DischargeSession> dischargeSessions(const std::vector<HistoryLine>& lines) {
    std::vector<DischargeSession> sessions;
    std::optional<BatterySnapshot> first, last;
    std::vector<double> draws;
    const auto emit = [&] {
        std::optional<double> average;
        if (!draws.empty()) {
            double sum = 0;
            for (const double d : draws)
                sum += d;
            average = sum / double(draws.size());
        }
        sessions.push_back({first->time, last->time, chargeOf(*first), chargeOf(*last), average});
    };
    for (const auto& line : lines) {
        const auto* snapshot = std::get_if<BatterySnapshot>(&line.record);
        if (snapshot == nullptr) continue;
        if (snapshot->source == PowerSource::battery) {
            if (!first) {
                first = *snapshot;
                draws.clear();
            }
            if (const auto watts = drawWatts(*snapshot)) draws.push_back(*watts);
            last = *snapshot;
        } else {
            if (first && last) emit();
            first.reset();
            last.reset();
        }
    }
    // A stretch still open at the end counts only when it spans time.
    if (first && last && last->time > first->time) emit();
    return sessions;
}

std::string PlainDateFormatter::longDateShortTime(Timestamp time) const {
    return longDate(time) + " at " + shortTime(time);
}

std::string PlainDateFormatter::longDate(Timestamp time) const {
    static constexpr std::array<const char*, 12> months{
        "January", "February", "March",     "April",   "May",      "June",
        "July",    "August",   "September", "October", "November", "December"};
    const auto day = calendar_.dayName(time); // YYYY-MM-DD
    return fmt::format("{} {} {}", std::stoi(day.substr(8, 2)),
                       months[size_t(std::stoi(day.substr(5, 2)) - 1)], day.substr(0, 4));
}

std::string PlainDateFormatter::abbreviatedDateShortTime(Timestamp time) const {
    const auto full = longDate(time);
    const auto firstSpace = full.find(' ');
    const auto secondSpace = full.find(' ', firstSpace + 1);
    // "14 March 2025" -> "14 Mar 2025"
    return full.substr(0, firstSpace + 4) + full.substr(secondSpace) + ", " + shortTime(time);
}

std::string PlainDateFormatter::shortTime(Timestamp time) const {
    return fmt::format("{:02d}:{:02d}", calendar_.hour(time), calendar_.minute(time));
}

File batteryReport(const ReportInputs& in, const DateFormatter& dates, const Calendar& calendar) {
    std::string out = "# Quorvel Vuzur battery report\n\n";
    out += "- Generated: " + dates.longDateShortTime(in.now) + "\n";
    out += "- Mac: " + in.model + "\n";
    if (in.firstSample) out += "- Record since: " + dates.longDate(*in.firstSample) + "\n";
    out += "\n## Battery now\n\n";
    batterySection(out, in.snapshot);
    out += "\n## Daily health points\n\n| Day | Full-charge (mAh) | Design (mAh) | Cycles | "
           "Maximum capacity |\n|---|---|---|---|---|\n";
    for (const auto& p : in.daily)
        out += fmt::format("| {} | {} | {} | {} | {} |\n", p.day, orDash(p.fullChargeCapacitymAh),
                           orDash(p.designCapacitymAh), orDash(p.cycleCount),
                           orDash(p.maximumCapacityPercent, " %"));
    out += "\n## Last discharge sessions\n\n| Start | End | From | To | Average draw |\n"
           "|---|---|---|---|---|\n";
    const auto sessions = dischargeSessions(in.lines);
    const size_t from = sessions.size() > 7 ? sessions.size() - 7 : 0;
    for (size_t i = from; i < sessions.size(); ++i) {
        const auto& s = sessions[i];
        out += fmt::format(
            "| {} | {} | {} % | {} % | {} |\n", dates.abbreviatedDateShortTime(s.start),
            dates.shortTime(s.end), s.fromPercent, s.toPercent,
            s.averageWatts ? fmt::format("{:.1f} W", *s.averageWatts) : std::string(emDash));
    }
    out += "\nMade by Quorvel Vuzur on this Mac. Nothing was sent anywhere.\n";
    return {"power-battery-report-" + stamp(in.now, calendar) + ".md", platformText(out)};
}

File history(Timestamp now, const std::vector<HistoryLine>& lines,
             const std::vector<DailyHealthPoint>& daily, Format format, const Calendar& calendar) {
    if (format == Format::json) {
        File file{"power-history-" + stamp(now, calendar) + ".json", {}};
        Json document = Json::object();
        document["generatedAt"] = formatISO8601(now);
        Json points = Json::array();
        for (const auto& p : daily)
            points.push_back(toJson(p));
        document["dailyHealth"] = std::move(points);
        Json records = Json::array();
        for (const auto& l : lines)
            records.push_back(toJson(l));
        document["lines"] = std::move(records);
        try {
            file.data = writeJson(document, JsonStyle::report);
        } catch (const JsonEncodingError&) {
            file.data.clear(); // the name stays so the user sees what failed
        }
        return file;
    }
    std::string out = "time,kind,charge_percent,source,state,watts,temperature_c,level,app,"
                      "cpu_seconds,idle_wakeups,share_percent\n";
    for (const auto& line : lines)
        csvRows(out, line);
    return {"power-history-" + stamp(now, calendar) + ".csv", std::move(out)};
}

} // namespace PowerCore::Export
