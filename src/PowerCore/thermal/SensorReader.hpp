#pragma once

#include <PowerCore/smc/SMCTransport.hpp>
#include <PowerCore/thermal/SensorSet.hpp>
#include <memory>

namespace PowerCore {

// Reads one model's SMC key table through a transport. Copies share the transport.
class SensorReader {
public:
    SensorReader(std::shared_ptr<const SMCTransport> transport, std::string model,
                 bool allowUnverified);

    bool hasTable() const { return table_.has_value(); }
    const std::string& model() const { return model_; }
    SensorSet read() const;

private:
    std::optional<double> number(const std::string& key) const;

    std::shared_ptr<const SMCTransport> transport_;
    std::string model_;
    std::optional<SMCKeyTable> table_;
};

} // namespace PowerCore
