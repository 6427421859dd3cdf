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
// Throws JsonEncodingError for a NaN or an infinity: JSON has no spelling for them. A value
// written at `depth` is indented as a member of a document that deep (for documents written
// a piece at a time).
std::string writeJson(const Json& document, JsonStyle style, int depth = 0);

// The deepest nesting of arrays and objects a document may have: ours need a handful.
inline constexpr size_t maximumJsonDepth = 64;
// Parses text into a document; no value when it is not JSON, or nests deeper than that.
std::optional<Json> parseJson(std::string_view text);

// The integer `value` holds when it is a whole JSON number that `T` can hold; no value for
// anything else (4294967316 is no int, and does not wrap to 20).
template <typename T> std::optional<T> integerFitting(const Json& value) {
    static_assert(std::is_integral_v<T>);
    if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        if (u > std::uint64_t(std::numeric_limits<T>::max())) return std::nullopt;
        return T(u);
    }
    if (!value.is_number_integer()) return std::nullopt;
    // A signed number here: unsigned ones were taken above.
    const auto i = value.get<std::int64_t>();
    if (i < 0) {
        if constexpr (std::is_signed_v<T>)
            if (i >= std::int64_t(std::numeric_limits<T>::min())) return T(i);
        return std::nullopt;
    }
    if (std::uint64_t(i) > std::uint64_t(std::numeric_limits<T>::max())) return std::nullopt;
    return T(i);
}

} // namespace PowerCore
