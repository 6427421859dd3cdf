// The history store on real folders in a temporary directory.
#include "TestSupport.hpp"

#include <PowerCore/history/HistoryStore.hpp>
#include <PowerCore/history/Retention.hpp>
#include <PowerCore/linux/PosixHistoryFileSystem.hpp>
#include <cmath>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using namespace PowerCore;
namespace fs = std::filesystem;

using VuzurTests::at;

std::shared_ptr<const HistoryFileSystem> posixFolder() {
    return std::make_shared<PosixHistoryFileSystem>();
}

HistoryLine sample(const char* iso, int charge = 50) {
    BatterySnapshot::Battery b;
    b.chargePercent = charge;
    b.state = ChargeState::charging;
    return {BatterySnapshot{at(iso), PowerSource::ac, b}};
}

// Noon UTC of a March 2026 day: 21:00 the same day in Tokyo.
std::string marchNoon(int day) {
    return "2026-03-" + std::string(day < 10 ? "0" : "") + std::to_string(day) + "T12:00:00Z";
}

unsigned modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

struct HistoryStoreTest : testing::Test {
    VuzurTests::TemporaryFolder temp;
    fs::path folder = temp.path() / "Quorvel Vuzur" / "History";
    Calendar tokyo = *Calendar::named("Asia/Tokyo");
    HistoryStore store{folder, tokyo, posixFolder()};
};

TEST(HistoryStoreLive, FolderFollowsXdgDataHome) {
    EXPECT_EQ(HistoryStore::liveDirectory("/data", "/home/ada"), "/data/Quorvel Vuzur/History");
    EXPECT_EQ(HistoryStore::liveDirectory(nullptr, "/home/ada"),
              "/home/ada/.local/share/Quorvel Vuzur/History");
    // A relative XDG_DATA_HOME is invalid by the XDG rules and ignored.
    EXPECT_EQ(HistoryStore::liveDirectory("data", "/home/ada"),
              "/home/ada/.local/share/Quorvel Vuzur/History");
}

TEST_F(HistoryStoreTest, FirstWriteMakesThePrivateFolderAndFile) {
    EXPECT_FALSE(fs::exists(folder));
    store.append(sample("2026-03-14T01:00:00Z"));
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(folder.parent_path()), 0700u);
    EXPECT_EQ(modeOf(folder / "2026-03-14.jsonl"), 0600u);
}

TEST_F(HistoryStoreTest, LocalDayOfASampleEastOfUtc) {
    // 00:30 in Tokyo on 14 March 2025 is 15:30 UTC on the 13th.
    store.append(sample("2025-03-13T15:30:00Z"));
    EXPECT_TRUE(fs::exists(folder / "2025-03-14.jsonl"));
    EXPECT_EQ(store.dayFiles().at(0).day, at("2025-03-13T15:00:00Z"));
}

TEST_F(HistoryStoreTest, LinesComeBackInTimeOrderAcrossFiles) {
    store.append(sample("2026-03-14T05:00:00Z", 3));
    store.append(sample("2026-03-14T04:00:00Z", 2)); // appended out of order
    store.append(sample("2026-03-12T04:00:00Z", 1));
    const auto lines = store.lines(std::nullopt);
    ASSERT_EQ(lines.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(std::get<BatterySnapshot>(lines[i].record).battery->chargePercent, int(i) + 1);
}

TEST_F(HistoryStoreTest, ManyFilesWithBadLinesReadBackWholeAndInOrder) {
    // Enough files to be read by several workers; every file holds lines that must be
    // skipped (garbage, two keys, fractional seconds, blank), and some lack the final line
    // feed, so the good lines have to be gathered from gaps in every part of the result.
    const auto good = [](int day, int hour) {
        const auto iso = "2026-01-" + std::string(day < 10 ? "0" : "") + std::to_string(day) +
                         "T0" + std::to_string(hour) + ":00:00Z";
        return encodeLine(sample(iso.c_str(), day * 10 + hour));
    };
    const std::string twoKeys = R"({"apps":{},"battery":{}})"
                                "\n";
    const std::string fractional =
        R"({"battery":{"_0":{"source":"AC Vuzur","time":"2026-01-01T00:00:00.5Z"}}})"
        "\n";
    int expected = 0;
    for (int day = 1; day <= 31; ++day) {
        std::string text;
        if (day % 3 == 0) text += "garbage\n";
        for (int hour = 1; hour <= 3; ++hour) {
            text += good(day, hour);
            ++expected;
            if (hour == 1 && day % 2 == 0) text += twoKeys + "\n";
            if (hour == 2 && day % 5 == 0) text += fractional;
        }
        if (day % 4 == 0) text.pop_back(); // no final line feed
        const auto name = "2026-01-" + std::string(day < 10 ? "0" : "") + std::to_string(day);
        fs::create_directories(folder);
        temp.write("Quorvel Vuzur/History/" + name + ".jsonl", text);
    }
    const auto lines = store.lines(std::nullopt);
    ASSERT_EQ(lines.size(), size_t(expected));
    size_t i = 0;
    for (int day = 1; day <= 31; ++day)
        for (int hour = 1; hour <= 3; ++hour, ++i)
            EXPECT_EQ(std::get<BatterySnapshot>(lines[i].record).battery->chargePercent,
                      day * 10 + hour)
                << "line " << i;
}

TEST_F(HistoryStoreTest, ALoadOfManyMegabytesReadsBackEqual) {
    // Megabytes of lines take the path that prepares the result's memory on every worker.
    std::vector<HistoryLine> written;
    fs::create_directories(folder);
    for (int day = 1; day <= 24; ++day) {
        std::string text;
        const auto dayStart = at("2026-01-01T00:00:00Z") + std::chrono::hours(24 * (day - 1));
        for (int i = 0; i < 1000; ++i) {
            const auto time = dayStart + std::chrono::seconds(60 * i);
            HistoryLine line{AppsLine{time, {{"App " + std::to_string(i % 3), 1.5, 2, i}}, i}};
            if (i % 2 == 0) {
                BatterySnapshot::Battery b;
                b.chargePercent = i % 101;
                line = {BatterySnapshot{time, PowerSource::battery, b}};
            }
            text += encodeLine(line);
            written.push_back(std::move(line));
        }
        temp.write("Quorvel Vuzur/History/" + store.dayName(dayStart) + ".jsonl", text);
    }
    const auto lines = store.lines(std::nullopt);
    ASSERT_EQ(lines.size(), written.size());
    EXPECT_TRUE(lines == written);
}

TEST_F(HistoryStoreTest, SinceTakesWholeDays) {
    store.append(sample("2026-03-13T00:00:00Z", 1)); // 09:00 Tokyo, 13 March
    store.append(sample("2026-03-14T00:00:00Z", 2)); // 09:00 Tokyo, 14 March
    // 15:00 Tokyo on the 14th: that day's 09:00 line still comes back.
    const auto lines = store.lines(at("2026-03-14T06:00:00Z"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(std::get<BatterySnapshot>(lines[0].record).battery->chargePercent, 2);
}

TEST_F(HistoryStoreTest, OneHealthPointPerDayFirstWins) {
    EXPECT_TRUE(store.appendDailyHealth({"2026-03-14", 4800, 5000, 10, std::nullopt}));
    EXPECT_FALSE(store.appendDailyHealth({"2026-03-14", 4700, 5000, 11, std::nullopt}));
    EXPECT_TRUE(store.appendDailyHealth({"2026-03-13", 4810, 5000, 9, std::nullopt}));
    const auto points = store.dailyHealth();
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].day, "2026-03-13");
    EXPECT_EQ(points[1].fullChargeCapacitymAh, 4800);
    // The health file is no day file.
    EXPECT_TRUE(store.dayFiles().empty());
    EXPECT_GT(store.sizeOnDisk(), 0u);

    // Grown past what a history file may hold: it cannot be read, so it may hold today's
    // point already, and nothing more is added to it.
    fs::resize_file(folder / "daily-health.jsonl", (std::uintmax_t(64) << 20) + 1);
    const auto size = fs::file_size(folder / "daily-health.jsonl");
    EXPECT_FALSE(store.appendDailyHealth({"2026-03-15", 4790, 5000, 12, std::nullopt}));
    EXPECT_FALSE(store.appendDailyHealth({"2026-03-15", 4790, 5000, 12, std::nullopt}));
    EXPECT_EQ(fs::file_size(folder / "daily-health.jsonl"), size);
}

TEST_F(HistoryStoreTest, FolderThatIsALinkIsNeverUsed) {
    const auto real = temp.path() / "elsewhere";
    fs::create_directories(real);
    fs::create_directories(folder.parent_path());
    fs::create_symlink(real, folder);
    HistoryStore(real, tokyo, posixFolder()).append(sample("2026-03-14T01:00:00Z"));
    EXPECT_FALSE(store.folderIsSafe());
    try {
        store.append(sample("2026-03-14T02:00:00Z"));
        ADD_FAILURE() << "wrote through a link";
    } catch (const HistoryStoreError& error) {
        EXPECT_EQ(error.code, HistoryStoreError::Code::fileWriteInvalidFileName);
    }
    EXPECT_TRUE(store.lines(std::nullopt).empty());
    EXPECT_TRUE(store.dayFiles().empty());
    EXPECT_EQ(store.sizeOnDisk(), 0u);
    EXPECT_TRUE(store.pruneDayFiles(1, at("2030-01-01T00:00:00Z")).empty());
    EXPECT_TRUE(fs::exists(real / "2026-03-14.jsonl"));
    EXPECT_EQ(HistoryStore(real, tokyo, posixFolder()).lines(std::nullopt).size(), 1u);
}

TEST_F(HistoryStoreTest, FileInPlaceOfTheFolderIsUnsafe) {
    fs::create_directories(folder.parent_path());
    temp.write("Quorvel Vuzur/History", "not a folder");
    EXPECT_FALSE(store.folderIsSafe());
    EXPECT_THROW(store.append(sample("2026-03-14T02:00:00Z")), HistoryStoreError);
}

TEST_F(HistoryStoreTest, DayFileThatIsALinkIsNeitherWrittenNorDeleted) {
    store.append(sample("2026-03-01T01:00:00Z"));
    const auto target = temp.path() / "target.jsonl";
    temp.write("target.jsonl", "");
    fs::create_symlink(target, folder / "2026-03-02.jsonl");
    try {
        store.append(sample("2026-03-02T01:00:00Z"));
        ADD_FAILURE() << "appended through a link";
    } catch (const HistoryStoreError& error) {
        EXPECT_EQ(error.code, HistoryStoreError::Code::fileWriteUnknown);
    }
    EXPECT_EQ(fs::file_size(target), 0u);
    EXPECT_EQ(store.pruneDayFiles(7, at("2026-03-14T03:00:00Z")),
              std::vector<std::string>{"2026-03-01.jsonl"});
    EXPECT_TRUE(fs::is_symlink(folder / "2026-03-02.jsonl"));
}

TEST_F(HistoryStoreTest, PruningKeepsSevenLocalDaysAndAgreesWithRetention) {
    // One file for each day from 1 to 14 March, plus the health file and a stranger.
    for (int day = 1; day <= 14; ++day) {
        const auto iso = marchNoon(day);
        store.append(sample(iso.c_str()));
    }
    store.appendDailyHealth({"2026-03-01", 1, 2, 3, 4});
    temp.write("Quorvel Vuzur/History/notes.txt", "mine");
    temp.write("Quorvel Vuzur/History/2026-03-01.jsonl.bak", "old");
    const auto now = at("2026-03-14T03:00:00Z"); // noon in Tokyo
    const auto listed = Retention::filesOlderThanWindow(store, now, tokyo);
    const auto deleted = Retention::deleteOlderThanWindow(store, now);
    EXPECT_EQ(listed, deleted);
    ASSERT_EQ(deleted.size(), 7u);
    EXPECT_EQ(deleted.front(), "2026-03-01.jsonl");
    EXPECT_EQ(deleted.back(), "2026-03-07.jsonl");
    const auto left = store.dayFiles();
    ASSERT_EQ(left.size(), 7u);
    EXPECT_EQ(left.front().name, "2026-03-08.jsonl");
    EXPECT_TRUE(fs::exists(folder / "daily-health.jsonl"));
    EXPECT_TRUE(fs::exists(folder / "notes.txt"));
    EXPECT_TRUE(fs::exists(folder / "2026-03-01.jsonl.bak"));
}

TEST_F(HistoryStoreTest, OnlyExactDayNamesAreDayFiles) {
    EXPECT_TRUE(store.day("2026-03-14.jsonl"));
    for (const char* name :
         {"2026-03-14.jsonl.tmp", "x2026-03-14.jsonl", "2026-3-14.jsonl", "daily-health.jsonl",
          "2026-02-30.jsonl", "2026-13-01.jsonl", "2026-03-14.json", "+026-03-14.jsonl"})
        EXPECT_FALSE(store.day(name)) << name;
}

TEST_F(HistoryStoreTest, UnencodableLineLeavesTheDiskUntouched) {
    HistoryLine bad{AppsLine{at("2026-03-14T01:00:00Z"), {{"x", std::nan(""), 0, {}}}, 0}};
    EXPECT_THROW(store.append(bad), JsonEncodingError);
    EXPECT_FALSE(fs::exists(folder));
}

// In these zones the clocks skip from 23:59:59 to 01:00 on the given day. On that day the
// window of seven days still keeps the six days before it, and the confirmation list names
// exactly what goes.
TEST_F(HistoryStoreTest, PruningOnADayWhoseMidnightIsSkipped) {
    struct Case {
        const char* zone;
        int year, month, day;
    };
    for (const auto& c : {Case{"America/Santiago", 2024, 9, 8}, Case{"Africa/Cairo", 2025, 4, 25},
                          Case{"Asia/Beirut", 2025, 3, 30}, Case{"America/Havana", 2025, 3, 9}}) {
        SCOPED_TRACE(c.zone);
        const auto calendar = *Calendar::named(c.zone);
        const auto folderHere = temp.path() / c.zone;
        const HistoryStore here(folderHere, calendar, posixFolder());
        const auto noon = *calendar.startOfDay(c.year, c.month, c.day) + std::chrono::hours(11);
        for (int back = 0; back <= 7; ++back)
            here.append(sample(formatISO8601(calendar.addingDays(-back, noon)).c_str()));
        const auto expected = std::vector<std::string>{calendar.dayName(noon, -7) + ".jsonl"};
        EXPECT_EQ(Retention::filesOlderThanWindow(here, noon, calendar), expected);
        EXPECT_EQ(here.pruneDayFiles(Retention::windowDays, noon), expected);
        EXPECT_EQ(here.dayFiles().size(), 7u);
    }
}

// A full disk (here a file size limit) cuts a line short: the file is left as it was, and
// the next line is whole. A line already cut (a crash mid-write) is ended before the next.
TEST_F(HistoryStoreTest, AFailedWriteLosesNoOtherLine) {
    store.append(sample("2026-03-14T01:00:00Z"));
    const auto file = folder / "2026-03-14.jsonl";
    const auto whole = fs::file_size(file);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = whole + 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    EXPECT_THROW(store.append(sample("2026-03-14T02:00:00Z")), HistoryStoreError);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(fs::file_size(file), whole);
    store.append(sample("2026-03-14T03:00:00Z"));
    temp.write("Quorvel Vuzur/History/2026-03-15.jsonl", "{\"battery\":{\"_0\":{\"ti");
    store.append(sample("2026-03-15T03:00:00Z"));
    const auto lines = store.lines(std::nullopt);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].time(), at("2026-03-14T03:00:00Z"));
    EXPECT_EQ(lines[2].time(), at("2026-03-15T03:00:00Z"));
}

long peakResidentKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Files that are no history cost neither memory nor a start-up: blank lines take no room,
// a file far larger than any day (a sparse terabyte) is skipped, a FIFO does not block.
TEST_F(HistoryStoreTest, OddFilesLoadCheaplyAndNeverBlock) {
    store.append(sample("2026-03-10T01:00:00Z"));
    temp.write("Quorvel Vuzur/History/2026-03-11.jsonl", std::string(size_t(16) << 20, '\n'));
    { std::ofstream sparse(folder / "2026-03-12.jsonl"); }
    fs::resize_file(folder / "2026-03-12.jsonl", std::uintmax_t(1) << 40);
    ASSERT_EQ(::mkfifo((folder / "2026-03-13.jsonl").c_str(), 0600), 0);
    store.append(sample("2026-03-14T01:00:00Z"));
    const long before = peakResidentKilobytes();
    const auto lines = store.lines(std::nullopt);
    const long grown = peakResidentKilobytes() - before;
    EXPECT_EQ(lines.size(), 2u);
    // The 16 MiB file is read once per pass; a slot per line feed would take gigabytes.
    EXPECT_LT(grown, 200 * 1024) << grown << " KiB";
    EXPECT_THROW(store.append(sample("2026-03-13T01:00:00Z")), HistoryStoreError);
    EXPECT_EQ(store.pruneDayFiles(1, at("2026-03-14T03:00:00Z")).size(), 3u); // not the FIFO
}

} // namespace

TEST_F(HistoryStoreTest, TheCompactFormKeepsWhatEveryLineShows) {
    // A month, for every worker: lines out of order, one filed under the next day, garbage,
    // snapshots without a battery, episodes, and the earliest line an apps line written by
    // hand in another shape.
    fs::create_directories(folder);
    std::map<std::string, std::string> files;
    const auto start = at("2026-01-01T00:00:00Z");
    for (int day = 0; day < 30; ++day) {
        const auto dayStart = start + std::chrono::hours(24 * day);
        auto& text = files[store.dayName(dayStart)];
        for (int slot = 11; slot >= 0; --slot) {
            const auto time = dayStart + std::chrono::hours(2 * slot);
            BatterySnapshot::Battery b;
            b.chargePercent = (day * 7 + slot) % 101;
            text += encodeLine(
                {BatterySnapshot{time, slot % 3 ? PowerSource::battery : PowerSource::ac, b}});
            text += encodeLine({AppsLine{time, {{"App", 1.5, 2, 100}}, slot}});
        }
        if (day % 7 == 0)
            text += encodeLine({BatterySnapshot{dayStart, PowerSource::ac, std::nullopt}});
        if (day % 4 == 0) text += "garbage\n";
        if (day % 5 == 0)
            text += encodeLine({ThermalEpisode{dayStart + std::chrono::hours(15),
                                               dayStart + std::chrono::hours(16),
                                               ThermalLevel::fair,
                                               std::nullopt,
                                               {"App"}}});
    }
    BatterySnapshot::Battery misfiled;
    misfiled.chargePercent = 5;
    // Written at 00:00 in UTC-12, filed under that day: in the middle of the day before here.
    const auto twentieth = start + std::chrono::hours(24 * 20);
    files[store.dayName(twentieth)] += encodeLine(
        {BatterySnapshot{twentieth - std::chrono::hours(12), PowerSource::ac, misfiled}});
    files.begin()->second += R"({ "apps" : {"notMeasured":0,"readings":[],)"
                             R"("time":"2025-12-31T10:00:00Z"} })"
                             "\n";
    for (const auto& [name, text] : files)
        temp.write("Quorvel Vuzur/History/" + name + ".jsonl", text);

    CompactHistory expected;
    const auto lines = store.lines(std::nullopt);
    expected.firstLine = lines.front().time();
    for (const auto& line : lines) {
        if (const auto* snapshot = std::get_if<BatterySnapshot>(&line.record))
            if (snapshot->battery) expected.charge.push_back(ChargeSample::of(*snapshot));
        if (const auto* episode = std::get_if<ThermalEpisode>(&line.record))
            expected.episodes.push_back(*episode);
    }
    ASSERT_EQ(expected.charge.size(), 30u * 12 + 1);
    ASSERT_EQ(*expected.firstLine, at("2025-12-31T10:00:00Z"));
    const auto compact = store.readCompact();
    EXPECT_TRUE(compact == expected);
    EXPECT_TRUE(compact.complete);

    // Read a day at a time, the lines come as a whole read gives them, the misfiled one in
    // its place; told to stop, the reading stops.
    std::vector<HistoryLine> visited;
    int told = 0;
    EXPECT_TRUE(store.forEachLine([&](const HistoryLine& line) { visited.push_back(line); },
                                  [&](double) { return ++told > 0; }));
    EXPECT_EQ(told, 30);
    EXPECT_TRUE(visited == lines);
    told = 0;
    EXPECT_FALSE(store.forEachLine([](const HistoryLine&) {}, [&](double) { return ++told < 3; }));
    EXPECT_EQ(told, 3);
}
