// Fills a history folder with days of use, for snapshots and measurements of the screens:
// vuzur_write_history FOLDER DAYS [SYSFS_ROOT]. The battery is the one a recorded laptop's
// sysfs describes (its capacities, voltage, current); its charge follows an office day:
// on the charger overnight, unplugged from 8:30 to 12:30 and from 13:30 to 18:00, with
// one sharp drop on the last day. An apps line is written every 5 minutes with it, and a
// warm episode on some afternoons. The days end now, in local time.
#include <PowerCore/battery/BatteryReader.hpp>
#include <PowerCore/history/HistoryStore.hpp>
#include <PowerCore/linux/PosixHistoryFileSystem.hpp>
#include <QuorvelPower/linux/LiveServices.hpp>
#include <cstdio>
#include <cstdlib>

using namespace PowerCore;

namespace {

struct Charge {
    double percent = 100;
    ChargeState state = ChargeState::charged;
};

// The charge of one 5-minute step, given the minute of the local day.
Charge step(Charge charge, int minute, int day, bool lastDay) {
    const bool unplugged = (minute >= 510 && minute < 750) || (minute >= 810 && minute < 1080);
    if (unplugged) {
        // Heavier use in the afternoon, lighter at the weekend-like days.
        double perStep = (minute >= 810 ? 0.75 : 0.55) * (day % 7 >= 5 ? 0.6 : 1.0);
        if (lastDay && minute >= 900 && minute < 930) perStep = 6; // a build, a video call
        charge.percent = std::max(3.0, charge.percent - perStep);
        charge.state = ChargeState::discharging;
    } else if (charge.percent < 100) {
        charge.percent = std::min(100.0, charge.percent + (charge.percent < 80 ? 4.5 : 1.5));
        charge.state = charge.percent >= 100 ? ChargeState::charged : ChargeState::charging;
    } else {
        charge.state = ChargeState::charged;
    }
    return charge;
}

AppsLine appsLine(Timestamp time, int slot, bool unplugged) {
    // As many as the monitor keeps: a busy desktop has more than 20 processes.
    static const char* const names[] = {
        "Firefox",        "Visual Studio Code", "Slack",          "GNOME Shell", "Terminal",
        "Spotify",        "Thunderbird",        "Files",          "Xwayland",    "PipeWire",
        "Evolution Data", "Tracker Miner",      "NetworkManager", "Settings",    "Discord",
        "Signal",         "LibreOffice",        "Calculator",     "Text Editor", "Flatpak"};
    AppsLine line{time, {}, 3 + slot % 4};
    const double load = unplugged ? 1.0 : 0.4;
    double total = 0;
    for (int i = 0; i < 20; ++i)
        total += (60.0 - 2.9 * i) * load;
    for (int i = 0; i < 20; ++i) {
        const double cpu = (60.0 - 2.9 * i + (slot * (i + 3)) % 11) * load;
        line.readings.push_back({names[i], cpu, 40.0 * (20 - i) + slot % 13, cpu / total * 100});
    }
    return line;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: vuzur_write_history FOLDER DAYS [SYSFS_ROOT]\n", stderr);
        return 2;
    }
    const int days = std::atoi(argv[2]);
    auto roots = QuorvelPower::SystemRoots::fromEnvironment(std::getenv);
    if (argc > 3) roots.sysfs = argv[3];
    const QuorvelPower::LiveServices services(roots);
    const auto recorded = BatteryReader(services.batterySource(), services.clock()).read();
    if (!recorded.battery || days < 1) {
        std::fputs("vuzur_write_history: no battery in that sysfs, or no days\n", stderr);
        return 1;
    }
    const auto calendar = Calendar::local();
    const HistoryStore store(argv[1], calendar, std::make_shared<PosixHistoryFileSystem>());
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
        store.appendDailyHealth(DailyHealthPoint::of(store.dayName(start), battery));
        for (int minute = 0; minute < 1440; minute += 5) {
            const auto time = addingSeconds(start, minute * 60.0);
            if (time > now) break;
            charge = step(charge, minute, age, day == 0);
            auto b = battery;
            b.chargePercent = std::int64_t(charge.percent + 0.5);
            b.state = charge.state;
            const bool unplugged = charge.state == ChargeState::discharging;
            b.currentMilliamps = unplugged ? -1472 - (minute % 60) * 10 : 2100;
            b.timeRemainingMinutes = std::nullopt;
            store.append(
                {BatterySnapshot{time, unplugged ? PowerSource::battery : PowerSource::ac, b}});
            store.append({appsLine(time, minute / 5, unplugged)});
            if (minute == 900 && age % 3 == 1)
                store.append({ThermalEpisode{time,
                                             addingSeconds(time, 600.0),
                                             ThermalLevel::fair,
                                             std::nullopt,
                                             {"Firefox", "Visual Studio Code"}}});
        }
    }
    std::printf("%d days written to %s\n", days, argv[1]);
}
