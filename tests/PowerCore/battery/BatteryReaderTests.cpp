#include <PowerCore/battery/BatteryReader.hpp>
#include <PowerCore/testing/ManualClock.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

// Counts registry reads so a test can tell they did not happen.
struct ScriptedSource final : BatterySource {
    std::vector<LooseDictionary> rows;
    PowerSource providing = PowerSource::battery;
    std::optional<LooseDictionary> entry;
    mutable int registryReads = 0;

    std::vector<LooseDictionary> powerSources() const override { return rows; }
    PowerSource providingSource() const override { return providing; }
    std::optional<LooseDictionary> registryEntry() const override {
        ++registryReads;
        return entry;
    }
};

LooseDictionary row(LooseDictionary extra = {}) {
    LooseDictionary r{{"Type", "InternalBattery"}, {"Max Capacity", 100}};
    for (auto& [k, v] : extra)
        r[k] = v;
    return r;
}

std::int64_t chargeOf(LooseValue current, LooseValue max) {
    return BatteryReader::decode(row({{"Current Capacity", current}, {"Max Capacity", max}}), {})
        .chargePercent;
}

TEST(BatteryDecode, ChargeRoundsHalfAwayAndClamps) {
    EXPECT_EQ(chargeOf(57, 100), 57);
    EXPECT_EQ(chargeOf(4321, 5000), 86); // 86.42
    EXPECT_EQ(chargeOf(4325, 5000), 87); // 86.5 rounds away from zero
    EXPECT_EQ(chargeOf(150, 0), 100);    // no usable maximum: the count itself, clamped
    EXPECT_EQ(chargeOf(-5, 100), 0);
    EXPECT_EQ(chargeOf(std::int64_t{1} << 62, 1), 100);
    // Wrong types are ignored: the current falls back to 0, the maximum to 100.
    EXPECT_EQ(chargeOf("57", 100), 0);
    EXPECT_EQ(chargeOf(57, "100"), 57);
}

TEST(BatteryDecode, StateFollowsTheFlagsInOrder) {
    const auto stateOf = [](LooseDictionary extra) {
        return BatteryReader::decode(row(std::move(extra)), {}).state;
    };
    EXPECT_EQ(stateOf({{"Is Charged", true}, {"Is Charging", true}}), ChargeState::charged);
    EXPECT_EQ(stateOf({{"Is Charging", true}, {"Vuzur Source State", "Battery Vuzur"}}),
              ChargeState::charging);
    EXPECT_EQ(stateOf({{"Vuzur Source State", "Battery Vuzur"}}), ChargeState::discharging);
    EXPECT_EQ(stateOf({{"Vuzur Source State", "AC Vuzur"}}), ChargeState::notCharging);
    // A flag of the wrong type counts as false.
    EXPECT_EQ(stateOf({{"Is Charged", 1}}), ChargeState::notCharging);
}

TEST(BatteryDecode, TimeComesFromTheKeyThatFitsTheSource) {
    const auto minutesOf = [](LooseDictionary extra) {
        return BatteryReader::decode(row(std::move(extra)), {}).timeRemainingMinutes;
    };
    const LooseDictionary both{{"Time to Empty", 90}, {"Time to Full Charge", 40}};
    auto onBattery = both;
    onBattery["Vuzur Source State"] = "Battery Vuzur";
    auto onMains = both;
    onMains["Vuzur Source State"] = "AC Vuzur";
    EXPECT_EQ(minutesOf(onBattery), 90);
    EXPECT_EQ(minutesOf(onMains), 40);
    EXPECT_EQ(minutesOf({{"Vuzur Source State", "Battery Vuzur"}, {"Time to Empty", -1}}),
              std::nullopt);
    EXPECT_EQ(minutesOf({{"Vuzur Source State", "Battery Vuzur"}, {"Time to Empty", 0}}), 0);
}

TEST(BatteryDecode, RegistryPreferencesAndUnits) {
    LooseDictionary entry{{"AppleRawMaxCapacity", 4800}, {"NominalChargeCapacity", 4900},
                          {"InstantAmperage", -700},     {"Amperage", -1500},
                          {"Temperature", 3015},         {"Voltage", 12500}};
    auto battery = BatteryReader::decode(row(), entry);
    EXPECT_EQ(battery.fullChargeCapacitymAh, 4800);
    EXPECT_EQ(battery.currentMilliamps, -700);
    EXPECT_DOUBLE_EQ(*battery.temperatureCelsius, 30.15);
    EXPECT_EQ(battery.voltageMillivolts, 12500);

    entry.erase("AppleRawMaxCapacity");
    entry.erase("InstantAmperage");
    battery = BatteryReader::decode(row(), entry);
    EXPECT_EQ(battery.fullChargeCapacitymAh, 4900);
    EXPECT_EQ(battery.currentMilliamps, -1500);

    // A preferred key holding a string does not hide the fallback.
    entry["AppleRawMaxCapacity"] = "n/a";
    EXPECT_EQ(BatteryReader::decode(row(), entry).fullChargeCapacitymAh, 4900);
}

TEST(BatteryDecode, HealthDataAndCondition) {
    LooseDictionary entry{{"BatteryHealthData", LooseDictionary{{"MaximumCapacityPercent", 88}}}};
    EXPECT_EQ(BatteryReader::decode(row(), entry).maximumCapacityPercent, 88);
    entry["BatteryHealthData"] = LooseArray{88};
    EXPECT_FALSE(BatteryReader::decode(row(), entry).maximumCapacityPercent);
    EXPECT_FALSE(BatteryReader::decode(row({{"BatteryHealth", ""}}), {}).condition);
    EXPECT_EQ(BatteryReader::decode(row({{"BatteryHealth", "Fair"}}), {}).condition, "Fair");
}

TEST(BatteryInteger, ConvertsTheWayARegistryNeeds) {
    // -1500 stored as an unsigned 64-bit pattern, as older controllers print it.
    const LooseValue unsignedAmperage{std::uint64_t(18446744073709550116ULL)};
    EXPECT_EQ(BatteryReader::integer(&unsignedAmperage), -1500);
    const LooseValue real{41.9};
    EXPECT_EQ(BatteryReader::integer(&real), 41);
    const LooseValue flag{true};
    EXPECT_EQ(BatteryReader::integer(&flag), 1);
    for (const LooseValue& none :
         {LooseValue("12"), LooseValue(LooseArray{1}), LooseValue(LooseDictionary{}),
          LooseValue(std::nan("")), LooseValue(1e30)})
        EXPECT_FALSE(BatteryReader::integer(&none));
    EXPECT_FALSE(BatteryReader::integer(nullptr));
}

TEST(BatteryRead, FindsTheFirstInternalBatteryBehindOtherSources) {
    auto source = std::make_shared<ScriptedSource>();
    source->rows = {{},
                    {{"Type", "UPS"}, {"Current Capacity", 12}},
                    row({{"Current Capacity", 70}}),
                    row({{"Current Capacity", 20}})};
    source->entry = LooseDictionary{{"CycleCount", 12}};
    const auto clock = std::make_shared<ManualClock>(fromUnixSeconds(1'773'480'000));
    const auto snapshot = BatteryReader(source, clock).read();
    EXPECT_EQ(snapshot.time, fromUnixSeconds(1'773'480'000));
    EXPECT_EQ(snapshot.source, PowerSource::battery);
    ASSERT_TRUE(snapshot.battery);
    EXPECT_EQ(snapshot.battery->chargePercent, 70);
    EXPECT_EQ(snapshot.battery->cycleCount, 12);
}

TEST(BatteryRead, NoInternalBatteryMeansNoRegistryRead) {
    auto source = std::make_shared<ScriptedSource>();
    source->rows = {{{"Type", "UPS"}}, {{"Type", 7}}};
    source->providing = PowerSource::ups;
    const auto snapshot =
        BatteryReader(source, std::make_shared<ManualClock>(fromUnixSeconds(1'773'480'000))).read();
    EXPECT_FALSE(snapshot.hasBattery());
    EXPECT_EQ(snapshot.source, PowerSource::ups);
    EXPECT_EQ(source->registryReads, 0);
}

TEST(BatteryRead, MissingRegistryEntryCountsAsEmpty) {
    auto source = std::make_shared<ScriptedSource>();
    source->rows = {row({{"Current Capacity", 33}})};
    const auto snapshot =
        BatteryReader(source, std::make_shared<ManualClock>(fromUnixSeconds(1'773'480'000))).read();
    ASSERT_TRUE(snapshot.battery);
    EXPECT_EQ(snapshot.battery->chargePercent, 33);
    EXPECT_FALSE(snapshot.battery->designCapacitymAh);
}

} // namespace
