#pragma once

#include <PowerCore/apps/AppGrouper.hpp>
#include <PowerCore/foundation/Timestamp.hpp>
#include <QuorvelProcess/ProcessSampler.hpp>
#include <unordered_map>

namespace PowerCore {

// Keeps an hour of per-process readings and ranks the applications of a window by their
// estimated share of the power.
class AppPowerMonitor {
public:
    struct Reading {
        Timestamp time;
        double interval = 0; // seconds
        std::vector<ProcessDelta> deltas;
        int notMeasured = 0;
        bool operator==(const Reading&) const = default;
    };

    explicit AppPowerMonitor(QuorvelProcess::ProcessSampler sampler,
                             DesktopEntryLookup desktopEntries = {});

    // From the second call on, appends and returns a reading.
    std::optional<Reading> sample(Timestamp now);
    void markUnplugged(std::optional<Timestamp> at) { unplugTime_ = at; }
    // Somebody set the wall clock by `seconds`: the hour kept is the last hour in real time,
    // and the next sample measures from the last one.
    void wallClockMoved(double seconds);

    struct Ranking {
        std::vector<AppPower> apps;
        int notMeasured = 0;
    };
    Ranking apps(PowerWindow window, Timestamp now) const;
    std::vector<std::string> topNames(Timestamp now, size_t count) const;
    std::vector<AppReading> historyReadings(Timestamp now) const;
    // The seconds of readings the last five minutes hold: less after a start or a resume.
    double fiveMinuteSeconds(Timestamp now) const;

    const std::vector<Reading>& readings() const { return readings_; }
    // Every process of the last sample but the kernel's threads, new ones included.
    const std::vector<ListedProcess>& listed() const { return listed_; }
    static constexpr double keep = 3600;

private:
    QuorvelProcess::ProcessSampler sampler_;
    DesktopEntryLookup desktopEntries_;
    std::optional<Timestamp> lastSampleTime_;
    std::vector<Reading> readings_;
    std::vector<ListedProcess> listed_;
    std::optional<Timestamp> unplugTime_;
    // A process keeps its scope for life once its launcher has moved it there (within
    // milliseconds of its start): read when first seen, and once more at the next sample.
    struct Scope {
        std::optional<std::string> unit;
        bool settled = false;
    };
    std::unordered_map<QuorvelProcess::ProcessIdentity, Scope> scopes_;
};

} // namespace PowerCore
