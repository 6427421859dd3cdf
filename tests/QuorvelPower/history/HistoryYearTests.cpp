// A year of history as the measurement writer makes it (365 day files, 210,000 lines; two
// months under the sanitizers): what the screens show from the compact form is what they
// showed from every line.
#include "TestSupport.hpp"

#include <PowerCore/history/HistoryStore.hpp>
#include <PowerCore/linux/PosixHistoryFileSystem.hpp>
#include <QuorvelPower/ui/ScreenData.hpp>
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
    static fs::path folder() { return temp->path() / "history"; }
    static Calendar berlin() { return *Calendar::named("Europe/Berlin"); }

    static void SetUpTestSuite() {
        temp = new VuzurTests::TemporaryFolder;
#ifdef VUZUR_WRITE_HISTORY
        // Berlin: the year crosses both of its clock changes.
        const auto written = VuzurTests::runProgram(
            VUZUR_WRITE_HISTORY,
            {folder().string(), std::to_string(days),
             std::string(VUZUR_TEST_DATA) + "/sysfs/dell_xps15_9560_discharging"},
            {"TZ=Europe/Berlin"});
        ASSERT_EQ(written.exitStatus, 0) << written.err;
#endif
    }
    static void TearDownTestSuite() {
        delete temp;
        temp = nullptr;
    }
    void SetUp() override {
        if (!fs::exists(folder())) GTEST_SKIP() << "built without the history writer";
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

} // namespace
