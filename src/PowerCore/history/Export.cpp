#include <PowerCore/battery/DischargeMath.hpp>
#include <PowerCore/foundation/PlatformWords.hpp>
#include <PowerCore/history/Export.hpp>
#include <PowerCore/history/HistoryStore.hpp>
#include <array>
#include <cstdio>
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
    if (const auto health = b.healthPercent())
        out += fmt::format("| Health (full-charge \u00f7 design) | {:.1f} % |\n", *health);
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

void DischargeTracker::closeStretch() {
    std::optional<double> average;
    if (draws_ > 0) average = drawSum_ / double(draws_);
    sessions_.push_back({first_->time, last_->time, chargeOf(*first_), chargeOf(*last_), average});
    if (sessions_.size() > kept_) sessions_.erase(sessions_.begin());
}

void DischargeTracker::add(const BatterySnapshot& snapshot) {
    if (snapshot.source == PowerSource::battery) {
        if (!first_) {
            first_ = snapshot;
            drawSum_ = 0;
            draws_ = 0;
        }
        if (const auto watts = drawWatts(snapshot)) {
            drawSum_ += *watts;
            ++draws_;
        }
        last_ = snapshot;
    } else {
        if (first_ && last_) closeStretch();
        first_.reset();
        last_.reset();
    }
}

std::vector<DischargeSession> DischargeTracker::finish() {
    // A stretch still open at the end counts only when it spans time.
    if (first_ && last_ && last_->time > first_->time) closeStretch();
    first_.reset();
    last_.reset();
    return std::move(sessions_);
}

std::vector<DischargeSession> dischargeSessions(const std::vector<HistoryLine>& lines) {
    DischargeTracker tracker;
    for (const auto& line : lines)
        if (const auto* snapshot = std::get_if<BatterySnapshot>(&line.record))
            tracker.add(*snapshot);
    return tracker.finish();
}

std::string PlainDateFormatter::longDateShortTime(Timestamp time) const {
    return longDate(time) + " at " + shortTime(time);
}

namespace {

// "14 March 2025", or "14 Mar 2025" abbreviated; empty for a name that is no day.
std::string dayInWords(const std::string& day, bool abbreviated) {
    static constexpr std::array<const char*, 12> months{
        "January", "February", "March",     "April",   "May",      "June",
        "July",    "August",   "September", "October", "November", "December"};
    int year = 0, month = 0, date = 0;
    if (day.size() != 10 || std::sscanf(day.c_str(), "%4d-%2d-%2d", &year, &month, &date) != 3 ||
        month < 1 || month > 12 || date < 1 || date > 31)
        return {};
    const std::string name = months[size_t(month - 1)];
    return fmt::format("{} {} {:04}", date, abbreviated ? name.substr(0, 3) : name, year);
}

} // namespace

std::string PlainDateFormatter::longDate(Timestamp time) const {
    return dayInWords(calendar_.dayName(time), false);
}

std::string PlainDateFormatter::abbreviatedDateShortTime(Timestamp time) const {
    return dayInWords(calendar_.dayName(time), true) + ", " + shortTime(time);
}

std::string PlainDateFormatter::shortTime(Timestamp time) const {
    return fmt::format("{:02d}:{:02d}", calendar_.hour(time), calendar_.minute(time));
}

std::string PlainDateFormatter::timeWithSeconds(Timestamp time) const {
    const auto sinceMinute = std::chrono::duration_cast<std::chrono::seconds>(
        time.time_since_epoch() % std::chrono::minutes(1));
    return shortTime(time) + fmt::format(":{:02}", (sinceMinute.count() + 60) % 60);
}

std::string PlainDateFormatter::shortDate(const std::string& dayName) const {
    const auto words = dayInWords(dayName, true);
    return words.empty() ? dayName : words;
}

std::string fileName(Format format, Timestamp now, const Calendar& calendar) {
    if (format == Format::markdown) return "power-battery-report-" + stamp(now, calendar) + ".md";
    return "power-history-" + stamp(now, calendar) + (format == Format::json ? ".json" : ".csv");
}

namespace {

// The report, given the last discharge sessions (at most 7, oldest first) and the time of
// the first line.
std::string reportText(const ReportInputs& in, std::optional<Timestamp> firstSample,
                       const std::vector<DischargeSession>& sessions, const DateFormatter& dates) {
    std::string out = "# Quorvel Vuzur battery report\n\n";
    out += "- Generated: " + dates.longDateShortTime(in.now) + "\n";
    out += "- Mac: " + in.model + "\n";
    if (firstSample) out += "- Record since: " + dates.longDate(*firstSample) + "\n";
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
    for (const auto& s : sessions)
        out += fmt::format(
            "| {} | {} | {} % | {} % | {} |\n", dates.abbreviatedDateShortTime(s.start),
            dates.shortTime(s.end), s.fromPercent, s.toPercent,
            s.averageWatts ? fmt::format("{:.1f} W", *s.averageWatts) : std::string(emDash));
    out += "\nMade by Quorvel Vuzur on this Mac. Nothing was sent anywhere.\n";
    return platformText(out);
}

constexpr size_t reportedSessions = 7;

// The history as JSON or CSV, a line at a time. The JSON document is the one writeJson
// gives for {"dailyHealth", "generatedAt", "lines"} in the report style, written in pieces.
class HistoryText {
public:
    HistoryText(Format format, Sink& out)
        : json_(format == Format::json)
        , out_(out) {}

    void begin(Timestamp now, const std::vector<DailyHealthPoint>& daily) {
        if (!json_) {
            out_.write("time,kind,charge_percent,source,state,watts,temperature_c,level,app,"
                       "cpu_seconds,idle_wakeups,share_percent\n");
            return;
        }
        Json points = Json::array();
        for (const auto& p : daily)
            points.push_back(toJson(p));
        out_.write(
            "{\n  \"dailyHealth\" : " + writeJson(points, JsonStyle::report, 1) +
            ",\n  \"generatedAt\" : " + writeJson(Json(formatISO8601(now)), JsonStyle::report, 1) +
            ",\n  \"lines\" : [");
    }

    // A line's text, on any thread.
    void encode(const HistoryLine& line, std::string& text) const {
        if (json_)
            text = writeJson(toJson(line), JsonStyle::report, 2);
        else
            csvRows(text, line);
    }

    // Lines' texts in the order they go.
    void add(std::string_view encoded) {
        if (json_) out_.write(any_ ? ",\n    " : "\n    ");
        any_ = true;
        out_.write(encoded);
    }

    void add(const HistoryLine& line) {
        piece_.clear();
        encode(line, piece_);
        add(piece_);
    }

    void end() {
        if (json_) out_.write(any_ ? "\n  ]\n}" : "]\n}");
    }

private:
    bool json_;
    Sink& out_;
    bool any_ = false;
    std::string piece_;
};

struct TextSink final : Sink {
    std::string text;
    void write(std::string_view piece) override { text += piece; }
};

} // namespace

File batteryReport(const ReportInputs& in, const DateFormatter& dates, const Calendar& calendar) {
    auto sessions = dischargeSessions(in.lines);
    if (sessions.size() > reportedSessions)
        sessions.erase(sessions.begin(), sessions.end() - std::ptrdiff_t(reportedSessions));
    return {fileName(Format::markdown, in.now, calendar),
            reportText(in, in.firstSample, sessions, dates)};
}

File history(Timestamp now, const std::vector<HistoryLine>& lines,
             const std::vector<DailyHealthPoint>& daily, Format format, const Calendar& calendar) {
    if (format == Format::markdown) format = Format::csv;
    File file{fileName(format, now, calendar), {}};
    TextSink out;
    try {
        history(now, lines, daily, format, out);
        file.data = std::move(out.text);
    } catch (const JsonEncodingError&) {
        // The name stays, so the person sees what failed.
    }
    return file;
}

void history(Timestamp now, const std::vector<HistoryLine>& lines,
             const std::vector<DailyHealthPoint>& daily, Format format, Sink& out) {
    HistoryText text(format == Format::json ? Format::json : Format::csv, out);
    text.begin(now, daily);
    for (const auto& line : lines)
        text.add(line);
    text.end();
}

bool write(Format format, const HistoryStore& store, const ReportInputs& inputs,
           const DateFormatter& dates, Sink& out, const std::function<bool(double)>& progress) {
    auto report = inputs;
    report.daily = store.dailyHealth();
    if (format == Format::markdown) {
        DischargeTracker tracker(reportedSessions);
        std::optional<Timestamp> first;
        const bool finished = store.forEachLine(
            [&](const HistoryLine& line) {
                if (!first) first = line.time();
                if (const auto* snapshot = std::get_if<BatterySnapshot>(&line.record))
                    tracker.add(*snapshot);
            },
            progress);
        if (!finished) return false;
        out.write(reportText(report, first, tracker.finish(), dates));
        return true;
    }
    HistoryText text(format, out);
    text.begin(inputs.now, report.daily);
    if (!store.forEachEncodedLine(
            [&](const HistoryLine& line, std::string& encoded) { text.encode(line, encoded); },
            [&](std::string_view encoded) { text.add(encoded); }, progress))
        return false;
    text.end();
    return true;
}

} // namespace PowerCore::Export
