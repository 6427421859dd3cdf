// Fills a history folder with days of use, for snapshots and measurements of the screens:
// vuzur_write_history FOLDER DAYS [SYSFS_ROOT] [--model BASE,CPU,WAKEUP,GPU]. The battery is
// the one a recorded laptop's sysfs describes (its capacities, voltage, current); its charge
// follows an office day: on the charger overnight, unplugged from 8:30 to 12:30 and from
// 13:30 to 18:00, with one sharp drop on the last day. An apps line is written every 5
// minutes with it, and a warm episode on some afternoons. The days end now, in local time.
//
// With --model (anywhere among the arguments) the history carries a known power model: the
// use of each step varies (the CPU, the wake-ups and the GPU apart; the browser, the shell and
// the X server have GPU time), and the battery's current on battery is that of BASE + CPU · cpu
// + WAKEUP · wakeups + GPU · gpu watts for the rates of the apps line written with it (seconds
// or wake-ups per second), plus up to half a watt of fixed noise; the charge falls with those
// watts. It then prints the model the learner makes of what it wrote.
#include <PowerCore/apps/PowerModel.hpp>
#include <PowerCore/battery/BatteryReader.hpp>
#include <PowerCore/history/HistoryStore.hpp>
#include <PowerCore/linux/PosixHistoryFileSystem.hpp>
#include <QuorvelPower/linux/LiveServices.hpp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace PowerCore;

namespace {

struct Charge {
    double percent = 100;
    ChargeState state = ChargeState::charged;
};

bool unpluggedAt(int minute) {
    return (minute >= 510 && minute < 750) || (minute >= 810 && minute < 1080);
}

// The charge of one 5-minute step, given the minute of the local day; `drain` is the percent
// a step on battery takes, where the watts are known.
Charge step(Charge charge, int minute, int day, bool lastDay, std::optional<double> drain) {
    if (unpluggedAt(minute)) {
        // Heavier use in the afternoon, lighter at the weekend-like days.
        double perStep = (minute >= 810 ? 0.75 : 0.55) * (day % 7 >= 5 ? 0.6 : 1.0);
        if (lastDay && minute >= 900 && minute < 930) perStep = 6; // a build, a video call
        charge.percent = std::max(3.0, charge.percent - drain.value_or(perStep));
        charge.state = ChargeState::discharging;
    } else if (charge.percent < 100) {
        charge.percent = std::min(100.0, charge.percent + (charge.percent < 80 ? 4.5 : 1.5));
        charge.state = charge.percent >= 100 ? ChargeState::charged : ChargeState::charging;
    } else {
        charge.state = ChargeState::charged;
    }
    return charge;
}

// A number in [0, 1) that depends on `key` alone (splitmix64): the same history every run.
double unit(std::uint64_t key) {
    key += 0x9e3779b97f4a7c15;
    key = (key ^ (key >> 30)) * 0xbf58476d1ce4e5b9;
    key = (key ^ (key >> 27)) * 0x94d049bb133111eb;
    key ^= key >> 31;
    return double(key >> 11) * 0x1.0p-53;
}

// How busy a step was, in a history carrying a model: the CPU, the wake-ups and the GPU
// change apart, so that a fit can tell their costs apart.
struct Activity {
    double cpu = 1, wakeups = 1, gpu = 0;
    static Activity of(std::uint64_t step) {
        return {0.2 + 1.6 * unit(step * 4), 0.3 + 1.4 * unit(step * 4 + 1), unit(step * 4 + 2)};
    }
};

AppsLine appsLine(Timestamp time, int slot, bool unplugged,
                  const std::optional<Activity>& activity) {
    // As many as the monitor keeps: a busy desktop has more than 20 processes.
    static const char* const names[] = {
        "Firefox",        "Visual Studio Code", "Slack",          "GNOME Shell", "Terminal",
        "Spotify",        "Thunderbird",        "Files",          "Xwayland",    "PipeWire",
        "Evolution Data", "Tracker Miner",      "NetworkManager", "Settings",    "Discord",
        "Signal",         "LibreOffice",        "Calculator",     "Text Editor", "Flatpak"};
    AppsLine line{time, {}, 3 + slot % 4};
    const double load = unplugged ? 1.0 : 0.4;
    double total = 0;
    if (!activity) {
        for (int i = 0; i < 20; ++i)
            total += (60.0 - 2.9 * i) * load;
        for (int i = 0; i < 20; ++i) {
            const double cpu = (60.0 - 2.9 * i + (slot * (i + 3)) % 11) * load;
            line.readings.push_back(
                {names[i], cpu, 40.0 * (20 - i) + slot % 13, cpu / total * 100});
        }
        return line;
    }
    // GPU seconds of a fully busy step: the browser, the shell and the X server draw.
    constexpr double gpuSeconds[20] = {60, 0, 0, 20, 0, 0, 0, 0, 10};
    for (int i = 0; i < 20; ++i) {
        const double cpu = (60.0 - 2.9 * i + (slot * (i + 3)) % 11) * load * 0.2 * activity->cpu;
        const double wakeups = 600.0 * (20 - i) * activity->wakeups;
        const auto gpu =
            gpuSeconds[i] > 0 ? std::optional(gpuSeconds[i] * activity->gpu * load) : std::nullopt;
        line.readings.push_back({names[i], cpu, wakeups, std::nullopt, gpu});
        total += cpu;
    }
    for (auto& reading : line.readings)
        reading.share = reading.cpuSeconds / total * 100;
    return line;
}

// BASE,CPU,WAKEUP,GPU; a coefficient may be negative, to see the learner hold it at 0.
std::optional<PowerModel> parseModel(const char* text) {
    PowerModel model;
    char end = 0;
    if (std::sscanf(text, "%lf,%lf,%lf,%lf%c", &model.base, &model.perCpu, &model.perWakeup,
                    &model.perGpu, &end) != 4)
        return std::nullopt;
    return model;
}

// The watts of the model as given, negative coefficients included.
double modelWatts(const PowerModel& model, const AppsLine& line) {
    PowerUse use;
    for (const auto& reading : line.readings)
        use += PowerUse::of(reading, appsWindowSeconds);
    return model.base + model.perCpu * use.cpu + model.perWakeup * use.wakeups +
           model.perGpu * use.gpu;
}

void printLearnt(const HistoryStore& store) {
    const auto started = std::chrono::steady_clock::now();
    PowerModelLearner learner;
    const auto catchup = learner.daysToRead(store);
    learner.merge(PowerModelLearner::read(store, catchup.toRead), catchup.gone);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    const auto& status = learner.status();
    std::printf("learnt from %zu days in %.2f s: %.1f hours on battery\n", catchup.toRead.size(),
                took.count(), status.hours);
    if (const auto& model = learner.model())
        std::printf("model: base %.3f W, %.3f W per CPU s/s, %.5f W per wake-up/s, %.3f W per "
                    "GPU s/s; R² %.3f over %lld samples\n",
                    model->base, model->perCpu, model->perWakeup, model->perGpu, model->fitQuality,
                    static_cast<long long>(model->samples));
    else
        std::printf("no model: %s, R² %.3f\n",
                    status.state == PowerModelState::learning          ? "still learning"
                    : status.state == PowerModelState::tooLittleSpread ? "too little spread"
                                                                       : "poor fit",
                    status.fitQuality);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<const char*> positional;
    std::optional<PowerModel> known;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--model") == 0 && i + 1 < argc) {
            known = parseModel(argv[++i]);
            if (!known) {
                std::fputs("vuzur_write_history: --model wants BASE,CPU,WAKEUP,GPU\n", stderr);
                return 2;
            }
        } else {
            positional.push_back(argv[i]);
        }
    }
    if (positional.size() < 2 || positional.size() > 3) {
        std::fputs("usage: vuzur_write_history FOLDER DAYS [SYSFS_ROOT] "
                   "[--model BASE,CPU,WAKEUP,GPU]\n",
                   stderr);
        return 2;
    }
    const int days = std::atoi(positional[1]);
    auto roots = QuorvelPower::SystemRoots::fromEnvironment(std::getenv);
    if (positional.size() > 2) roots.sysfs = positional[2];
    const QuorvelPower::LiveServices services(roots);
    const auto recorded = BatteryReader(services.batterySource(), services.clock()).read();
    if (!recorded.battery || days < 1) {
        std::fputs("vuzur_write_history: no battery in that sysfs, or no days\n", stderr);
        return 1;
    }
    const auto calendar = Calendar::local();
    const HistoryStore store(positional[0], calendar, std::make_shared<PosixHistoryFileSystem>());
    const auto now = std::chrono::system_clock::now();
    const auto today = calendar.startOfDay(now);
    Charge charge;
    for (int day = days - 1; day >= 0; --day) {
        const auto start = calendar.addingDays(-day, today);
        const int age = days - 1 - day;
        BatterySnapshot::Battery battery = *recorded.battery;
        // The battery wears a little: 1 mAh a day, a cycle every third day.
        if (battery.fullChargeCapacitymAh) *battery.fullChargeCapacitymAh += day;
        battery.cycleCount = 212 + age / 3;
        if (known && !battery.voltageMillivolts) battery.voltageMillivolts = 11400;
        store.appendDailyHealth(DailyHealthPoint::of(store.dayName(start), battery));
        for (int minute = 0; minute < 1440; minute += 5) {
            const auto time = addingSeconds(start, minute * 60.0);
            if (time > now) break;
            const bool unplugged = unpluggedAt(minute);
            const auto stepIndex = std::uint64_t(age) * 288 + std::uint64_t(minute / 5);
            const auto apps =
                appsLine(time, minute / 5, unplugged,
                         known ? std::optional(Activity::of(stepIndex)) : std::nullopt);
            auto b = battery;
            std::optional<double> watts, drain;
            if (known && unplugged) {
                watts = std::max(0.5, modelWatts(*known, apps) + unit(stepIndex * 4 + 3) - 0.5);
                const double volts = double(*b.voltageMillivolts) / 1000;
                const double wattHours =
                    double(b.fullChargeCapacitymAh.value_or(4500)) * volts / 1000;
                drain = *watts / 12 / wattHours * 100;
            }
            charge = step(charge, minute, age, day == 0, drain);
            b.chargePercent = std::int64_t(charge.percent + 0.5);
            b.state = charge.state;
            if (watts)
                b.currentMilliamps = -std::llround(*watts * 1e6 / double(*b.voltageMillivolts));
            else
                b.currentMilliamps = unplugged ? -1472 - (minute % 60) * 10 : 2100;
            b.timeRemainingMinutes = std::nullopt;
            store.append(
                {BatterySnapshot{time, unplugged ? PowerSource::battery : PowerSource::ac, b}});
            store.append({apps});
            if (minute == 900 && age % 3 == 1)
                store.append({ThermalEpisode{time,
                                             addingSeconds(time, 600.0),
                                             ThermalLevel::fair,
                                             std::nullopt,
                                             {"Firefox", "Visual Studio Code"}}});
        }
    }
    std::printf("%d days written to %s\n", days, positional[0]);
    if (known) printLearnt(store);
}
