// The SMC of Macs running Linux, served from recorded applesmc device folders.
#include "TestSupport.hpp"

#include <PowerCore/linux/ApplesmcConnection.hpp>
#include <PowerCore/smc/LiveSMCTransport.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;
using VuzurTests::testData;

LiveSMCTransport smcOf(const std::string& machine) {
    return LiveSMCTransport(std::make_unique<ApplesmcConnection>(testData("sysfs/" + machine)));
}

TEST(Applesmc, TemperatureLabelsAreKeysServedAsSp78) {
    const auto smc = smcOf("macbookpro11_1_applesmc");
    // temp1_input 45750 m°C = 45.75 °C = 0x2DC0 in 8.8 fixed point.
    EXPECT_EQ(smc.read("TA0P"), (SMCRawValue{"TA0P", "sp78", {0x2D, 0xC0}}));
    // The driver's "absent" -127 °C survives as a value the sensor range rejects.
    EXPECT_EQ(smc.read("TH0C")->number(), -127.0);
    EXPECT_EQ(smc.read("TH0F")->number(), -29.75);
    EXPECT_FALSE(smc.read("ZZZZ"));
}

TEST(Applesmc, FanAttributesAreFanKeysServedAsFpe2) {
    const auto smc = smcOf("macbookpro11_1_applesmc");
    EXPECT_EQ(smc.read("F0Ac")->number(), 1308.0);
    EXPECT_EQ(smc.read("F0Mn")->number(), 1299.0);
    EXPECT_EQ(smc.read("F0Mx")->number(), 6199.0);
    EXPECT_EQ(smc.read("F0Ac")->type, "fpe2");
    // No fan1_max on the 2007 MacBook: no F0Mx key.
    EXPECT_FALSE(smcOf("macbook_2007_applesmc").read("F0Mx"));
    // A driver value near 2^62 tops out at the largest fpe2 value instead of overflowing.
    VuzurTests::TemporaryFolder root;
    root.write("devices/platform/applesmc.768/name", "applesmc\n");
    root.write("devices/platform/applesmc.768/fan1_input", "4611686018427387904\n");
    const LiveSMCTransport wild(std::make_unique<ApplesmcConnection>(root.path()));
    EXPECT_EQ(wild.read("F0Ac"), (SMCRawValue{"F0Ac", "fpe2", {0xFF, 0xFF}}));
}

TEST(Applesmc, AllKeysListsTemperaturesThenFans) {
    const auto keys = smcOf("macbookpro11_1_applesmc").allKeys();
    // 31 temperature labels and one fan's three keys.
    ASSERT_EQ(keys.size(), 34u);
    EXPECT_EQ(keys.front().key, "TA0P");
    EXPECT_EQ(keys[30].key, "Ts1S");
    EXPECT_EQ(keys[31].key, "F0Ac");
    EXPECT_EQ(keys.back().key, "F0Mx");
}

TEST(Applesmc, FilesOnThePlatformDeviceOnlyOrBehindAHwmonLink) {
    // The platform device folder carries the files on older kernels; hwmonN is a link.
    EXPECT_EQ(smcOf("applesmc_coretemp_legacy_layout").read("F1Ac")->number(), 1998.0);
}

TEST(Applesmc, NoDeviceMeansNothingAtAll) {
    const auto smc = smcOf("dell_xps15_9560_discharging");
    EXPECT_FALSE(smc.read("#KEY"));
    EXPECT_TRUE(smc.allKeys().empty());
}

TEST(Applesmc, SelectedKeyFilesKeepTheTypeBlankAndRawBytes) {
    const auto folder = testData("smc/macbookpro16_1_key_at_index/");
    const auto fan = ApplesmcConnection::readSelectedKey(folder / "F0Ac");
    ASSERT_TRUE(fan);
    EXPECT_EQ(fan->key, "F0Ac");
    EXPECT_EQ(fan->type, "flt ");
    EXPECT_EQ(fan->bytes, (std::vector<std::uint8_t>{0x15, 0xCF, 0x60, 0x45}));
    EXPECT_NEAR(*fan->number(), 3596.9, 0.05);
    const auto minimum = ApplesmcConnection::readSelectedKey(folder / "F0Mn");
    EXPECT_NEAR(*minimum->number(), 1836.0, 0.5);
    const auto count = ApplesmcConnection::readSelectedKey(folder / "FNum");
    EXPECT_EQ(count->type, "ui8 ");
    EXPECT_EQ(count->number(), 2.0); // two fans on the 16" model
    EXPECT_FALSE(ApplesmcConnection::readSelectedKey(folder / "missing"));
}

} // namespace
