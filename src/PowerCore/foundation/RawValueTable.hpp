#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <utility>

namespace PowerCore {

// An enumeration's cases with their raw strings, in declaration order.
template <typename T, size_t N> using RawValueTable = std::array<std::pair<T, std::string_view>, N>;

template <typename T, size_t N>
constexpr std::string_view rawValueIn(const RawValueTable<T, N>& table, T value) {
    for (const auto& [candidate, name] : table)
        if (candidate == value) return name;
    return {};
}

// Exact, case-sensitive match; no value for any other string.
template <typename T, size_t N>
constexpr std::optional<T> caseNamed(const RawValueTable<T, N>& table, std::string_view raw) {
    for (const auto& [candidate, name] : table)
        if (name == raw) return candidate;
    return std::nullopt;
}

} // namespace PowerCore
