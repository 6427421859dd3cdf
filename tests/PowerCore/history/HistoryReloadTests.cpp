// A reload of what the screens show of the history, on a real folder: the read, and its merge
// with the samples the refreshes showed while it read.
#include "TestSupport.hpp"

#include <PowerCore/history/HistoryReload.hpp>
#include <PowerCore/linux/PosixHistoryFileSystem.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;
using VuzurTests::at;

// The folder lists its files and none of them can be read.
class UnreadableFiles final : public HistoryFileSystem {
public:
    bool folderIsSafe(const std::filesystem::path& folder) const override {
        return posix_.folderIsSafe(folder);
    }
    int makeFolders(const std::filesystem::path& folder) const override {
        return posix_.makeFolders(folder);
    }
    std::unique_ptr<OpenHistoryFolder> open(const std::filesystem::path& folder) const override {
        auto opened = posix_.open(folder);
        return opened ? std::make_unique<Folder>(std::move(opened)) : nullptr;
    }
    void prefaultForWriting(void*, size_t) const override {}

private:
    struct Folder final : OpenHistoryFolder {
        explicit Folder(std::unique_ptr<OpenHistoryFolder> opened)
            : real(std::move(opened)) {}
        std::vector<std::string> entryNames() const override { return real->entryNames(); }
        bool read(const std::string&, std::string&, size_t, size_t) const override { return false; }
        std::optional<AppendFailure> append(const std::string& name,
                                            std::string_view bytes) const override {
            return real->append(name, bytes);
        }
        std::optional<std::uint64_t> size(const std::string& name) const override {
            return real->size(name);
        }
        bool removeRegularFile(const std::string& name) const override {
            return real->removeRegularFile(name);
        }
        std::unique_ptr<OpenHistoryFolder> real;
    };
    PosixHistoryFileSystem posix_;
};

struct HistoryReloadTest : testing::Test {
    VuzurTests::TemporaryFolder temp;
    HistoryStore store{temp.path() / "History", Calendar::utc(),
                       std::make_shared<PosixHistoryFileSystem>()};

    static BatterySnapshot snapshot(const char* iso, int percent) {
        BatterySnapshot::Battery battery;
        battery.chargePercent = percent;
        return {at(iso), PowerSource::ac, battery};
    }
    static ChargeSample sample(const char* iso, int percent) {
        return ChargeSample::of(snapshot(iso, percent));
    }
    // A sample on disk too, as a refresh writes it.
    ChargeSample written(const char* iso, int percent) {
        store.append(HistoryLine{snapshot(iso, percent)});
        return sample(iso, percent);
    }
    static std::vector<int> percents(const ShownHistory& shown) {
        std::vector<int> out;
        for (const auto& s : shown.history.charge)
            out.push_back(s.percent);
        return out;
    }
};

TEST_F(HistoryReloadTest, SamplesShownWhileItReadsStayOnceAfterTheOnesRead) {
    written("2026-03-10T08:00:00Z", 50);
    written("2026-03-11T08:00:00Z", 60);
    const auto point = DailyHealthPoint{"2026-03-11", 3900, 4000, 12, 97};
    store.appendDailyHealth(point);
    ShownHistory shown;
    shown.history.charge = {sample("2026-03-01T08:00:00Z", 10)}; // a day deleted since
    HistoryReload reload(shown);
    // One refresh writes before the files are read, so the read finds its sample too; the
    // next writes after.
    shown.history.charge.push_back(written("2026-03-11T09:00:00Z", 70));
    // An episode closes too: the history keeps it in whole seconds.
    ThermalEpisode episode;
    episode.start = at("2026-03-11T08:57:00Z") + std::chrono::milliseconds(250);
    episode.end = at("2026-03-11T08:59:00Z");
    store.append(HistoryLine{episode});
    shown.history.episodes.push_back(episode);
    reload.read(store);
    const auto bytesRead = store.sizeOnDisk();
    shown.history.charge.push_back(written("2026-03-11T09:05:00Z", 71));
    shown.history.charge.push_back(written("2026-03-11T09:10:00Z", 72));
    // The next day's first sample writes its health point.
    const auto today = DailyHealthPoint{"2026-03-12", 3890, 4000, 12, 97};
    store.appendDailyHealth(today);
    shown.dailyHealth = store.dailyHealth();

    const auto next = std::move(reload).merged(shown);
    ASSERT_TRUE(next);
    EXPECT_EQ(percents(*next), (std::vector<int>{50, 60, 70, 71, 72}));
    EXPECT_EQ(next->dailyHealth, (std::vector<DailyHealthPoint>{point, today}));
    EXPECT_EQ(next->history.episodes.size(), 1u) << "read and shown: once";
    EXPECT_EQ(next->bytes, bytesRead);
}

TEST_F(HistoryReloadTest, TheRecordStartsAtTheEarlierOfItsStartAndTheFirstLine) {
    const auto recordFrom = [&](std::optional<Timestamp> since) {
        ShownHistory shown;
        shown.recordSince = since;
        HistoryReload reload(shown);
        reload.read(store);
        return std::move(reload).merged(shown).value().recordSince;
    };
    EXPECT_EQ(recordFrom(std::nullopt), std::nullopt) << "no history yet";
    EXPECT_EQ(recordFrom(at("2026-03-12T10:00:00Z")), at("2026-03-12T10:00:00Z"));
    store.append(HistoryLine{AppsLine{at("2026-03-10T07:00:00Z"), {{"cc", 1, 0, 100}}, 0}});
    written("2026-03-10T08:00:00Z", 50);
    EXPECT_EQ(recordFrom(std::nullopt), at("2026-03-10T07:00:00Z")) << "a line of any kind";
    EXPECT_EQ(recordFrom(at("2026-03-12T10:00:00Z")), at("2026-03-10T07:00:00Z"))
        << "a refresh wrote before the first read ended";
    EXPECT_EQ(recordFrom(at("2026-03-09T10:00:00Z")), at("2026-03-09T10:00:00Z"))
        << "older days deleted since";
}

TEST_F(HistoryReloadTest, AHistoryStartedWhileItReadsKeepsItsFirstSamples) {
    ShownHistory shown;
    HistoryReload reload(shown);
    reload.read(store); // no folder yet: an empty history
    shown.history.charge.push_back(written("2026-03-10T08:00:00Z", 50));
    shown.history.charge.push_back(written("2026-03-10T08:05:00Z", 51));
    shown.recordSince = at("2026-03-10T08:00:00Z");

    const auto next = std::move(reload).merged(shown);
    ASSERT_TRUE(next) << "no folder is no failure";
    EXPECT_EQ(percents(*next), (std::vector<int>{50, 51}));
    EXPECT_EQ(next->recordSince, at("2026-03-10T08:00:00Z"));
}

TEST_F(HistoryReloadTest, DayFilesThatCannotBeReadLeaveWhatIsShown) {
    written("2026-03-10T08:00:00Z", 50);
    const HistoryStore unreadable(store.directory(), Calendar::utc(),
                                  std::make_shared<UnreadableFiles>());
    ShownHistory shown;
    shown.history.charge = {sample("2026-03-10T08:00:00Z", 50)};
    HistoryReload reload(shown);
    reload.read(unreadable);
    EXPECT_FALSE(std::move(reload).merged(shown));
}

} // namespace
