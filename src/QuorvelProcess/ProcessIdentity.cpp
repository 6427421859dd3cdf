#include "ProcessIdentity.hpp"

#include <charconv>

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

} // namespace QuorvelProcess
