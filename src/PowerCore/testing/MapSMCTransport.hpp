#pragma once

#include <PowerCore/smc/SMCTransport.hpp>
#include <map>
#include <string>
#include <vector>

namespace PowerCore {

// Keys served from memory, for tests and recorded machines.
class MapSMCTransport final : public SMCTransport {
public:
    explicit MapSMCTransport(const std::vector<SMCRawValue>& values, bool failing = false);
    std::optional<SMCRawValue> read(std::string_view key) const override;
    std::vector<SMCRawValue> allKeys() const override;

private:
    std::map<std::string, SMCRawValue, std::less<>> values_;
    bool failing_;
};

} // namespace PowerCore
