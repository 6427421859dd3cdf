#pragma once

#include <PowerCore/foundation/Calendar.hpp>
#include <PowerCore/history/HistoryRecords.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace PowerCore {
class HistoryStore;
}

namespace PowerCore::Export {

enum class Format { markdown, json, csv };
std::string_view rawValue(Format format);

struct File {
    std::string name;
    std::string data; // UTF-8 text
    bool operator==(const File&) const = default;
};

// One stretch on battery power.
struct DischargeSession {
    Timestamp start, end;
    std::int64_t fromPercent = 0, toPercent = 0;
    std::optional<double> averageWatts;
    bool operator==(const DischargeSession&) const = default;
};

std::vector<DischargeSession> dischargeSessions(const std::vector<HistoryLine>& lines);

// The same, a snapshot at a time, keeping the last `kept` sessions.
class DischargeTracker {
public:
    explicit DischargeTracker(size_t kept = SIZE_MAX)
        : kept_(kept) {}
    void add(const BatterySnapshot& snapshot);
    // The sessions, with the stretch still open at the end when it spans time.
    std::vector<DischargeSession> finish();

private:
    void closeStretch();
    size_t kept_;
    std::vector<DischargeSession> sessions_;
    std::optional<BatterySnapshot> first_, last_;
    double drawSum_ = 0;
    size_t draws_ = 0;
};

// Dates in the user's locale; the application passes one built on its locale.
class DateFormatter {
public:
    virtual ~DateFormatter() = default;
    virtual std::string longDateShortTime(Timestamp time) const = 0;
    virtual std::string longDate(Timestamp time) const = 0;
    virtual std::string abbreviatedDateShortTime(Timestamp time) const = 0;
    virtual std::string shortTime(Timestamp time) const = 0;
    virtual std::string timeWithSeconds(Timestamp time) const = 0;
    // A calendar day named "YYYY-MM-DD" as a short date; a name that is no day as it is.
    virtual std::string shortDate(const std::string& dayName) const = 0;
};

// English dates in a calendar's zone ("14 March 2025 at 09:26"), for the command line and
// tests.
class PlainDateFormatter final : public DateFormatter {
public:
    explicit PlainDateFormatter(Calendar calendar)
        : calendar_(std::move(calendar)) {}
    std::string longDateShortTime(Timestamp time) const override;
    std::string longDate(Timestamp time) const override;
    std::string abbreviatedDateShortTime(Timestamp time) const override;
    std::string shortTime(Timestamp time) const override;
    std::string timeWithSeconds(Timestamp time) const override;
    std::string shortDate(const std::string& dayName) const override;

private:
    Calendar calendar_;
};

struct ReportInputs {
    Timestamp now;
    std::string model;
    BatterySnapshot snapshot;
    std::vector<DailyHealthPoint> daily;
    std::vector<HistoryLine> lines;
    std::optional<Timestamp> firstSample;
};

File batteryReport(const ReportInputs& inputs, const DateFormatter& dates,
                   const Calendar& calendar);

// JSON for `json`, CSV for every other format. A record JSON cannot hold (a number that is
// not finite) leaves the data empty.
File history(Timestamp now, const std::vector<HistoryLine>& lines,
             const std::vector<DailyHealthPoint>& daily, Format format, const Calendar& calendar);

// The name of an export made at `now`: "power-history-2026-03-14-0926.json".
std::string fileName(Format format, Timestamp now, const Calendar& calendar);

// Takes an export's text a piece at a time; throws, saying why, when it cannot.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void write(std::string_view text) = 0;
};

// A file an export is written into: what it took becomes the file only when committed.
class FileOutput : public Sink {
public:
    virtual void commit() = 0;
};

// The history as `history` gives it, written to `out`; throws what `out` throws, and
// JsonEncodingError.
void history(Timestamp now, const std::vector<HistoryLine>& lines,
             const std::vector<DailyHealthPoint>& daily, Format format, Sink& out);

// The export of the history on disk, written to `out` as the day files are read, so that
// a year is never held whole: the same text `batteryReport` (for `markdown`: `inputs` gives
// the time, the model and the snapshot, the store the rest) or `history` give. `progress`
// hears the share done after each day file and answers whether to go on; false when it
// stopped the export. Throws what `out` throws, and JsonEncodingError for a record JSON
// cannot hold.
bool write(Format format, const HistoryStore& store, const ReportInputs& inputs,
           const DateFormatter& dates, Sink& out, const std::function<bool(double)>& progress);

} // namespace PowerCore::Export
