#include <PowerCore/smc/SMCRawValue.hpp>
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

} // namespace
