#pragma once

// The battery controller's vocabulary, shared by every battery source and the reader: a key
// misspelt on one side would silently read as absent on the other.
namespace PowerCore {

// Keys of a power source's description (one row per source).
namespace PowerSourceKeys {
inline constexpr const char* type = "Type";
inline constexpr const char* currentCapacity = "Current Capacity";
inline constexpr const char* maxCapacity = "Max Capacity";
inline constexpr const char* isCharging = "Is Charging";
inline constexpr const char* isCharged = "Is Charged";
inline constexpr const char* sourceState = "Vuzur Source State";
inline constexpr const char* timeToEmpty = "Time to Empty";
inline constexpr const char* timeToFullCharge = "Time to Full Charge";
inline constexpr const char* batteryHealth = "BatteryHealth";

// Values of `type`.
inline constexpr const char* internalBattery = "InternalBattery";
inline constexpr const char* ups = "UPS";
inline constexpr const char* accessory = "Accessory";
} // namespace PowerSourceKeys

// Keys of the battery controller's registry entry.
namespace RegistryKeys {
inline constexpr const char* cycleCount = "CycleCount";
inline constexpr const char* designCapacity = "DesignCapacity";
inline constexpr const char* rawMaxCapacity = "AppleRawMaxCapacity";
inline constexpr const char* nominalChargeCapacity = "NominalChargeCapacity";
inline constexpr const char* rawCurrentCapacity = "AppleRawCurrentCapacity";
inline constexpr const char* currentCapacity = "CurrentCapacity";
inline constexpr const char* maxCapacity = "MaxCapacity";
inline constexpr const char* temperature = "Temperature";         // hundredths of a degree Celsius
inline constexpr const char* voltage = "Voltage";                 // millivolts
inline constexpr const char* instantAmperage = "InstantAmperage"; // mA, negative discharging
inline constexpr const char* amperage = "Amperage";
inline constexpr const char* isCharging = "IsCharging";
inline constexpr const char* fullyCharged = "FullyCharged";
inline constexpr const char* timeRemaining = "TimeRemaining"; // minutes
inline constexpr const char* batteryHealthData = "BatteryHealthData";
inline constexpr const char* maximumCapacityPercent = "MaximumCapacityPercent";
inline constexpr const char* permanentFailureStatus = "PermanentFailureStatus";
} // namespace RegistryKeys

} // namespace PowerCore
