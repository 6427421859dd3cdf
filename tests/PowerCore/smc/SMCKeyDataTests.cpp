#include <PowerCore/smc/SMCKeyData.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;
using Bytes = std::vector<std::uint8_t>;

TEST(SMCKeyData, PayloadIsClampedTo32Bytes) {
    SMCKeyData data;
    for (size_t i = 0; i < data.bytes.size(); ++i)
        data.bytes[i] = std::uint8_t(i);
    EXPECT_EQ(data.payload(-1), Bytes{});
    EXPECT_EQ(data.payload(2), (Bytes{0, 1}));
    EXPECT_EQ(data.payload(40).size(), 32u);
    EXPECT_EQ(SMCKeyData{}, SMCKeyData{});
}

} // namespace
