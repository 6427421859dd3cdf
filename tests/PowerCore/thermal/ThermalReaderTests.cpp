#include <PowerCore/testing/ManualClock.hpp>
#include <PowerCore/thermal/ThermalReader.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

Timestamp at(double seconds) {
    return fromUnixSeconds(1'773'000'000 + seconds);
}

struct ScriptedThermal final : ThermalSource {
    ThermalLevel current = ThermalLevel::nominal;
    std::optional<CPUPowerStatus> status;
    ThermalLevel level() const override { return current; }
    std::optional<CPUPowerStatus> cpuPowerStatus() const override { return status; }
    std::optional<int> warningLevel() const override { return 2; }
};

TEST(ThermalReader, StatusFieldsComeTogether) {
    auto source = std::make_shared<ScriptedThermal>();
    source->current = ThermalLevel::fair;
    const ThermalReader reader(source, std::make_shared<ManualClock>(at(0)));
    auto snapshot = reader.read();
    EXPECT_EQ(snapshot.level, ThermalLevel::fair);
    EXPECT_EQ(snapshot.warningLevel, 2);
    EXPECT_FALSE(snapshot.cpuSpeedLimit);
    source->status = CPUPowerStatus{70, 8, std::nullopt};
    snapshot = reader.read();
    EXPECT_EQ(snapshot.cpuSpeedLimit, 70);
    EXPECT_EQ(snapshot.availableCPUs, 8);
    EXPECT_EQ(toJson(snapshot).size(), 5u); // no schedulerLimit key
}

} // namespace
