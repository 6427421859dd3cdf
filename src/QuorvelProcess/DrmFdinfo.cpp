#include <QuorvelProcess/DrmFdinfo.hpp>
#include <QuorvelProcess/KernelText.hpp>

namespace QuorvelProcess {

namespace {

// "9288864723 ns" -> 9288864723; none for another unit or no number.
std::optional<std::uint64_t> nanoseconds(std::string_view value) {
    value = KernelText::trim(value);
    if (!value.ends_with(" ns")) return std::nullopt;
    const auto number = KernelText::parseInteger(value.substr(0, value.size() - 3));
    if (!number || *number < 0) return std::nullopt;
    return std::uint64_t(*number);
}

} // namespace

std::string DrmClient::key() const {
    return driver + '\n' + pdev + '\n' + std::to_string(clientId);
}

std::optional<DrmClient> parseDrmFdinfo(std::string_view text) {
    DrmClient client;
    bool hasDriver = false, hasId = false;
    constexpr std::string_view capacityKey = "drm-engine-capacity-", engineKey = "drm-engine-",
                               cyclesKey = "drm-cycles-", totalCyclesKey = "drm-total-cycles-";
    while (!text.empty()) {
        const auto end = text.find('\n');
        const auto line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const auto key = KernelText::trim(line.substr(0, colon));
        const auto value = KernelText::trim(line.substr(colon + 1));
        if (key == "drm-driver") {
            client.driver = std::string(value);
            hasDriver = !value.empty();
        } else if (key == "drm-client-id") {
            const auto id = KernelText::parseInteger(value);
            hasId = id && *id >= 0;
            if (hasId) client.clientId = std::uint64_t(*id);
        } else if (key == "drm-pdev") {
            client.pdev = std::string(value);
        } else if (key.starts_with(capacityKey)) {
            if (const auto count = KernelText::parseInteger(value); count && *count > 0)
                client.capacity[std::string(key.substr(capacityKey.size()))] = int(*count);
        } else if (key.starts_with(engineKey)) {
            if (const auto busy = nanoseconds(value))
                client.busyNanoseconds[std::string(key.substr(engineKey.size()))] = *busy;
        } else if (key.starts_with(cyclesKey) || key.starts_with(totalCyclesKey)) {
            const bool total = key.starts_with(totalCyclesKey);
            const auto count = KernelText::parseInteger(value);
            if (count && *count >= 0)
                (total ? client.totalCycles : client.cycles)[std::string(key.substr(
                    total ? totalCyclesKey.size() : cyclesKey.size()))] = std::uint64_t(*count);
        }
    }
    if (!hasDriver || !hasId) return std::nullopt;
    return client;
}

} // namespace QuorvelProcess
