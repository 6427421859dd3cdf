#include <QuorvelProcess/ProcessIdentity.hpp>
#include <charconv>
#include <climits>

namespace QuorvelProcess {

std::string ProcessIdentity::text() const {
    return std::to_string(pid) + "@" + std::to_string(startTime);
}

std::optional<ProcessIdentity> ProcessIdentity::parse(std::string_view text) {
    const size_t at = text.find('@');
    if (at == std::string_view::npos) return std::nullopt;
    ProcessIdentity id;
    const auto pidPart = text.substr(0, at);
    const auto startPart = text.substr(at + 1);
    const auto [pidEnd, pidError] =
        std::from_chars(pidPart.data(), pidPart.data() + pidPart.size(), id.pid);
    const auto [startEnd, startError] =
        std::from_chars(startPart.data(), startPart.data() + startPart.size(), id.startTime);
    if (pidPart.empty() || startPart.empty() || pidError != std::errc{} ||
        startError != std::errc{} || pidEnd != pidPart.data() + pidPart.size() ||
        startEnd != startPart.data() + startPart.size())
        return std::nullopt;
    return id;
}

nlohmann::json ProcessIdentity::json() const {
    return {{"pid", pid}, {"startTime", startTime}};
}

std::optional<ProcessIdentity> ProcessIdentity::fromJson(const nlohmann::json& json) {
    if (!json.is_object() || !json.contains("pid") || !json.contains("startTime"))
        return std::nullopt;
    const auto& pid = json["pid"];
    const auto& start = json["startTime"];
    if (!pid.is_number_integer() || !start.is_number_unsigned()) return std::nullopt;
    const auto value = pid.get<std::int64_t>();
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return ProcessIdentity{std::int32_t(value), start.get<std::uint64_t>()};
}

} // namespace QuorvelProcess
