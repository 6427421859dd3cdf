#pragma once

#include <PowerCore/smc/SMCRawValue.hpp>
#include <optional>
#include <string_view>
#include <vector>

namespace PowerCore {

// Read-only access to the SMC's keys.
class SMCTransport {
public:
    virtual ~SMCTransport() = default;
    virtual std::optional<SMCRawValue> read(std::string_view key) const = 0;
    // Every key the SMC lists, in its own order.
    virtual std::vector<SMCRawValue> allKeys() const = 0;
};

} // namespace PowerCore
