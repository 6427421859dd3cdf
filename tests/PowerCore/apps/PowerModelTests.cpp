#include "TestSupport.hpp"

#include <PowerCore/apps/PowerModel.hpp>
#include <PowerCore/linux/PosixHistoryFileSystem.hpp>
#include <gtest/gtest.h>
#include <random>

namespace {

using namespace PowerCore;
namespace fs = std::filesystem;

using VuzurTests::at;

struct Truth {
    double base, cpu, wakeup, gpu;
};

// `hours` of five-minute samples of varied use whose watts follow `truth`, plus Gaussian
// noise of `noise` watts.
PowerModelSums synthetic(Truth truth, double hours, double noise, bool varied = true,
                         unsigned seed = 20260314) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> cpu(0.05, 2.0), wakeups(50, 2000), gpu(0, 0.6);
    std::normal_distribution<double> error(0, noise);
    PowerModelSums sums;
    for (int i = 0; i < int(hours * 12); ++i) {
        const auto use =
            varied ? PowerUse{cpu(random), wakeups(random), gpu(random)} : PowerUse{0.4, 300, 0.05};
        const double watts = truth.base + truth.cpu * use.cpu + truth.wakeup * use.wakeups +
                             truth.gpu * use.gpu + error(random);
        sums.add(use, watts, 300);
    }
    return sums;
}

TEST(PowerModelFit, GivesBackTheCoefficientsOfANoisyHistory) {
    const Truth truth{6, 9, 0.002, 14};
    // Summed a day at a time, as the learner does.
    PowerModelSums year;
    for (int day = 0; day < 20; ++day)
        year += synthetic(truth, 10, 2.0, true, 1000 + day);
    const auto model = fitPowerModel(year);
    ASSERT_TRUE(model);
    EXPECT_NEAR(model->base, truth.base, truth.base * 0.1);
    EXPECT_NEAR(model->perCpu, truth.cpu, truth.cpu * 0.1);
    EXPECT_NEAR(model->perWakeup, truth.wakeup, truth.wakeup * 0.1);
    EXPECT_NEAR(model->perGpu, truth.gpu, truth.gpu * 0.1);
    EXPECT_EQ(model->samples, 20 * 120);
    EXPECT_DOUBLE_EQ(model->hours, 200);
    EXPECT_GT(model->fitQuality, 0.8);
    EXPECT_LE(model->fitQuality, 1);
}

TEST(PowerModelFit, ANegativeEffectIsHeldAtZero) {
    // More wake-ups with less power cannot be: the fit gives them no cost, and the rest
    // explains the watts.
    const auto model = fitPowerModel(synthetic({12, 10, -0.003, 5}, 40, 0.5));
    ASSERT_TRUE(model);
    EXPECT_EQ(model->perWakeup, 0);
    EXPECT_NEAR(model->perCpu, 10, 1);
    EXPECT_NEAR(model->perGpu, 5, 0.5);
    EXPECT_GT(model->base, 0);
    EXPECT_EQ(model->watts({-1, -500, -0.5}), 0);
}

TEST(PowerModelFit, TrustsOnlyEnoughHoursOfVariedWellExplainedUse) {
    const Truth truth{6, 9, 0.002, 14};
    const auto early = synthetic(truth, 9.5, 0.5);
    EXPECT_FALSE(fitPowerModel(early));
    const auto learning = powerModelStatus(early);
    EXPECT_EQ(learning.state, PowerModelState::learning);
    EXPECT_DOUBLE_EQ(learning.hours, 9.5);
    EXPECT_TRUE(fitPowerModel(synthetic(truth, 10, 0.5)));

    const auto constant = synthetic(truth, 100, 0.5, false);
    EXPECT_FALSE(fitPowerModel(constant));
    EXPECT_EQ(powerModelStatus(constant).state, PowerModelState::tooLittleSpread);

    const auto noisy = synthetic(truth, 100, 30);
    EXPECT_FALSE(fitPowerModel(noisy));
    const auto poor = powerModelStatus(noisy);
    EXPECT_EQ(poor.state, PowerModelState::poorFit);
    EXPECT_LT(poor.fitQuality, PowerModelRules::fitQualityNeeded);
}

TEST(PowerModelFit, ApplicationsAddUpToTheMachine) {
    const auto model = fitPowerModel(synthetic({6, 9, 0.002, 14}, 50, 1));
    ASSERT_TRUE(model);
    const std::vector<AppReading> readings{{"Firefox", 120, 9000, 30.0, 45},
                                           {"Terminal", 3, 600, 1.0, std::nullopt},
                                           {"cc1plus", 280, 20, 60.0, 0}};
    PowerUse machine;
    double apps = 0;
    for (const auto& reading : readings) {
        const auto use = PowerUse::of(reading, 300);
        machine += use;
        apps += model->watts(use);
        EXPECT_GT(model->watts(use), 0);
    }
    EXPECT_NEAR(model->base + apps, model->total(machine), 1e-9);
    EXPECT_NEAR(model->total(machine), 6 + 9 * 403.0 / 300 + 0.002 * 9620 / 300 + 14 * 0.15, 0.5);
}

HistoryLine battery(const char* iso, PowerSource source, ChargeState state,
                    std::optional<std::int64_t> milliamps, std::int64_t millivolts = 12000) {
    BatterySnapshot::Battery b;
    b.chargePercent = 60;
    b.state = state;
    b.currentMilliamps = milliamps;
    b.voltageMillivolts = millivolts;
    return {BatterySnapshot{at(iso), source, b}};
}

HistoryLine discharging(const char* iso, std::int64_t milliamps) {
    return battery(iso, PowerSource::battery, ChargeState::discharging, milliamps);
}

// Rates that add up exactly: 75 CPU seconds in five minutes is 0.25 s/s.
HistoryLine apps(const char* iso, double cpu, double gpu = 0,
                 std::optional<double> seconds = std::nullopt) {
    return {
        AppsLine{at(iso), {{"a", cpu, 600, std::nullopt, gpu}, {"b", cpu, 0, 1.0}}, 0, seconds}};
}

TEST(PowerModelSums, OfADayPairsOnBatterySamplesWithTheNearestAppsLine) {
    const std::vector<HistoryLine> lines{
        apps("2026-03-14T10:00:00Z", 75, 37.5),
        discharging("2026-03-14T10:00:03Z", -1000),
        // Written in the other order, and with a second apps line further away.
        discharging("2026-03-14T10:04:58Z", -2000),
        apps("2026-03-14T10:05:00Z", 150),
        apps("2026-03-14T10:05:50Z", 3000),
        // Charging, on the adapter, no rate, no apps line within a minute: none counts.
        apps("2026-03-14T10:10:00Z", 3000),
        battery("2026-03-14T10:10:01Z", PowerSource::ac, ChargeState::charging, 2000),
        battery("2026-03-14T10:10:02Z", PowerSource::battery, ChargeState::charging, 500),
        battery("2026-03-14T10:10:03Z", PowerSource::unknown, ChargeState::discharging, -900),
        battery("2026-03-14T10:10:04Z", PowerSource::battery, ChargeState::discharging,
                std::nullopt),
        discharging("2026-03-14T10:11:05Z", -1000),
        // A rate no machine has, as a hand edit might leave.
        apps("2026-03-14T10:20:00Z", 1e300),
        discharging("2026-03-14T10:20:00Z", -1000),
        // The first line after a start sums 20 s of readings, not five minutes.
        apps("2026-03-14T10:30:00Z", 5, 0, 20.0),
        discharging("2026-03-14T10:30:01Z", -1000),
        // The sample taken at an unplug is near the line of the regular one: the line counts
        // once, with the nearer sample.
        discharging("2026-03-14T10:39:20Z", -5000),
        apps("2026-03-14T10:40:00Z", 150, 0, 300.0),
        discharging("2026-03-14T10:40:01Z", -2000),
    };
    PowerModelSums expected;
    expected.add({0.5, 2, 0.125}, 12, 300);
    expected.add({1, 2, 0}, 24, 300);
    expected.add({1, 2, 0}, 24, 300);
    EXPECT_EQ(sumsOfDay(lines), expected);
    EXPECT_EQ(sumsOfDay(lines).samples(), 3);
    EXPECT_DOUBLE_EQ(sumsOfDay(lines).hours(), 900.0 / 3600);
}

struct PowerModelLearnerTest : testing::Test {
    VuzurTests::TemporaryFolder temp;
    HistoryStore store{temp.path() / "History", Calendar::utc(),
                       std::make_shared<PosixHistoryFileSystem>()};
    PowerModelLearner learner;

    // An hour of use on battery at `start`.
    void writeHour(const std::string& start) const {
        for (int minute = 0; minute < 60; minute += 5) {
            const auto time = addingSeconds(at(start.c_str()), minute * 60.0);
            const auto iso = formatISO8601(time);
            store.append(apps(iso.c_str(), 30 + minute * 3));
            store.append(discharging(iso.c_str(), -800 - minute * 20));
        }
    }
    std::vector<std::string> learn() {
        const auto catchup = learner.daysToRead(store);
        std::vector<std::string> read;
        for (const auto& day : catchup.toRead)
            read.push_back(day.name);
        learner.merge(PowerModelLearner::read(store, catchup.toRead), catchup.gone);
        return read;
    }
};

TEST_F(PowerModelLearnerTest, ReadsEachDayOnceAndForgetsPrunedDays) {
    writeHour("2026-03-10T09:00:00Z");
    writeHour("2026-03-11T09:00:00Z");
    EXPECT_EQ(learn(), (std::vector<std::string>{"2026-03-10.jsonl", "2026-03-11.jsonl"}));
    EXPECT_EQ(learner.status().state, PowerModelState::learning);
    EXPECT_DOUBLE_EQ(learner.status().hours, 2);
    EXPECT_TRUE(learner.daysToRead(store).empty());

    writeHour("2026-03-12T09:00:00Z");
    EXPECT_EQ(learn(), std::vector<std::string>{"2026-03-12.jsonl"});
    // The day still being written is read again as it grows.
    writeHour("2026-03-12T14:00:00Z");
    EXPECT_EQ(learn(), std::vector<std::string>{"2026-03-12.jsonl"});
    EXPECT_DOUBLE_EQ(learner.status().hours, 4);
    EXPECT_EQ(learner.days().back().sums, sumsOfDay(*store.dayLines("2026-03-12.jsonl")));

    fs::remove(store.directory() / "2026-03-10.jsonl");
    const auto catchup = learner.daysToRead(store);
    EXPECT_TRUE(catchup.toRead.empty());
    EXPECT_EQ(catchup.gone, std::vector<std::string>{"2026-03-10.jsonl"});
    EXPECT_TRUE(learner.merge({}, catchup.gone));
    EXPECT_EQ(learner.days().size(), 2u);
    EXPECT_DOUBLE_EQ(learner.status().hours, 3);
    EXPECT_FALSE(learner.merge({}, {}));
}

} // namespace
