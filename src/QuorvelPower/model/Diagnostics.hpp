#pragma once

#include <PowerCore/foundation/Json.hpp>
#include <PowerCore/foundation/Timestamp.hpp>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace QuorvelPower {

// What the kernel says of this process, for the report.
struct ProcessFigures {
    double peakFootprintBytes = 0;
    double cpuSeconds = 0;
    double idleWakeups = 0;
    double interruptWakeups = 0;
};

// The program's own cost and responsiveness, gathered while it runs with --diagnostics and
// written once when it quits. Marks and refresh durations belong to the main thread; the
// watchdog's stalls may be recorded from any thread.
class Diagnostics {
public:
    Diagnostics(std::filesystem::path output, PowerCore::Timestamp processStart);

    const std::filesystem::path& output() const { return output_; }
    PowerCore::Timestamp processStart() const { return processStart_; }

    // The first time wins.
    void mark(const std::string& name, PowerCore::Timestamp now);
    void recordRefresh(double milliseconds) { refreshMilliseconds_.push_back(milliseconds); }
    void recordStall(double milliseconds);
    double worstStall() const;

    // The 13 keys of the report; the process figures are 0 where they could not be read.
    PowerCore::Json report(PowerCore::Timestamp now,
                           const std::optional<ProcessFigures>& figures) const;

private:
    std::filesystem::path output_;
    PowerCore::Timestamp processStart_;
    std::map<std::string, double> marks_;
    std::vector<double> refreshMilliseconds_;
    mutable std::mutex worstLock_;
    double worst_ = 0;
};

} // namespace QuorvelPower
