#include <PowerCore/history/HistoryStore.hpp>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace PowerCore {

namespace {

namespace fs = std::filesystem;

constexpr size_t prefaultMinimumBytes = size_t(4) << 20;

std::string describe(HistoryStoreError::Code code, int error) {
    switch (code) {
    case HistoryStoreError::Code::fileWriteUnknown:
        return "The file couldn't be saved.";
    case HistoryStoreError::Code::fileWriteInvalidFileName:
        return "The file couldn't be saved because the file name is invalid.";
    case HistoryStoreError::Code::fileWriteOutOfSpace:
        return "The file couldn't be saved because there isn't enough space.";
    case HistoryStoreError::Code::folderCreation:
        return std::string("The history folder couldn't be created: ") + std::strerror(error);
    }
    return "The file couldn't be saved.";
}

// Runs work(begin, end) on `workers` threads, this one included, each with its share of
// [0, count).
template <typename Work> void onWorkers(size_t workers, size_t count, const Work& work) {
    const auto run = [&](size_t worker) {
        // An exception escaping a thread would end the process; the work catches what it
        // can recover from, this is the backstop.
        try {
            work(count * worker / workers, count * (worker + 1) / workers);
        } catch (...) {
            // What the slice read so far stays; the rest of it goes unread. The work catches
            // what it can tell (a file too large for memory) itself.
        }
    };
    std::vector<std::thread> threads;
    size_t w = 1;
    try {
        for (; w < workers; ++w)
            threads.emplace_back(run, w);
    } catch (const std::system_error&) {
        // No thread to be had (a process limit): this thread does the shares left.
        for (; w < workers; ++w)
            run(w);
    }
    run(0);
    for (auto& t : threads)
        t.join();
}

// A day file's part of a load: the bytes the first pass read, the most lines they can hold,
// where those go in the result and how many decoded.
struct FileSlots {
    size_t length = 0;
    size_t bound = 0;
    size_t offset = 0;
    size_t written = 0;
    bool failed = false;
};

// `count` empty lines to decode into. A year is tens of megabytes of lines: their pages are
// made present by every worker at once before the lines are constructed on this thread.
std::vector<HistoryLine> preparedLines(const HistoryFileSystem& files, size_t count,
                                       size_t workers) {
    std::vector<HistoryLine> lines;
    lines.reserve(count);
    auto* const storage = reinterpret_cast<char*>(lines.data());
    const size_t bytes = lines.capacity() * sizeof(HistoryLine);
    if (bytes >= prefaultMinimumBytes)
        onWorkers(workers, bytes, [&](size_t begin, size_t end) {
            files.prefaultForWriting(storage + begin, end - begin);
        });
    lines.resize(count);
    return lines;
}

// Closes the gaps left by lines that did not decode, keeping the order.
void closeGaps(std::vector<HistoryLine>& lines, const std::vector<FileSlots>& files) {
    size_t kept = 0;
    for (const auto& file : files) {
        for (size_t k = file.offset; k < file.offset + file.written; ++k, ++kept)
            if (kept != k) lines[kept] = std::move(lines[k]);
    }
    lines.erase(lines.begin() + std::ptrdiff_t(kept), lines.end());
}

bool twoDigits(std::string_view text, size_t at, int& out) {
    if (text[at] < '0' || text[at] > '9' || text[at + 1] < '0' || text[at + 1] > '9') return false;
    out = (text[at] - '0') * 10 + (text[at + 1] - '0');
    return true;
}

} // namespace

HistoryStoreError::HistoryStoreError(Code what, int error)
    : std::runtime_error(describe(what, error))
    , code(what)
    , errnoValue(error) {}

HistoryStore::HistoryStore(std::filesystem::path directory, Calendar calendar,
                           std::shared_ptr<const HistoryFileSystem> files)
    : directory_(std::move(directory))
    , calendar_(std::move(calendar))
    , files_(std::move(files)) {}

fs::path HistoryStore::liveDirectory(const char* xdgDataHome, const char* home) {
    fs::path data;
    if (xdgDataHome != nullptr && fs::path(xdgDataHome).is_absolute())
        data = xdgDataHome;
    else
        data = fs::path(home != nullptr ? home : "/") / ".local" / "share";
    return data / "Quorvel Vuzur" / "History";
}

Calendar HistoryStore::calendar() const {
    const std::lock_guard lock(calendarMutex_);
    return calendar_;
}

void HistoryStore::setCalendar(Calendar calendar) {
    const std::lock_guard lock(calendarMutex_);
    calendar_ = calendar;
}

std::string HistoryStore::dayName(Timestamp time) const {
    return calendar().dayName(time);
}

std::optional<Timestamp> HistoryStore::day(std::string_view name) const {
    // YYYY-MM-DD.jsonl, nothing before or after.
    if (name.size() != 16 || name.substr(10) != ".jsonl" || name[4] != '-' || name[7] != '-')
        return std::nullopt;
    int century = 0, year = 0, month = 0, dayOfMonth = 0;
    if (!twoDigits(name, 0, century) || !twoDigits(name, 2, year) || !twoDigits(name, 5, month) ||
        !twoDigits(name, 8, dayOfMonth))
        return std::nullopt;
    return calendar().startOfDay(century * 100 + year, month, dayOfMonth);
}

bool HistoryStore::folderIsSafe() const {
    return files_->folderIsSafe(directory_);
}

std::unique_ptr<OpenHistoryFolder> HistoryStore::openFolder() const {
    return files_->open(directory_);
}

void HistoryStore::ensureFolder() const {
    if (!folderIsSafe())
        throw HistoryStoreError(HistoryStoreError::Code::fileWriteInvalidFileName, 0);
    if (const int error = files_->makeFolders(directory_); error != 0)
        throw HistoryStoreError(HistoryStoreError::Code::folderCreation, error);
    if (!folderIsSafe())
        throw HistoryStoreError(HistoryStoreError::Code::fileWriteInvalidFileName, 0);
}

void HistoryStore::appendBytes(const std::string& fileName, const std::string& bytes) const {
    ensureFolder();
    const auto folder = openFolder();
    if (!folder) throw HistoryStoreError(HistoryStoreError::Code::fileWriteInvalidFileName, 0);
    const auto failure = folder->append(fileName, bytes);
    if (!failure) return;
    throw HistoryStoreError(failure->stage == OpenHistoryFolder::AppendFailure::Stage::open
                                ? HistoryStoreError::Code::fileWriteUnknown
                                : HistoryStoreError::Code::fileWriteOutOfSpace,
                            failure->error);
}

void HistoryStore::append(const HistoryLine& line) const {
    const std::string bytes = encodeLine(line); // an encoding error leaves the disk alone
    appendBytes(dayName(line.time()) + ".jsonl", bytes);
}

namespace {

// The points of the health file, none when it is there but cannot be read (past the size a
// history file may have).
std::optional<std::vector<DailyHealthPoint>> healthPoints(const OpenHistoryFolder& folder) {
    const std::string name(HistoryStore::dailyHealthFile);
    const auto text = PaddedText::readFile(folder, name);
    if (!text) {
        if (folder.size(name)) return std::nullopt;
        return std::vector<DailyHealthPoint>{};
    }
    HistoryDecoder decoder;
    auto points = decoder.healthPoints(*text);
    std::stable_sort(points.begin(), points.end(),
                     [](const auto& a, const auto& b) { return a.day < b.day; });
    return points;
}

} // namespace

bool HistoryStore::appendDailyHealth(const DailyHealthPoint& point) const {
    const std::string bytes = encodeLine(point);
    const auto folder = openFolder();
    // A file that cannot be read may hold today's point already: nothing is added to it,
    // rather than a point at every sample.
    const auto found = folder ? healthPoints(*folder) : std::vector<DailyHealthPoint>{};
    if (!found) return false;
    const auto& existing = *found;
    if (std::any_of(existing.begin(), existing.end(),
                    [&](const DailyHealthPoint& p) { return p.day == point.day; }))
        return false;
    appendBytes(std::string(dailyHealthFile), bytes);
    return true;
}

std::vector<DailyHealthPoint> HistoryStore::dailyHealth() const {
    const auto folder = openFolder();
    if (!folder) return {};
    return healthPoints(*folder).value_or(std::vector<DailyHealthPoint>{});
}

CompactHistory HistoryStore::readCompact() const {
    CompactHistory history;
    const auto folder = openFolder();
    history.complete = folder || !std::filesystem::exists(directory_);
    if (!folder) return history;
    std::vector<std::string> names;
    for (auto& name : folder->entryNames())
        if (day(name)) names.push_back(std::move(name));
    std::sort(names.begin(), names.end()); // "YYYY-MM-DD" sorts as the days do
    // Each file into a part of its own, on every core, then the parts in day order.
    std::vector<CompactHistory> parts(names.size());
    const size_t workers = std::min<size_t>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u),
                                            std::max<size_t>(names.size() / 8, 1));
    onWorkers(workers, names.size(), [&](size_t begin, size_t end) {
        HistoryDecoder decoder;
        PaddedText text;
        for (size_t i = begin; i < end; ++i) {
            try {
                if (!text.load(*folder, names[i])) {
                    parts[i].complete = false;
                    continue;
                }
                // The first day's lines of every kind tell when the record starts.
                decoder.appendCompact(text, parts[i], i == 0);
            } catch (const std::bad_alloc&) {
                text = PaddedText();
                parts[i] = CompactHistory{};
                parts[i].complete = false;
            }
        }
    });
    size_t samples = 0;
    for (const auto& part : parts)
        samples += part.charge.size();
    history.charge.reserve(samples);
    for (auto& part : parts) {
        history.complete = history.complete && part.complete;
        history.charge.insert(history.charge.end(), part.charge.begin(), part.charge.end());
        history.episodes.insert(history.episodes.end(), part.episodes.begin(), part.episodes.end());
        if (!history.firstLine) history.firstLine = part.firstLine;
    }
    // Day files come in day order and lines in the order they happened: nearly always sorted.
    const auto byTime = [](const auto& a, const auto& b) { return a.time() < b.time(); };
    if (!std::is_sorted(history.charge.begin(), history.charge.end(), byTime))
        std::stable_sort(history.charge.begin(), history.charge.end(), byTime);
    const auto byStart = [](const ThermalEpisode& a, const ThermalEpisode& b) {
        return a.start < b.start;
    };
    if (!std::is_sorted(history.episodes.begin(), history.episodes.end(), byStart))
        std::stable_sort(history.episodes.begin(), history.episodes.end(), byStart);
    if (!history.charge.empty() &&
        (!history.firstLine || history.charge.front().time() < *history.firstLine))
        history.firstLine = history.charge.front().time();
#ifdef __GLIBC__
    // The files and the parsers' buffers were freed on the workers, whose heaps would keep
    // them as resident memory for as long as the program runs.
    parts.clear();
    parts.shrink_to_fit();
    malloc_trim(0);
#endif
    return history;
}

std::vector<HistoryLine> HistoryStore::lines(std::optional<Timestamp> since) const {
    std::vector<HistoryLine> all;
    const auto folder = openFolder();
    if (!folder) return all;
    const auto first = since ? std::optional(calendar().startOfDay(*since)) : std::nullopt;
    std::vector<std::string> selected;
    for (auto& name : folder->entryNames()) {
        const auto fileDay = day(name);
        if (fileDay && (!first || *fileDay >= *first)) selected.push_back(std::move(name));
    }
    // Ties between files go in day order, as forEachLine gives them.
    std::sort(selected.begin(), selected.end());
    // The whole history is loaded at start-up, so the files are decoded on every core, and
    // in two passes: the first counts the lines of each file, so that the second decodes
    // every line straight into its place in the result. Moving a year's tens of megabytes
    // of lines into place afterwards would cost as much as decoding them.
    const size_t workers = std::min<size_t>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u),
                                            std::max<size_t>(selected.size() / 8, 1));
    std::vector<FileSlots> files(selected.size());
    onWorkers(workers, files.size(), [&](size_t begin, size_t end) {
        PaddedText text;
        for (size_t i = begin; i < end; ++i) {
            try {
                if (!text.load(*folder, selected[i])) {
                    files[i].failed = true;
                    continue;
                }
                files[i].length = text.bytes.size();
                files[i].bound = text.lineCountBound();
            } catch (const std::bad_alloc&) {
                text = PaddedText(); // this file is skipped; the others still load
                files[i].failed = true;
            }
        }
    });
    size_t total = 0;
    for (auto& file : files) {
        file.offset = total;
        total += file.bound;
    }
    try {
        all = preparedLines(*files_, total, workers);
    } catch (const std::bad_alloc&) {
        return all; // reading never fails: no history rather than no program
    }
    onWorkers(workers, files.size(), [&](size_t begin, size_t end) {
        HistoryDecoder decoder;
        PaddedText text;
        for (size_t i = begin; i < end; ++i) {
            auto& file = files[i];
            try {
                if (file.bound == 0) continue;
                if (!text.load(*folder, selected[i])) {
                    file.failed = true;
                    continue;
                }
                // A file that grew since the first pass (today's, as samples arrive) is read
                // to the length that pass saw.
                text.truncate(file.length);
                file.written =
                    decoder.decodeLines(text, std::span(all).subspan(file.offset, file.bound));
            } catch (const std::bad_alloc&) {
                text = PaddedText(); // this file's lines are lost; the others still load
                file.written = 0;
                file.failed = true;
            }
        }
    });
    closeGaps(all, files);
    const auto byTime = [](const HistoryLine& a, const HistoryLine& b) {
        return a.time() < b.time();
    };
    // Day files come in day order and lines are appended as they happen, so the sort is
    // nearly always already done.
    if (!std::is_sorted(all.begin(), all.end(), byTime))
        std::stable_sort(all.begin(), all.end(), byTime);
    return all;
}

namespace {

// One line of an export made ready on a worker: its time and its text.
struct EncodedLine {
    Timestamp at;
    std::string text;
    Timestamp time() const { return at; }
};

} // namespace

// Reads the day files in day order, `workers` files at once, each into items (`make`
// appends a file's, in file order), and hands the items to `visit` in time order, ties in
// day and then file order, as a whole read sorts them. A line is filed under its local day
// where it was written: whatever the zone then (UTC-12 to UTC+14), it is at most 26 hours
// before the start of that day here. So once a file is read, the items before the next
// file's day less 26 hours are all known, and in order; only a day or two is ever held.
template <typename Item, typename Make, typename Visit>
bool HistoryStore::inTimeOrder(const Make& make, const Visit& visit,
                               const std::function<bool(double)>& progress) const {
    const auto folder = openFolder();
    const auto files = folder ? dayFileSizes() : std::vector<DayFileSize>{};
    std::uint64_t total = 0, done = 0;
    for (const auto& file : files)
        total += file.bytes;
    const auto byTime = [](const Item& a, const Item& b) { return a.time() < b.time(); };
    constexpr auto widestZones = std::chrono::hours(26);
    const size_t workers = std::min<size_t>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u),
                                            std::max<size_t>(files.size(), 1));
    // Workers read the files ahead of this thread, at most a few files ahead, each into its
    // slot; this thread merges the slots in day order as they are ready.
    struct Slot {
        std::vector<Item> items;
        bool ready = false;
    };
    std::vector<Slot> slots(files.size());
    std::mutex mutex;
    std::condition_variable changed;
    size_t claimed = 0, taken = 0;
    bool stopping = false;
    std::exception_ptr failure; // what `make` threw (a line it cannot encode)
    const size_t ahead = workers * 3;
    const auto readFile = [&](size_t index, HistoryDecoder& decoder, PaddedText& text) {
        std::vector<Item> items;
        try {
            if (text.load(*folder, files[index].name)) make(decoder, text, items);
        } catch (const std::bad_alloc&) {
            text = PaddedText(); // this file is left out, as a whole read leaves it out
            items.clear();
        }
        if (!std::is_sorted(items.begin(), items.end(), byTime))
            std::stable_sort(items.begin(), items.end(), byTime);
        return items;
    };
    const auto work = [&] {
        HistoryDecoder decoder;
        PaddedText text;
        std::unique_lock lock(mutex);
        while (true) {
            changed.wait(lock, [&] {
                return stopping || claimed >= files.size() || claimed < taken + ahead;
            });
            if (stopping || claimed >= files.size()) return;
            const size_t index = claimed++;
            lock.unlock();
            std::vector<Item> items;
            std::exception_ptr thrown;
            try {
                items = readFile(index, decoder, text);
            } catch (...) {
                thrown = std::current_exception();
            }
            lock.lock();
            if (thrown && !failure) failure = thrown;
            slots[index].items = std::move(items);
            slots[index].ready = true;
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads;
    try {
        for (size_t w = 0; w < workers && w < files.size(); ++w)
            threads.emplace_back(work);
    } catch (const std::system_error&) {
        // No thread to be had (a process limit): this thread reads what no worker took.
    }
    struct Join {
        std::vector<std::thread>& threads;
        std::mutex& mutex;
        std::condition_variable& changed;
        bool& stopping;
        ~Join() {
            {
                const std::lock_guard lock(mutex);
                stopping = true;
            }
            changed.notify_all();
            for (auto& thread : threads)
                thread.join();
        }
    } join{threads, mutex, changed, stopping};
    HistoryDecoder decoder;
    PaddedText text;
    std::vector<Item> pending;
    for (size_t index = 0; index < files.size(); ++index) {
        std::vector<Item> items;
        {
            std::unique_lock lock(mutex);
            if (threads.empty() && claimed == index) {
                ++claimed;
                lock.unlock();
                items = readFile(index, decoder, text);
                lock.lock();
            } else {
                changed.wait(lock, [&] { return slots[index].ready || failure; });
                if (failure) std::rethrow_exception(failure);
                items = std::move(slots[index].items);
            }
            taken = index + 1;
        }
        changed.notify_all();
        const size_t known = pending.size();
        pending.insert(pending.end(), std::make_move_iterator(items.begin()),
                       std::make_move_iterator(items.end()));
        std::inplace_merge(pending.begin(), pending.begin() + std::ptrdiff_t(known), pending.end(),
                           byTime);
        auto ready = pending.end();
        if (index + 1 < files.size())
            if (const auto nextDay = day(files[index + 1].name)) {
                const auto bound = *nextDay - widestZones;
                ready = std::partition_point(pending.begin(), pending.end(),
                                             [&](const Item& item) { return item.time() < bound; });
            }
        for (auto item = pending.begin(); item != ready; ++item)
            visit(*item);
        pending.erase(pending.begin(), ready);
        done += files[index].bytes;
        if (!progress(total == 0 ? 1.0 : double(done) / double(total))) return false;
    }
    return files.empty() ? progress(1.0) : true;
}

bool HistoryStore::forEachLine(const std::function<void(const HistoryLine&)>& visit,
                               const std::function<bool(double)>& progress) const {
    return inTimeOrder<HistoryLine>(
        [](HistoryDecoder& decoder, const PaddedText& text, std::vector<HistoryLine>& lines) {
            decoder.appendLines(text, lines);
        },
        visit, progress);
}

bool HistoryStore::forEachEncodedLine(
    const std::function<void(const HistoryLine&, std::string&)>& encode,
    const std::function<void(std::string_view)>& visit,
    const std::function<bool(double)>& progress) const {
    return inTimeOrder<EncodedLine>(
        [&](HistoryDecoder& decoder, const PaddedText& text, std::vector<EncodedLine>& lines) {
            std::vector<HistoryLine> decoded;
            decoder.appendLines(text, decoded);
            lines.reserve(decoded.size());
            for (const auto& line : decoded) {
                EncodedLine encoded{line.time(), {}};
                encode(line, encoded.text);
                lines.push_back(std::move(encoded));
            }
        },
        [&](const EncodedLine& line) { visit(line.text); }, progress);
}

std::optional<std::vector<HistoryLine>> HistoryStore::dayLines(const std::string& name) const {
    const auto folder = openFolder();
    PaddedText text;
    if (!folder || !day(name) || !text.load(*folder, name)) return std::nullopt;
    std::vector<HistoryLine> lines;
    HistoryDecoder().appendLines(text, lines);
    return lines;
}

std::vector<HistoryStore::DayFile> HistoryStore::dayFiles() const {
    const auto folder = openFolder();
    if (!folder) return {};
    std::vector<DayFile> files;
    for (auto& name : folder->entryNames())
        if (const auto fileDay = day(name)) files.push_back({std::move(name), *fileDay});
    std::stable_sort(files.begin(), files.end(),
                     [](const DayFile& a, const DayFile& b) { return a.day < b.day; });
    return files;
}

std::vector<HistoryStore::DayFileSize> HistoryStore::dayFileSizes() const {
    const auto folder = openFolder();
    if (!folder) return {};
    std::vector<std::string> names;
    for (auto& name : folder->entryNames())
        if (day(name)) names.push_back(std::move(name));
    std::sort(names.begin(), names.end()); // "YYYY-MM-DD" sorts as the days do
    std::vector<DayFileSize> files;
    for (auto& name : names) {
        const auto bytes = folder->size(name).value_or(0);
        files.push_back({std::move(name), bytes});
    }
    return files;
}

std::uint64_t HistoryStore::sizeOnDisk() const {
    const auto folder = openFolder();
    if (!folder) return 0;
    std::uint64_t total = 0;
    for (const auto& name : folder->entryNames())
        total += folder->size(name).value_or(0);
    return total;
}

std::vector<std::string> HistoryStore::pruneDayFiles(int days, Timestamp now) const {
    const auto folder = openFolder();
    if (!folder) return {};
    // The window keeps `days` local days: today and the days - 1 before it. The cut-off is a
    // date: in a zone that skips midnight on some day, that day starts at 01:00, and a cut-off
    // taken as an instant would cut into the day it should keep.
    const auto firstKept = calendar().dayName(now, -(std::max(days, 1) - 1));
    std::vector<std::string> deleted;
    for (const auto& name : folder->entryNames()) {
        if (!day(name) || name.substr(0, firstKept.size()) >= firstKept) continue;
        // Only regular files directly in this folder (the open folder pins it) go.
        if (folder->removeRegularFile(name)) deleted.push_back(name);
    }
    std::sort(deleted.begin(), deleted.end());
    return deleted;
}

} // namespace PowerCore
