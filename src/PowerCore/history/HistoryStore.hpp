#pragma once

#include <PowerCore/foundation/Calendar.hpp>
#include <PowerCore/history/HistoryRecords.hpp>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>

namespace PowerCore {

// Why a history write failed, with the codes and descriptions of the platform's file
// errors.
class HistoryStoreError : public std::runtime_error {
public:
    enum class Code {
        fileWriteUnknown = 512,         // opening the file failed
        fileWriteInvalidFileName = 514, // the folder is not safe to write into
        fileWriteOutOfSpace = 640,      // fewer bytes were written than the line holds
        folderCreation = 1,             // the folder could not be made (errnoValue says why)
    };
    HistoryStoreError(Code what, int error);
    Code code;
    int errnoValue;
};

// The history folder: one JSON-lines file per local day plus the daily-health file. Every
// operation goes to the disk; nothing is cached. Never writes, reads or deletes through a
// symbolic link.
class HistoryStore {
public:
    HistoryStore(std::filesystem::path directory, Calendar calendar,
                 std::shared_ptr<const HistoryFileSystem> files);

    // $XDG_DATA_HOME/Quorvel Vuzur/History, or ~/.local/share/Quorvel Vuzur/History when
    // XDG_DATA_HOME is unset or not absolute.
    static std::filesystem::path liveDirectory(const char* xdgDataHome, const char* home);

    static constexpr std::string_view dailyHealthFile = "daily-health.jsonl";

    const std::filesystem::path& directory() const { return directory_; }
    // The zone days are named in; set from the main thread while a load reads on a worker.
    Calendar calendar() const;
    void setCalendar(Calendar calendar);

    std::string dayName(Timestamp time) const;
    // Start of the named local day; no value unless the whole name is "YYYY-MM-DD.jsonl"
    // naming a real date.
    std::optional<Timestamp> day(std::string_view fileName) const;

    // The folder is missing (made on the first write) or a real directory, not a link.
    bool folderIsSafe() const;

    // Throw HistoryStoreError, or JsonEncodingError for a record JSON cannot hold.
    void append(const HistoryLine& line) const;
    // False, and nothing written, when that day already has a point.
    bool appendDailyHealth(const DailyHealthPoint& point) const;

    std::vector<DailyHealthPoint> dailyHealth() const;
    // What the screens keep of the whole history, read on every core; the application lines
    // are skipped unread.
    CompactHistory readCompact() const;

    // Every line of the day files from the local day of `since` on (all when absent), in
    // time order. A day file that cannot be read is left out.
    std::vector<HistoryLine> lines(std::optional<Timestamp> since) const;

    // Every line in time order as `lines` gives them, but read a day file at a time, so that
    // a year is never held whole: `visit` gets each line, `progress` the share of the bytes
    // read so far (0 to 1) after each file, and answers whether to go on. False when it
    // stopped the reading. (A line more than a day from the day of its file, which only an
    // edit by hand makes, comes where its file is.)
    bool forEachLine(const std::function<void(const HistoryLine&)>& visit,
                     const std::function<bool(double)>& progress) const;
    // The same, each line first made text by `encode` on every core (so it must be safe to
    // call from several threads at once); `visit` gets the texts, in the lines' order.
    bool forEachEncodedLine(const std::function<void(const HistoryLine&, std::string&)>& encode,
                            const std::function<void(std::string_view)>& visit,
                            const std::function<bool(double)>& progress) const;

    // The lines of one day file, in file order; none when it cannot be read.
    std::optional<std::vector<HistoryLine>> dayLines(const std::string& name) const;

    struct DayFile {
        std::string name;
        Timestamp day;
        bool operator==(const DayFile&) const = default;
    };
    std::vector<DayFile> dayFiles() const;
    // The day files with their sizes, oldest first: what a reader compares to know which
    // days changed since it last read them.
    struct DayFileSize {
        std::string name;
        std::uint64_t bytes = 0;
        bool operator==(const DayFileSize&) const = default;
    };
    std::vector<DayFileSize> dayFileSizes() const;
    std::uint64_t sizeOnDisk() const;
    // Deletes the day files before the window of `days` local days ending today; gives
    // their names, sorted.
    std::vector<std::string> pruneDayFiles(int days, Timestamp now) const;

private:
    std::unique_ptr<OpenHistoryFolder> openFolder() const; // null when unsafe or missing
    template <typename Item, typename Make, typename Visit>
    bool inTimeOrder(const Make& make, const Visit& visit,
                     const std::function<bool(double)>& progress) const;
    void ensureFolder() const;
    void appendBytes(const std::string& fileName, const std::string& bytes) const;

    std::filesystem::path directory_;
    mutable std::mutex calendarMutex_;
    Calendar calendar_;
    std::shared_ptr<const HistoryFileSystem> files_;
};

} // namespace PowerCore
