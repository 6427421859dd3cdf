#include <QuorvelPower/model/Diagnostics.hpp>
#include <algorithm>

namespace QuorvelPower {

Diagnostics::Diagnostics(std::filesystem::path output, PowerCore::Timestamp processStart)
    : output_(std::move(output))
    , processStart_(processStart) {}

void Diagnostics::mark(const std::string& name, PowerCore::Timestamp now) {
    marks_.try_emplace(name, PowerCore::secondsBetween(processStart_, now));
}

void Diagnostics::recordStall(double milliseconds) {
    const std::lock_guard lock(worstLock_);
    worst_ = std::max(worst_, milliseconds);
}

double Diagnostics::worstStall() const {
    const std::lock_guard lock(worstLock_);
    return worst_;
}

PowerCore::Json Diagnostics::report(PowerCore::Timestamp now,
                                    const std::optional<ProcessFigures>& figures) const {
    const ProcessFigures process = figures.value_or(ProcessFigures{});
    const double wall = PowerCore::secondsBetween(processStart_, now);
    std::vector<double> sorted = refreshMilliseconds_;
    std::sort(sorted.begin(), sorted.end());
    const auto& all = refreshMilliseconds_;
    PowerCore::Json marks = PowerCore::Json::object();
    for (const auto& [name, seconds] : marks_)
        marks[name] = seconds;
    // Keys in sorted order, as the report is written.
    PowerCore::Json report = PowerCore::Json::object();
    report["cpuSeconds"] = process.cpuSeconds;
    report["idleWakeups"] = process.idleWakeups;
    report["idleWakeupsPerSecond"] = wall > 0 ? process.idleWakeups / wall : 0.0;
    report["interruptWakeups"] = process.interruptWakeups;
    report["marks"] = std::move(marks);
    report["peakFootprintBytes"] = process.peakFootprintBytes;
    report["refreshCount"] = all.size();
    report["refreshFirstMs"] = all.empty() ? -1.0 : all.front();
    report["refreshMedianMs"] = sorted.empty() ? -1.0 : sorted[sorted.size() / 2];
    report["refreshWorstAfterFirstMs"] =
        all.size() < 2 ? -1.0 : *std::max_element(all.begin() + 1, all.end());
    report["refreshWorstMs"] = sorted.empty() ? -1.0 : sorted.back();
    report["wallSeconds"] = wall;
    report["worstMainThreadStallMs"] = worstStall();
    return report;
}

} // namespace QuorvelPower
