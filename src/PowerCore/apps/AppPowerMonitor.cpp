#include <PowerCore/apps/AppPowerMonitor.hpp>
#include <PowerCore/apps/PowerImpact.hpp>
#include <algorithm>

namespace PowerCore {

AppPowerMonitor::AppPowerMonitor(QuorvelProcess::ProcessSampler sampler,
                                 DesktopEntryLookup desktopEntries)
    : sampler_(std::move(sampler))
    , desktopEntries_(std::move(desktopEntries)) {}

void AppPowerMonitor::wallClockMoved(double seconds) {
    const auto shift = [seconds](Timestamp& time) { time = addingSeconds(time, seconds); };
    for (auto& reading : readings_)
        shift(reading.time);
    if (lastSampleTime_) shift(*lastSampleTime_);
    if (unplugTime_) shift(*unplugTime_);
}

std::optional<AppPowerMonitor::Reading> AppPowerMonitor::sample(Timestamp now) {
    auto sampled = sampler_.sample();
    std::unordered_map<QuorvelProcess::ProcessIdentity, Scope> scopes;
    listed_.clear();
    for (const auto& process : sampled.processes) {
        if (process.kernelThread) continue;
        const auto known = scopes_.find(process.identity);
        Scope scope =
            known != scopes_.end() && known->second.settled
                ? known->second
                : Scope{sampler_.source().cgroupUnit(process.identity.pid), known != scopes_.end()};
        listed_.push_back({process.identity.pid, process.uid, scope.unit, process.path});
        scopes.emplace(process.identity, std::move(scope));
    }
    scopes_ = std::move(scopes); // processes that are gone drop out
    if (!lastSampleTime_ || !(secondsBetween(*lastSampleTime_, now) > 0)) {
        lastSampleTime_ = now;
        return std::nullopt;
    }
    Reading reading{now, 0, {}, sampled.hidden};
    for (auto& process : sampled.processes) {
        if (!process.deltas) continue;
        const auto& d = *process.deltas;
        const auto known = scopes_.find(process.identity);
        auto scope = known != scopes_.end() ? known->second.unit : std::nullopt;
        ProcessDelta delta;
        delta.identity = process.identity;
        delta.name = std::move(process.name);
        delta.path = std::move(process.path);
        delta.scope = std::move(scope);
        delta.kernelThread = process.kernelThread;
        delta.cpuSeconds = double(d.cpuNanoseconds) / 1e9;
        delta.idleWakeups = double(d.idleWakeups);
        delta.interruptWakeups = double(d.interruptWakeups);
        if (d.energy) delta.energy = double(*d.energy);
        if (d.gpuNanoseconds) delta.gpuSeconds = double(*d.gpuNanoseconds) / 1e9;
        delta.interval = double(d.interval) / 1e9;
        reading.interval = std::max(reading.interval, delta.interval);
        reading.deltas.push_back(std::move(delta));
    }
    std::erase_if(readings_, [&](const Reading& r) { return secondsBetween(r.time, now) > keep; });
    readings_.push_back(reading);
    lastSampleTime_ = now;
    return reading;
}

AppPowerMonitor::Ranking AppPowerMonitor::apps(PowerWindow window, Timestamp now) const {
    std::optional<Timestamp> start = unplugTime_;
    if (const auto span = seconds(window))
        start = now - std::chrono::duration_cast<Timestamp::duration>(
                          std::chrono::duration<double>(*span));
    std::vector<const Reading*> selected;
    if (start)
        for (const auto& r : readings_)
            if (r.time >= *start) selected.push_back(&r);
    if (selected.empty()) return {{}, readings_.empty() ? 0 : readings_.back().notMeasured};
    std::vector<ProcessDelta> deltas;
    double total = 0;
    for (const auto* r : selected) {
        deltas.insert(deltas.end(), r->deltas.begin(), r->deltas.end());
        total += r->interval;
    }
    auto apps = AppGrouper::group(deltas, desktopEntries_);
    // Every application covers the whole window, so cpuPercent is its average over it.
    for (auto& app : apps)
        app.interval = total;
    return {PowerImpact::rank(std::move(apps)), selected.back()->notMeasured};
}

std::vector<std::string> AppPowerMonitor::topNames(Timestamp now, size_t count) const {
    std::vector<std::string> names;
    for (const auto& app : apps(PowerWindow::fiveMinutes, now).apps) {
        if (names.size() >= count) break;
        names.push_back(app.name);
    }
    return names;
}

double AppPowerMonitor::fiveMinuteSeconds(Timestamp now) const {
    double total = 0;
    for (const auto& r : readings_)
        if (secondsBetween(r.time, now) <= *seconds(PowerWindow::fiveMinutes)) total += r.interval;
    return total;
}

std::vector<AppReading> AppPowerMonitor::historyReadings(Timestamp now) const {
    std::vector<AppReading> readings;
    for (const auto& app : apps(PowerWindow::fiveMinutes, now).apps) {
        if (readings.size() >= 20) break;
        readings.push_back({app.name, app.cpuSeconds, app.idleWakeups, app.share, app.gpuSeconds});
    }
    return readings;
}

} // namespace PowerCore
