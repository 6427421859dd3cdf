#include <PowerCore/testing/MapSMCTransport.hpp>

namespace PowerCore {

MapSMCTransport::MapSMCTransport(const std::vector<SMCRawValue>& values, bool failing)
    : failing_(failing) {
    for (const auto& value : values)
        values_.insert_or_assign(value.key, value);
}

std::optional<SMCRawValue> MapSMCTransport::read(std::string_view key) const {
    if (failing_) return std::nullopt;
    const auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::vector<SMCRawValue> MapSMCTransport::allKeys() const {
    std::vector<SMCRawValue> all;
    if (failing_) return all;
    for (const auto& [key, value] : values_)
        all.push_back(value);
    return all;
}

} // namespace PowerCore
