#pragma once

#include <PowerCore/smc/SMCKeyData.hpp>
#include <optional>

namespace PowerCore {

// The driver side of the SMC: opened once, then answers 80-byte records (key info, read
// key, key by index). On Linux, ApplesmcConnection answers them from the applesmc device.
class SMCConnection {
public:
    virtual ~SMCConnection() = default;
    virtual bool open() = 0;
    // The reply, or nothing when the call failed or the driver's result byte is not 0.
    virtual std::optional<SMCKeyData> call(const SMCKeyData& input) = 0;
};

} // namespace PowerCore
