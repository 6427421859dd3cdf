#include <PowerCore/foundation/LooseValue.hpp>
#include <limits>

namespace PowerCore {

namespace {

const LooseValue* find(const LooseDictionary& dict, std::string_view key) {
    const auto it = dict.find(key);
    return it == dict.end() ? nullptr : &it->second;
}

} // namespace

std::optional<std::string> stringValue(const LooseDictionary& dict, std::string_view key) {
    const LooseValue* value = find(dict, key);
    if (value == nullptr) return std::nullopt;
    if (const auto* s = value->as<std::string>()) return *s;
    return std::nullopt;
}

std::optional<bool> boolValue(const LooseDictionary& dict, std::string_view key) {
    const LooseValue* value = find(dict, key);
    if (value == nullptr) return std::nullopt;
    if (const auto* b = value->as<bool>()) return *b;
    return std::nullopt;
}

std::optional<std::int64_t> integerValue(const LooseDictionary& dict, std::string_view key) {
    const LooseValue* value = find(dict, key);
    if (value == nullptr) return std::nullopt;
    if (const auto* i = value->as<std::int64_t>()) return *i;
    if (const auto* u = value->as<std::uint64_t>();
        u != nullptr && *u <= std::uint64_t(std::numeric_limits<std::int64_t>::max()))
        return std::int64_t(*u);
    return std::nullopt;
}

} // namespace PowerCore
