#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace PowerCore {

// Documents keep their members in insertion order; the writer sorts where a style asks.
using Json = nlohmann::ordered_json;

enum class JsonStyle {
    // Headless reports: two-space indentation, " : ", keys sorted.
    report,
    // History lines and exports: compact, keys sorted.
    historyLine,
    // Stored settings: compact, members in field order.
    settings,
};

struct JsonEncodingError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Writes `document` in `style`. "/" is escaped as "\/", integers print as integers and
// floating-point numbers in their shortest form that reads back to the same value.
// Throws JsonEncodingError for a NaN or an infinity: JSON has no spelling for them.
std::string writeJson(const Json& document, JsonStyle style);

// Parses text into a document; no value when it is not JSON.
std::optional<Json> parseJson(std::string_view text);

} // namespace PowerCore
