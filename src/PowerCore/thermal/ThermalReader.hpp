#pragma once

#include <PowerCore/foundation/Clock.hpp>
#include <PowerCore/thermal/ThermalSnapshot.hpp>
#include <PowerCore/thermal/ThermalSource.hpp>
#include <memory>

namespace PowerCore {

class ThermalReader {
public:
    ThermalReader(std::shared_ptr<const ThermalSource> source, std::shared_ptr<const Clock> clock);
    ThermalSnapshot read() const;

private:
    std::shared_ptr<const ThermalSource> source_;
    std::shared_ptr<const Clock> clock_;
};

} // namespace PowerCore
