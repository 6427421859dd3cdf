#pragma once

#include <PowerCore/foundation/Calendar.hpp>
#include <PowerCore/history/HistoryRecords.hpp>
#include <cstdint>
#include <string>
#include <vector>

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

// Dates in the user's locale; the application passes one built on its locale.
class DateFormatter {
public:
    virtual ~DateFormatter() = default;
    virtual std::string longDateShortTime(Timestamp time) const = 0;
    virtual std::string longDate(Timestamp time) const = 0;
    virtual std::string abbreviatedDateShortTime(Timestamp time) const = 0;
    virtual std::string shortTime(Timestamp time) const = 0;
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

// JSON for `json`, CSV for every other format.
File history(Timestamp now, const std::vector<HistoryLine>& lines,
             const std::vector<DailyHealthPoint>& daily, Format format, const Calendar& calendar);

} // namespace PowerCore::Export
