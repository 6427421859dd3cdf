// A year of history as the measurement writer makes it (365 day files, 210,000 lines; two
// months under the sanitizers): what the screens show from the compact form is what they
// showed from every line, and the exports written a day file at a time are, byte for byte,
// what they were when every line was read first.
#include "../ModelFixture.hpp"
#include "TestSupport.hpp"

#include <PowerCore/history/Export.hpp>
#include <PowerCore/history/HistoryStore.hpp>
#include <PowerCore/linux/PosixHistoryFileSystem.hpp>
#include <QuorvelPower/ui/ScreenData.hpp>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;
namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr int days = 60;
#else
constexpr int days = 365;
#endif

struct HistoryYear : testing::Test {
    static inline VuzurTests::TemporaryFolder* temp = nullptr;
    static fs::path& data() {
        static fs::path path;
        return path;
    }
    static fs::path folder() { return data() / "Quorvel Vuzur" / "History"; }
    static Calendar berlin() { return *Calendar::named("Europe/Berlin"); }

    // The year is written once and kept for the next test processes (each test runs in a
    // process of its own): a folder named after the writer's build, made whole or not at all.
    static void SetUpTestSuite() {
        temp = new VuzurTests::TemporaryFolder;
#ifdef VUZUR_WRITE_HISTORY
        const auto built = fs::last_write_time(VUZUR_WRITE_HISTORY).time_since_epoch().count();
        data() = fs::temp_directory_path() /
                 ("vuzur-test-year-" + std::to_string(days) + "-" + std::to_string(built));
        if (fs::exists(folder())) return;
        // The years of earlier builds of the writer, a day old (another build's tests may be
        // reading a newer one).
        std::error_code error;
        const auto prefix = "vuzur-test-year-" + std::to_string(days) + "-";
        for (const auto& entry : fs::directory_iterator(fs::temp_directory_path(), error))
            if (entry.path().filename().string().starts_with(prefix) &&
                fs::last_write_time(entry.path(), error) <
                    fs::file_time_type::clock::now() - std::chrono::hours(24))
                fs::remove_all(entry.path(), error);
        const auto partial = temp->path() / "year";
        // Berlin: the year crosses both of its clock changes.
        const auto written = VuzurTests::runProgram(
            VUZUR_WRITE_HISTORY,
            {(partial / "Quorvel Vuzur" / "History").string(), std::to_string(days),
             std::string(VUZUR_TEST_DATA) + "/sysfs/dell_xps15_9560_discharging"},
            {"TZ=Europe/Berlin"});
        ASSERT_EQ(written.exitStatus, 0) << written.err;
        std::error_code ignored;
        fs::rename(partial, data(), ignored); // another process may have been quicker
#endif
    }
    static void TearDownTestSuite() {
        delete temp;
        temp = nullptr;
    }
    void SetUp() override {
        if (data().empty()) GTEST_SKIP() << "built without the history writer";
        ASSERT_TRUE(fs::exists(folder()));
    }
};

TEST_F(HistoryYear, TheCompactFormShowsWhatEveryLineShowed) {
    const HistoryStore store(folder(), berlin(), std::make_shared<PosixHistoryFileSystem>());
    const auto compact = store.readCompact();
    std::vector<ChargeSample> charge;
    std::vector<ThermalEpisode> episodes;
    std::optional<Timestamp> firstLine;
    {
        const auto lines = store.lines(std::nullopt);
        ASSERT_GT(lines.size(), size_t(days - 1) * 288 * 2);
        firstLine = lines.front().time();
        for (const auto& line : lines) {
            if (const auto* snapshot = std::get_if<BatterySnapshot>(&line.record))
                if (snapshot->battery) charge.push_back(ChargeSample::of(*snapshot));
            if (const auto* episode = std::get_if<ThermalEpisode>(&line.record))
                episodes.push_back(*episode);
        }
    }
    EXPECT_TRUE(compact.complete);
    EXPECT_EQ(compact.firstLine, firstLine);
    ASSERT_EQ(compact.charge.size(), charge.size());
    EXPECT_TRUE(compact.charge == charge);
    EXPECT_TRUE(compact.episodes == episodes);
    // The History tab's rows: one per day of the year, and no day's numbers moved.
    const auto rows = QuorvelPower::ScreenData::batteryDays(compact.charge, berlin());
    EXPECT_EQ(rows.size(), size_t(days));
    EXPECT_TRUE(rows == QuorvelPower::ScreenData::batteryDays(charge, berlin()));
}

// The text written, as a hash (FNV-1a) and a length: a year's JSON is 430 MB.
struct HashSink final : Export::Sink {
    std::uint64_t hash = 14695981039346656037ull;
    size_t length = 0;
    void write(std::string_view piece) override {
        for (const char c : piece)
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        length += piece.size();
    }
    bool operator==(const HashSink& other) const {
        return hash == other.hash && length == other.length;
    }
};

struct TextSink final : Export::Sink {
    std::string text;
    void write(std::string_view piece) override { text += piece; }
};

template <typename Sink = TextSink>
Sink streamed(const HistoryStore& store, Export::Format format,
              const Export::ReportInputs& inputs) {
    Sink out;
    double last = 0;
    const bool finished = Export::write(
        format, store, inputs, Export::PlainDateFormatter(store.calendar()), out, [&](double done) {
            EXPECT_GE(done, last);
            last = done;
            return true;
        });
    EXPECT_TRUE(finished);
    EXPECT_EQ(last, 1.0);
    return out;
}

// From the first line that does not change with the instant of the export.
std::string sinceLine(const std::string& text, const std::string& start) {
    const auto at = text.find(start);
    return at == std::string::npos ? "missing: " + start : text.substr(at);
}

TEST_F(HistoryYear, ExportsWrittenADayAtATimeAreThoseOfAWholeRead) {
    const HistoryStore store(folder(), berlin(), std::make_shared<PosixHistoryFileSystem>());
    const auto lines = store.lines(std::nullopt);
    const auto daily = store.dailyHealth();
    Export::ReportInputs inputs;
    inputs.now = *parseISO8601("2026-12-06T12:00:00Z");
    inputs.model = "20QDCTO1WW";
    for (const auto format : {Export::Format::json, Export::Format::csv}) {
        HashSink whole;
        Export::history(inputs.now, lines, daily, format, whole);
        ASSERT_GT(whole.length, size_t(days) * 10000);
        EXPECT_TRUE(streamed<HashSink>(store, format, inputs) == whole) << Export::rawValue(format);
    }
    auto report = inputs;
    report.daily = daily;
    report.lines = lines;
    report.firstSample = lines.front().time();
    EXPECT_EQ(streamed(store, Export::Format::markdown, inputs).text,
              Export::batteryReport(report, Export::PlainDateFormatter(berlin()), berlin()).data);
}

// The window's export (the model's, on its worker) and the command line's, of the same year.
struct YearExports : VuzurTests::ModelTest {
    static void SetUpTestSuite() { HistoryYear::SetUpTestSuite(); }
    static void TearDownTestSuite() { HistoryYear::TearDownTestSuite(); }
    void SetUp() override {
        if (HistoryYear::data().empty()) GTEST_SKIP() << "built without the history writer";
    }

    VuzurTests::ProcessResult run(const char* flag, const fs::path& target) {
        return VuzurTests::runProgram(VUZUR_BINARY, {flag, target.string()},
                                      {"XDG_DATA_HOME=" + HistoryYear::data().string(),
                                       "TZ=Europe/Berlin",
                                       "XDG_CONFIG_HOME=" + folder.path().string()});
    }
};

// A file as a hash of its lines, but for the lines that name the instant of the export.
HashSink linesOf(const fs::path& path, const std::string& instant) {
    HashSink file;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line))
        if (instant.empty() || !line.starts_with(instant)) file.write(line), file.write("\n");
    return file;
}

TEST_F(YearExports, TheCommandLineWritesWhatTheWindowWrites) {
    // Reading the year as a copy beside the one that writes it: nothing is added to it.
    store = std::make_shared<HistoryStore>(HistoryYear::folder(), HistoryYear::berlin(),
                                           std::make_shared<PosixHistoryFileSystem>());
    primaryCopy = false;
    localCalendar = [] { return HistoryYear::berlin(); };
    build();
    model->start();
    settle();
    struct Case {
        Export::Format format;
        const char* flag;
        std::string instant; // the line that differs by the instant of the export
    };
    for (const auto& [format, flag, instant] :
         {Case{Export::Format::json, "--export-json", "  \"generatedAt\""},
          Case{Export::Format::csv, "--export-csv", ""},
          Case{Export::Format::markdown, "--export-markdown", ""}}) {
        const auto window = folder.path() / "window";
        const auto command = folder.path() / "command";
        ASSERT_TRUE(model->startExport(format, window.string()));
        settle();
        ASSERT_FALSE(model->exportProgress()) << flag << ": still writing";
        ASSERT_EQ(run(flag, command).exitStatus, 0) << flag;
        if (format == Export::Format::markdown) {
            // The battery now is this machine's for the command line, the fixture's for the
            // window: the history's part is the same.
            const auto since = [](const fs::path& path) {
                std::ifstream in(path);
                return sinceLine({std::istreambuf_iterator<char>(in), {}},
                                 "## Daily health points");
            };
            EXPECT_EQ(since(window), since(command));
        } else {
            const auto written = linesOf(window, instant);
            EXPECT_GT(written.length, size_t(days) * 10000) << flag;
            EXPECT_TRUE(written == linesOf(command, instant)) << flag;
        }
    }

    // A target that is a folder, or in a folder that is missing: one line, and no file.
    for (const auto& target : {folder.path(), folder.path() / "missing" / "out.json"}) {
        const auto failed = run("--export-json", target);
        EXPECT_EQ(failed.exitStatus, 1);
        EXPECT_EQ(std::count(failed.err.begin(), failed.err.end(), '\n'), 1) << failed.err;
    }
    EXPECT_FALSE(fs::exists(folder.path() / "missing"));
}

} // namespace
