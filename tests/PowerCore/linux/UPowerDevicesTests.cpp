// The devices UPower adds to the kernel's, against a fake UPower on a private system bus.
#include "DesktopBus.hpp"
#include "TestSupport.hpp"

#include <PowerCore/linux/LivePeripherals.hpp>
#include <PowerCore/linux/UPowerDevices.hpp>
#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>

namespace {

using namespace PowerCore;
using VuzurTests::FakeDesktop;

using Properties = std::map<std::string, sdbus::Variant>;

void addDevice(FakeDesktop& desktop, const std::string& name, Properties properties) {
    sdbus::createProxy(desktop.connection(FakeDesktop::Bus::system), "org.freedesktop.UPower",
                       "/org/freedesktop/UPower")
        ->callMethod("AddObject")
        .onInterface("org.freedesktop.DBus.Mock")
        .withArguments(
            "/org/freedesktop/UPower/devices/" + name, std::string("org.freedesktop.UPower.Device"),
            properties,
            std::vector<sdbus::Struct<std::string, std::string, std::string, std::string>>{});
}

Properties device(std::uint32_t type, const char* model, bool powerSupply, const char* nativePath,
                  double percentage, std::uint32_t level, std::uint32_t state,
                  const char* serial = "") {
    return {{"Type", sdbus::Variant(type)},
            {"Serial", sdbus::Variant(std::string(serial))},
            {"Vendor", sdbus::Variant(std::string())},
            {"Model", sdbus::Variant(std::string(model))},
            {"PowerSupply", sdbus::Variant(powerSupply)},
            {"IsPresent", sdbus::Variant(true)},
            {"NativePath", sdbus::Variant(std::string(nativePath))},
            {"Percentage", sdbus::Variant(percentage)},
            {"BatteryLevel", sdbus::Variant(level)},
            {"State", sdbus::Variant(state)}};
}

TEST(UPowerDevices, AHeadsetJoinsTheKernelsDevicesAndNothingIsListedTwice) {
    if (const auto why = FakeDesktop::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
    const auto mouse = VuzurTests::testData("sysfs/desktop_with_g903_mouse");
    {
        UPowerDevices absent;
        EXPECT_EQ(readPeripherals(mouse, &absent).size(), 1u) << "no UPower: the kernel's";
    }
    FakeDesktop desktop;
    desktop.start("upower", "org.freedesktop.UPower", FakeDesktop::Bus::system);
    // A Bluetooth headset; the mouse again, as UPower reads it from the kernel; the laptop's
    // own battery; a keyboard telling only a level; a phone (not a peripheral here).
    addDevice(desktop, "headset",
              device(17, "WH-1000XM4", false, "/org/bluez/hci0/dev_XX", 40, 1, 2));
    addDevice(desktop, "mouse", device(5, "G903", false, "hidpp_battery_6", 99, 1, 1));
    addDevice(desktop, "battery_BAT0", device(2, "DELL", true, "BAT0", 80, 1, 2));
    addDevice(desktop, "keyboard",
              device(6, "K380", false, "/org/bluez/hci0/dev_YY", 0, 3, 2, "K-1"));
    addDevice(desktop, "phone", device(8, "Pixel", false, "/org/bluez/hci0/dev_ZZ", 50, 1, 2));
    UPowerDevices upower;
    const auto devices = readPeripherals(mouse, &upower);
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0], (PeripheralBattery{"K380", "keyboard", std::nullopt, "Low", "Discharging",
                                             true, "K-1"}));
    EXPECT_EQ(devices[1].name, "Logitech G903") << "the kernel's entry, once";
    EXPECT_EQ(devices[2], (PeripheralBattery{"WH-1000XM4", "headset", 40, std::nullopt,
                                             "Discharging", true, ""}));
}

} // namespace
