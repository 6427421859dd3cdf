#pragma once

#include <string_view>

namespace PowerCore {

enum class ThermalLevel { nominal = 0, fair = 1, serious = 2, critical = 3 };

// "Normal", "Warm", "Hot", "Critical".
std::string_view title(ThermalLevel level);
// From the platform's thermal state number; 4 or more is critical, below 0 nominal.
ThermalLevel thermalLevelFromRaw(long raw);

} // namespace PowerCore
