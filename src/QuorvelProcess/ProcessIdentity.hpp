#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace QuorvelProcess {

// A process as it can be told apart over time: its pid and the moment it started, in
// microseconds since 1970. A reused pid starts later, so it names another process.
struct ProcessIdentity {
    std::int32_t pid = 0;
    std::uint64_t startTime = 0; // microseconds since 1970

    // "pid@start", e.g. "4711@1767225600123456".
    std::string text() const;
    static std::optional<ProcessIdentity> parse(std::string_view text);

    // {"pid": 4711, "startTime": 1767225600123456}
    nlohmann::json json() const;
    static std::optional<ProcessIdentity> fromJson(const nlohmann::json& json);

    auto operator<=>(const ProcessIdentity&) const = default;
};

} // namespace QuorvelProcess

template <> struct std::hash<QuorvelProcess::ProcessIdentity> {
    size_t operator()(const QuorvelProcess::ProcessIdentity& id) const noexcept {
        return std::hash<std::uint64_t>{}(id.startTime * 4194319 + std::uint64_t(id.pid));
    }
};
