#pragma once

#include <PowerCore/foundation/Timestamp.hpp>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace PowerCore {

struct LooseValue;

using LooseArray = std::vector<LooseValue>;
using LooseDictionary = std::map<std::string, LooseValue, std::less<>>;

struct LooseData {
    std::vector<std::uint8_t> bytes;
    bool operator==(const LooseData&) const = default;
};

// One value of property-list or registry data, typed as loosely as the source is.
// Unsigned integers stay apart from signed ones: registry counters arrive unsigned and
// some of them are two's-complement negatives that only the reader may reinterpret.
struct LooseValue {
    using Storage = std::variant<bool, std::int64_t, std::uint64_t, double, std::string, Timestamp,
                                 LooseData, LooseArray, LooseDictionary>;
    Storage value;

    LooseValue()
        : value(false) {}
    LooseValue(bool v)
        : value(v) {}
    LooseValue(int v)
        : value(std::int64_t{v}) {}
    LooseValue(std::int64_t v)
        : value(v) {}
    LooseValue(std::uint64_t v)
        : value(v) {}
    LooseValue(double v)
        : value(v) {}
    LooseValue(const char* v)
        : value(std::string(v)) {}
    LooseValue(std::string v)
        : value(std::move(v)) {}
    LooseValue(Timestamp v)
        : value(v) {}
    LooseValue(LooseData v)
        : value(std::move(v)) {}
    LooseValue(LooseArray v)
        : value(std::move(v)) {}
    LooseValue(LooseDictionary v)
        : value(std::move(v)) {}

    template <typename T> const T* as() const { return std::get_if<T>(&value); }

    bool operator==(const LooseValue&) const = default;
};

// Typed look-ups that give no value when the key is missing or holds another type.
std::optional<std::string> stringValue(const LooseDictionary& dict, std::string_view key);
std::optional<bool> boolValue(const LooseDictionary& dict, std::string_view key);
// A signed integer, or an unsigned one that fits.
std::optional<std::int64_t> integerValue(const LooseDictionary& dict, std::string_view key);

} // namespace PowerCore
