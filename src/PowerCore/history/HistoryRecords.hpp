#pragma once

#include <PowerCore/apps/AppReading.hpp>
#include <PowerCore/battery/BatterySnapshot.hpp>
#include <PowerCore/history/HistoryFileSystem.hpp>
#include <PowerCore/thermal/ThermalEpisodes.hpp>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace PowerCore {

// The applications that used the most power, as the monitor ranked them.
struct AppsLine {
    Timestamp time;
    std::vector<AppReading> readings; // at most 20, in rank order
    std::int64_t notMeasured = 0;     // processes that could not be measured
    // The seconds of readings the line sums: five minutes, but less after a start or a
    // resume; none in lines written before it was kept.
    std::optional<double> seconds = std::nullopt;
    bool operator==(const AppsLine&) const = default;
};

// One record of a day file: a battery sample, an apps reading or a finished episode.
struct HistoryLine {
    std::variant<BatterySnapshot, AppsLine, ThermalEpisode> record;

    // Decides the day file and the order of lines read back.
    Timestamp time() const;
    bool operator==(const HistoryLine&) const = default;
};

// One battery-health point per local day, copied from that day's first battery sample.
struct DailyHealthPoint {
    std::string day; // "%04d-%02d-%02d"
    std::optional<std::int64_t> fullChargeCapacitymAh;
    std::optional<std::int64_t> designCapacitymAh;
    std::optional<std::int64_t> cycleCount;
    std::optional<std::int64_t> maximumCapacityPercent;

    static DailyHealthPoint of(std::string day, const BatterySnapshot::Battery& battery);
    bool operator==(const DailyHealthPoint&) const = default;
};

Json toJson(const AppReading& reading);
Json toJson(const HistoryLine& line);
Json toJson(const DailyHealthPoint& point);

// One line of a history file: compact JSON with sorted keys, then a line feed. Throws
// JsonEncodingError for a value JSON cannot hold (a non-finite number).
std::string encodeLine(const HistoryLine& line);
std::string encodeLine(const DailyHealthPoint& point);

inline constexpr std::string_view wrongKeyCountMessage =
    "Invalid number of keys found, expected one.";

struct HistoryDecodingError {
    std::string message;
    bool operator==(const HistoryDecodingError&) const = default;
};

// File contents with the spare bytes after the end that the parser reads ahead into.
struct PaddedText {
    static constexpr size_t padding = 64;
    // A year of samples takes well under a megabyte a day; a file far larger than any real
    // day (a stray copy, a sparse file) is not history and is not read.
    static constexpr size_t maximumFileBytes = size_t(64) << 20;
    // Fewer bytes than the shortest record line ({"apps":{"notMeasured":0,"readings":[],
    // "time":"…"}} has 70) cannot decode.
    static constexpr size_t shortestRecordBytes = 16;
    std::string bytes;
    // The file `name` of an open folder, never through a symbolic link; no value when it
    // cannot be opened or is larger than maximumFileBytes, empty when it is not a regular
    // file.
    static std::optional<PaddedText> readFile(const OpenHistoryFolder& folder,
                                              const std::string& name);
    static PaddedText of(std::string_view text);
    // readFile into this text, reusing its memory; false when the file cannot be opened.
    bool load(const OpenHistoryFolder& folder, const std::string& name);
    // The most record lines the text can hold: its lines of at least shortestRecordBytes,
    // the unfinished last one included.
    size_t lineCountBound() const;
    // Keeps the first `length` bytes at most (the padding stays readable).
    void truncate(size_t length);
};

// One battery sample as the screens draw it: when, the charge and what powered the machine.
// Eight bytes: a year of five-minute samples is 840 kB.
struct ChargeSample {
    std::uint32_t seconds = 0; // since 1970, UTC, to the year 2106
    std::int16_t percent = 0;
    PowerSource source : 8 = PowerSource::unknown;

    Timestamp time() const;
    static ChargeSample of(const BatterySnapshot& snapshot); // a snapshot with a battery
    bool operator==(const ChargeSample&) const = default;
};

// What the screens need of the history, and no more: the battery samples, the thermal
// episodes and when the record starts. The application readings stay on disk (exports read
// them there).
struct CompactHistory {
    std::vector<ChargeSample> charge; // in time order
    std::vector<ThermalEpisode> episodes;
    std::optional<Timestamp> firstLine;
    bool complete = true; // every day file could be read
    bool operator==(const CompactHistory&) const = default;
};

// Strict decoder of history lines. Reuses its parser's memory between lines, so one
// decoder reading many files costs no allocation per line beyond the records themselves.
class HistoryDecoder {
public:
    HistoryDecoder();
    ~HistoryDecoder();
    HistoryDecoder(const HistoryDecoder&) = delete;
    HistoryDecoder& operator=(const HistoryDecoder&) = delete;

    std::variant<HistoryLine, HistoryDecodingError> line(std::string_view json);
    std::optional<DailyHealthPoint> healthPoint(std::string_view json);

    // Every line of a file that decodes, in file order; empty and undecodable pieces are
    // skipped.
    void appendLines(const PaddedText& file, std::vector<HistoryLine>& out);
    // The same lines written in order over `slots`, stopping when they are full; gives how
    // many were written.
    size_t decodeLines(const PaddedText& file, std::span<HistoryLine> slots);
    std::vector<DailyHealthPoint> healthPoints(const PaddedText& file);
    // The battery samples and episodes of a file, in file order, into `out`; with `times`,
    // the earliest time of any line too. Application lines, most of a day's bytes, are
    // recognised by their start and never parsed.
    void appendCompact(const PaddedText& file, CompactHistory& out, bool times);

    struct ExportDocument {
        Timestamp generatedAt;
        std::vector<DailyHealthPoint> dailyHealth;
        std::vector<HistoryLine> lines;
    };
    // A JSON history export read back; no value when it is not one.
    std::optional<ExportDocument> exportDocument(std::string_view json);

private:
    // Calls `use` with each line of the file that decodes, until it returns false.
    template <typename Use> void forEachDecodedLine(const PaddedText& file, Use use);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace PowerCore
