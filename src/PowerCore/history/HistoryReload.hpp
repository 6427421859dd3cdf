#pragma once

#include <PowerCore/history/HistoryStore.hpp>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace PowerCore {

// What the screens hold of the history: the battery samples and episodes, the daily health,
// the size on disk and when the record starts.
struct ShownHistory {
    CompactHistory history;
    std::vector<DailyHealthPoint> dailyHealth;
    std::uint64_t bytes = 0;
    std::optional<Timestamp> recordSince;
    bool operator==(const ShownHistory&) const = default;
};

// One reload of what is shown of the history. A year of history takes a moment to read, so
// the read runs on a worker while the refreshes go on showing the samples they write; the
// history read then takes the place of what is shown, and those samples stay.
class HistoryReload {
public:
    // Begun on the main thread, with what is shown then.
    explicit HistoryReload(const ShownHistory& shown)
        : chargeShown_(shown.history.charge.size())
        , episodesShown_(shown.history.episodes.size()) {}

    // The read itself, blocking.
    void read(const HistoryStore& store);

    // What is shown once the read ended, `shown` being what is shown by then: the history,
    // daily health and size read; after the samples read, the ones shown since the reload
    // began (once: those the read found too are not added again), and so the episodes
    // closed and the day's health point written meanwhile; the record from the
    // earlier of its start and the history's first line. None when nothing could be read
    // where day files are listed (memory ran out, the folder went unreadable): what is
    // shown then stays.
    std::optional<ShownHistory> merged(const ShownHistory& shown) &&;

private:
    size_t chargeShown_, episodesShown_;
    bool read_ = false;
    CompactHistory history_;
    std::vector<DailyHealthPoint> dailyHealth_;
    std::uint64_t bytes_ = 0;
};

} // namespace PowerCore
