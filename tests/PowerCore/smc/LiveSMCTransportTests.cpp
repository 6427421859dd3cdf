#include <PowerCore/smc/LiveSMCTransport.hpp>
#include <gtest/gtest.h>
#include <map>

namespace {

using namespace PowerCore;
using Bytes = std::vector<std::uint8_t>;

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
