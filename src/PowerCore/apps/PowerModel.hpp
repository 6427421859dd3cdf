#pragma once

#include <PowerCore/apps/AppPower.hpp>
#include <PowerCore/apps/AppReading.hpp>
#include <PowerCore/history/HistoryStore.hpp>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace PowerCore {

// What runs, as rates: of one application or of the whole machine.
struct PowerUse {
    double cpu = 0;     // CPU seconds per second
    double wakeups = 0; // idle wake-ups per second
    double gpu = 0;     // GPU busy seconds per second

    // A reading's sums over a window of `seconds`.
    static PowerUse of(const AppReading& reading, double seconds);
    PowerUse& operator+=(const PowerUse& other);
    bool operator==(const PowerUse&) const = default;
};

// This computer's power on battery, learnt from its history: watts = base + perCpu · cpu +
// perWakeup · wakeups + perGpu · gpu. No coefficient is negative.
struct PowerModel {
    // Battery hours of history before a model is given at all.
    static constexpr double hoursNeeded = 10;

    double base = 0;      // watts with nothing running: screen, radios, idle chips
    double perCpu = 0;    // watts per CPU second per second
    double perWakeup = 0; // watts per idle wake-up per second
    double perGpu = 0;    // watts per GPU second per second
    std::int64_t samples = 0;
    double hours = 0;
    double fitQuality = 0; // R² of the fit, 0...1

    // An application's share, without the base; negative rates count as none.
    double watts(const PowerUse& use) const;
    // The whole machine: base + watts.
    double total(const PowerUse& use) const;
    bool operator==(const PowerModel&) const = default;
};

// The sums a least-squares fit of the model needs, so that days summed apart add up.
class PowerModelSums {
public:
    void add(const PowerUse& use, double watts, double seconds);
    PowerModelSums& operator+=(const PowerModelSums& other);

    std::int64_t samples() const { return samples_; }
    double hours() const { return seconds_ / 3600; }

    // Xᵀ·X of the columns (1, cpu, wakeups, gpu), and Xᵀ·y: its first entry is Σy.
    double xx(int row, int column) const;
    const std::array<double, 4>& xy() const { return xy_; }
    double yy() const { return yy_; }

    bool operator==(const PowerModelSums&) const = default;

private:
    std::array<double, 10> xx_{}; // upper triangle, row by row
    std::array<double, 4> xy_{};
    double yy_ = 0;
    std::int64_t samples_ = 0;
    double seconds_ = 0;
};

enum class PowerModelState {
    learning,        // fewer than hoursNeeded hours on battery
    tooLittleSpread, // the use hardly changed: its cost cannot be told from the base
    poorFit,         // the use explains too little of the battery's rate
    ready,
};

// Whether there is a model, and why not, for the screens' words.
struct PowerModelStatus {
    PowerModelState state = PowerModelState::learning;
    double hours = 0;      // on battery so far
    double fitQuality = 0; // R² of the best fit, once there are the hours and the spread
    bool operator==(const PowerModelStatus&) const = default;
};

// The trust rules. The battery's rate is read at one instant and the use summed over five
// minutes, so much of the rate is noise; with ten hours (120 samples) an R² of 0.25 still
// gives the CPU cost within about a sixth.
namespace PowerModelRules {
// The spread of the use: the standard deviation of the CPU or the GPU rate, in seconds per
// second. A machine that always ran the same load gives a slope that is only noise.
inline constexpr double spreadNeeded = 0.05;
inline constexpr double fitQualityNeeded = 0.25;
} // namespace PowerModelRules

// Gives each application its watts from the model (none without one) and returns the
// model's total for them all: the base and the applications' watts.
std::optional<double> estimateWatts(std::vector<AppPower>& apps,
                                    const std::optional<PowerModel>& model);

// The non-negative least-squares fit of the sums, when the rules trust it.
std::optional<PowerModel> fitPowerModel(const PowerModelSums& sums);
PowerModelStatus powerModelStatus(const PowerModelSums& sums);

// The apps lines cover the five minutes before them.
inline constexpr double appsWindowSeconds = 300;

// The samples of one day file on battery, each with the apps line nearest in time (within a
// minute); charging, mains and unmeasured samples are left out.
PowerModelSums sumsOfDay(const std::vector<HistoryLine>& lines);

// Learns from the whole history while reading each day file once: the days are summed apart
// and only new or grown day files (today's grows with every sample) are read again.
class PowerModelLearner {
public:
    struct Day {
        std::string name;
        std::uint64_t bytes = 0; // the file's size when it was listed
        PowerModelSums sums;
        bool operator==(const Day&) const = default;
    };
    struct Catchup {
        std::vector<HistoryStore::DayFileSize> toRead; // new or changed since summed
        std::vector<std::string> gone;                 // summed, no longer in the store
        bool empty() const { return toRead.empty() && gone.empty(); }
    };

    // Lists the store's day files.
    Catchup daysToRead(const HistoryStore& store) const;
    // Reads and sums the days; it touches only the store, so it runs on a worker. A day
    // that cannot be read sums to nothing until its size changes.
    static std::vector<Day> read(const HistoryStore& store,
                                 const std::vector<HistoryStore::DayFileSize>& days);
    // Takes the days read and forgets the gone ones; refits, and says so, only when that
    // changed the sums.
    bool merge(std::vector<Day> days, const std::vector<std::string>& gone);

    const std::optional<PowerModel>& model() const { return model_; }
    const PowerModelStatus& status() const { return status_; }
    const std::vector<Day>& days() const { return days_; } // by name, so by date

private:
    std::vector<Day> days_;
    std::optional<PowerModel> model_;
    PowerModelStatus status_;
};

} // namespace PowerCore
