#include <PowerCore/thermal/ThermalLevel.hpp>

namespace PowerCore {

std::string_view title(ThermalLevel level) {
    switch (level) {
    case ThermalLevel::nominal:
        return "Normal";
    case ThermalLevel::fair:
        return "Warm";
    case ThermalLevel::serious:
        return "Hot";
    case ThermalLevel::critical:
        return "Critical";
    }
    return "Normal";
}

ThermalLevel thermalLevelFromRaw(long raw) {
    if (raw >= 3) return ThermalLevel::critical;
    if (raw <= 0) return ThermalLevel::nominal;
    return ThermalLevel(raw);
}

} // namespace PowerCore
