#include <PowerCore/foundation/Json.hpp>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

using namespace PowerCore;

Json sample() {
    Json document = Json::object();
    document["zeta"] = 1;
    document["alpha"] = Json::array({1.5, "a/b"});
    document["mid"] = Json::object({{"y", nullptr}, {"x", true}});
    return document;
}

TEST(JsonWriter, ReportStyleIsPrettySortedWithSpacedColons) {
    EXPECT_EQ(writeJson(sample(), JsonStyle::report), "{\n"
                                                      "  \"alpha\" : [\n"
                                                      "    1.5,\n"
                                                      "    \"a\\/b\"\n"
                                                      "  ],\n"
                                                      "  \"mid\" : {\n"
                                                      "    \"x\" : true,\n"
                                                      "    \"y\" : null\n"
                                                      "  },\n"
                                                      "  \"zeta\" : 1\n"
                                                      "}");
}

TEST(JsonWriter, CompactStylesDifferOnlyInKeyOrder) {
    EXPECT_EQ(writeJson(sample(), JsonStyle::historyLine),
              R"({"alpha":[1.5,"a\/b"],"mid":{"x":true,"y":null},"zeta":1})");
    EXPECT_EQ(writeJson(sample(), JsonStyle::settings),
              R"({"zeta":1,"alpha":[1.5,"a\/b"],"mid":{"y":null,"x":true}})");
}

TEST(JsonWriter, NumbersKeepTheirKindAndShortestForm) {
    Json numbers = Json::array();
    numbers.push_back(std::int64_t{-9223372036854775807LL - 1});
    numbers.push_back(std::uint64_t{18446744073709551615ULL});
    numbers.push_back(30.0);
    numbers.push_back(0.1);
    numbers.push_back(30.15);
    numbers.push_back(1e300);
    numbers.push_back(53.23590814196242);
    EXPECT_EQ(writeJson(numbers, JsonStyle::historyLine),
              "[-9223372036854775808,18446744073709551615,30,0.1,30.15,1e+300,53.23590814196242]");
    // Shortest text that reads back to exactly the same double.
    const double third = 1.0 / 3.0;
    const auto text = writeJson(Json(third), JsonStyle::historyLine);
    EXPECT_EQ(std::stod(text), third);
}

TEST(JsonWriter, NonFiniteNumbersAreAnErrorNotNull) {
    for (const double bad : {std::nan(""), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()}) {
        Json document = Json::object({{"watts", bad}});
        for (auto style : {JsonStyle::report, JsonStyle::historyLine, JsonStyle::settings})
            EXPECT_THROW(writeJson(document, style), JsonEncodingError);
    }
}

TEST(JsonWriter, EscapesControlCharactersAndKeepsUnicode) {
    const Json text = std::string("tab\there \"q\" back\\ nl\n \x01 caf\xC3\xA9");
    EXPECT_EQ(writeJson(text, JsonStyle::historyLine),
              "\"tab\\there \\\"q\\\" back\\\\ nl\\n \\u0001 caf\xC3\xA9\"");
    // What we write, a standard parser reads back.
    EXPECT_EQ(parseJson(writeJson(text, JsonStyle::historyLine)), text);
}

TEST(JsonWriter, EmptyContainers) {
    Json document = Json::object({{"keys", Json::array()}, {"values", Json::object()}});
    EXPECT_EQ(writeJson(document, JsonStyle::report), "{\n  \"keys\" : [],\n  \"values\" : {}\n}");
}

TEST(JsonParse, RejectsWhatIsNotJson) {
    EXPECT_FALSE(parseJson("{\"a\":"));
    EXPECT_FALSE(parseJson(""));
    EXPECT_TRUE(parseJson("{\"a\":1}"));
}

} // namespace
