#include <PowerCore/history/HistoryReload.hpp>
#include <algorithm>
#include <chrono>

namespace PowerCore {

void HistoryReload::read(const HistoryStore& store) {
    try {
        dailyHealth_ = store.dailyHealth();
        history_ = store.readCompact();
        bytes_ = store.sizeOnDisk();
        read_ = history_.complete || !history_.charge.empty() || store.dayFiles().empty();
    } catch (const std::exception&) {
        // Nothing to show from it (memory ran out, the folder failed): what is shown stays.
        read_ = false;
    }
}

std::optional<ShownHistory> HistoryReload::merged(const ShownHistory& shown) && {
    if (!read_) return std::nullopt;
    ShownHistory next;
    next.history = std::move(history_);
    next.dailyHealth = std::move(dailyHealth_);
    next.bytes = bytes_;
    // The samples are in time order: one shown since the reload began is new to the read
    // only when it is later than the read's last.
    auto& charge = next.history.charge;
    const auto& shownCharge = shown.history.charge;
    for (auto written =
             shownCharge.begin() + std::ptrdiff_t(std::min(chargeShown_, shownCharge.size()));
         written != shownCharge.end(); ++written)
        if (charge.empty() || written->seconds > charge.back().seconds) charge.push_back(*written);
    // The history keeps whole seconds, this run's episodes their fractions.
    const auto second = [](Timestamp t) { return std::chrono::floor<std::chrono::seconds>(t); };
    auto& episodes = next.history.episodes;
    const auto readEpisodes = episodes.size();
    const auto& shownEpisodes = shown.history.episodes;
    for (size_t i = std::min(episodesShown_, shownEpisodes.size()); i < shownEpisodes.size(); ++i)
        if (std::none_of(episodes.begin(), episodes.begin() + std::ptrdiff_t(readEpisodes),
                         [&](const ThermalEpisode& e) {
                             return second(e.start) == second(shownEpisodes[i].start);
                         }))
            episodes.push_back(shownEpisodes[i]);
    // Health points are kept for life: one shown that the read missed was written meanwhile.
    for (const auto& point : shown.dailyHealth)
        if (std::none_of(next.dailyHealth.begin(), next.dailyHealth.end(),
                         [&](const DailyHealthPoint& p) { return p.day == point.day; }))
            next.dailyHealth.push_back(point);
    std::stable_sort(next.dailyHealth.begin(), next.dailyHealth.end(),
                     [](const auto& a, const auto& b) { return a.day < b.day; });
    // A refresh may have written its first line before the read at start-up ended: the
    // record goes back to the history's first line all the same.
    next.recordSince = shown.recordSince;
    if (next.history.firstLine &&
        (!next.recordSince || *next.history.firstLine < *next.recordSince))
        next.recordSince = next.history.firstLine;
    return next;
}

} // namespace PowerCore
