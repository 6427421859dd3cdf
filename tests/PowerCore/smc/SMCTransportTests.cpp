#include <PowerCore/smc/LiveSMCTransport.hpp>
#include <PowerCore/smc/SMCKeyData.hpp>
#include <PowerCore/smc/SMCTransport.hpp>
#include <PowerCore/testing/MapSMCTransport.hpp>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>

namespace {

using namespace PowerCore;
using Bytes = std::vector<std::uint8_t>;

TEST(SMCFourCC, PacksBigEndianAndReadsBack) {
    EXPECT_EQ(SMCFourCC::code("#KEY"), 0x234B4559u);
    EXPECT_EQ(SMCFourCC::text(SMCFourCC::code("#KEY")), "#KEY");
    EXPECT_EQ(SMCFourCC::text(SMCFourCC::code("flt ")), "flt ");
    EXPECT_EQ(SMCFourCC::text(0x80414243u), "????");
    EXPECT_EQ(SMCFourCC::text(0x414243FFu), "????");
}

TEST(SMCValue, DecodesEachTypeOfTheTable) {
    EXPECT_EQ(SMCValue::decode("sp78", Bytes{0x2F, 0x80}), 47.5);
    EXPECT_EQ(SMCValue::decode("sp78", Bytes{0xFF, 0x00}), -1.0);
    EXPECT_EQ(SMCValue::decode("fpe2", Bytes{0x1F, 0x40}), 2000.0);
    EXPECT_EQ(SMCValue::decode("ui8 ", Bytes{0xFE}), 254.0);
    EXPECT_EQ(SMCValue::decode("ui16", Bytes{0x01, 0x2C}), 300.0);
    EXPECT_EQ(SMCValue::decode("ui32", Bytes{0x00, 0x00, 0x01, 0x2C}), 300.0);
    EXPECT_EQ(SMCValue::decode("ui32", Bytes{0xFF, 0xFF, 0xFF, 0xFF}), 4294967295.0);
    // 3596.9 rpm as a T2 Mac stores it: little-endian IEEE float.
    EXPECT_NEAR(*SMCValue::decode("flt ", Bytes{0x15, 0xCF, 0x60, 0x45}), 3596.9, 0.05);
}

TEST(SMCValue, RejectsWhatDoesNotFit) {
    const auto floatBytes = [](float f) {
        Bytes b(4);
        std::memcpy(b.data(), &f, 4);
        return b;
    };
    EXPECT_FALSE(SMCValue::decode("flt ", floatBytes(std::numeric_limits<float>::infinity())));
    EXPECT_FALSE(SMCValue::decode("flt ", floatBytes(std::numeric_limits<float>::quiet_NaN())));
    EXPECT_FALSE(SMCValue::decode("flt ", Bytes{0x00, 0x00}));
    EXPECT_FALSE(SMCValue::decode("flt", floatBytes(1.0f))); // the blank is part of the type
    EXPECT_FALSE(SMCValue::decode("SP78", Bytes{0x2F, 0x80}));
    EXPECT_FALSE(SMCValue::decode("ui16", Bytes{0x01, 0x2C, 0x00}));
    EXPECT_FALSE(SMCValue::decode("hex_", Bytes{0x01}));
    EXPECT_FALSE(SMCValue::decode("ui8 ", Bytes{}));
}

TEST(SMCKeyData, PayloadIsClampedTo32Bytes) {
    SMCKeyData data;
    for (size_t i = 0; i < data.bytes.size(); ++i)
        data.bytes[i] = std::uint8_t(i);
    EXPECT_EQ(data.payload(-1), Bytes{});
    EXPECT_EQ(data.payload(2), (Bytes{0, 1}));
    EXPECT_EQ(data.payload(40).size(), 32u);
    EXPECT_EQ(SMCKeyData{}, SMCKeyData{});
}

TEST(MapSMCTransport, ServesSortedAndFailsAsAWhole) {
    const std::vector<SMCRawValue> values{{"TC0P", "sp78", {0x2F, 0x80}},
                                          {"F0Ac", "fpe2", {0x1F, 0x40}}};
    const MapSMCTransport map(values);
    EXPECT_EQ(map.read("TC0P")->number(), 47.5);
    EXPECT_FALSE(map.read("TC1P"));
    ASSERT_EQ(map.allKeys().size(), 2u);
    EXPECT_EQ(map.allKeys()[0].key, "F0Ac");
    const MapSMCTransport failing(values, true);
    EXPECT_FALSE(failing.read("TC0P"));
    EXPECT_TRUE(failing.allKeys().empty());
}

// A driver that counts what is asked of it.
struct CountingConnection final : SMCConnection {
    struct Counts {
        int opens = 0, infoCalls = 0, reads = 0;
    };
    std::shared_ptr<Counts> counts = std::make_shared<Counts>();
    bool opens = true;
    std::map<std::string, SMCRawValue> keys;
    std::vector<std::string> order;

    bool open() override {
        ++counts->opens;
        return opens;
    }
    std::optional<SMCKeyData> call(const SMCKeyData& input) override {
        SMCKeyData reply;
        const auto name = SMCFourCC::text(input.key);
        if (input.data8 == SMCCommand::keyByIndex) {
            if (input.data32 >= order.size()) return std::nullopt;
            reply.key = SMCFourCC::code(order[input.data32]);
            return reply;
        }
        const auto it = keys.find(name);
        if (it == keys.end()) {
            reply.result = 132; // the driver's "key not found"
            return reply;
        }
        if (input.data8 == SMCCommand::keyInfo) {
            ++counts->infoCalls;
            reply.keyInfoDataSize = std::uint32_t(it->second.bytes.size());
            reply.keyInfoDataType = SMCFourCC::code(it->second.type);
        } else {
            ++counts->reads;
            std::copy(it->second.bytes.begin(), it->second.bytes.end(), reply.bytes.begin());
        }
        return reply;
    }
};

TEST(LiveSMCTransport, OpensOnceAndNeverRetriesAFailedOpen) {
    auto connection = std::make_unique<CountingConnection>();
    connection->opens = false;
    connection->keys["TC0P"] = {"TC0P", "sp78", {0x2F, 0x80}};
    const auto counts = connection->counts;
    const LiveSMCTransport transport(std::move(connection));
    EXPECT_FALSE(transport.read("TC0P"));
    EXPECT_FALSE(transport.read("TC0P"));
    EXPECT_TRUE(transport.allKeys().empty());
    EXPECT_EQ(counts->opens, 1);
    EXPECT_EQ(counts->reads, 0);
}

TEST(LiveSMCTransport, KeyInfoIsAskedOnceThenEachReadIsOneCall) {
    auto connection = std::make_unique<CountingConnection>();
    connection->keys["TC0P"] = {"TC0P", "sp78", {0x2F, 0x80}};
    const auto counts = connection->counts;
    const LiveSMCTransport transport(std::move(connection));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(transport.read("TC0P")->number(), 47.5);
    EXPECT_EQ(counts->opens, 1);
    EXPECT_EQ(counts->infoCalls, 1);
    EXPECT_EQ(counts->reads, 3);
}

TEST(LiveSMCTransport, KeySizesOutside1To32AreUnreadableAndNotCached) {
    auto connection = std::make_unique<CountingConnection>();
    connection->keys["ZERO"] = {"ZERO", "ui8 ", {}};
    connection->keys["HUGE"] = {"HUGE", "ch8*", Bytes(33, 0x41)};
    const auto counts = connection->counts;
    const LiveSMCTransport transport(std::move(connection));
    EXPECT_FALSE(transport.read("ZERO"));
    EXPECT_FALSE(transport.read("ZERO"));
    EXPECT_FALSE(transport.read("HUGE"));
    EXPECT_EQ(counts->infoCalls, 3);
    EXPECT_EQ(counts->reads, 0);
}

TEST(LiveSMCTransport, AllKeysWalksTheIndexAndSkipsUnreadableKeys) {
    auto connection = std::make_unique<CountingConnection>();
    connection->keys["#KEY"] = {"#KEY", "ui32", {0, 0, 0, 4}};
    connection->keys["TC0P"] = {"TC0P", "sp78", {0x2F, 0x80}};
    connection->keys["F0Ac"] = {"F0Ac", "fpe2", {0x1F, 0x40}};
    // Index 3 does not exist although #KEY says 4; GONE has no info.
    connection->order = {"TC0P", "GONE", "F0Ac"};
    const LiveSMCTransport transport(std::move(connection));
    const auto keys = transport.allKeys();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].key, "TC0P");
    EXPECT_EQ(keys[1], (SMCRawValue{"F0Ac", "fpe2", {0x1F, 0x40}}));
}

} // namespace
