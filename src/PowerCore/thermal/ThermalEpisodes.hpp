#pragma once

#include <PowerCore/thermal/ThermalReader.hpp>
#include <string>
#include <vector>

namespace PowerCore {

// A stretch of time above normal or with the processor held back.
struct ThermalEpisode {
    Timestamp start;
    std::optional<Timestamp> end; // absent while open
    ThermalLevel worstState = ThermalLevel::nominal;
    std::optional<int> lowestSpeedLimit;
    std::vector<std::string> topApps; // at most 3, taken when it began

    std::optional<double> duration() const;
    bool operator==(const ThermalEpisode&) const = default;
};

Json toJson(const ThermalEpisode& episode);

struct ThermalEpisodes {
    std::optional<ThermalEpisode> open;
    std::vector<ThermalEpisode> closed; // oldest first

    // Feeds one reading; gives the episode it closed, if any.
    std::optional<ThermalEpisode> ingest(const ThermalSnapshot& snapshot,
                                         const std::vector<std::string>& topApps);
    bool openLongerThan(double seconds, Timestamp now) const;
    // Somebody set the wall clock: the open episode has lasted what it has in real time.
    void wallClockMoved(double seconds) {
        if (open) open->start = addingSeconds(open->start, seconds);
    }

    bool operator==(const ThermalEpisodes&) const = default;
};

} // namespace PowerCore
