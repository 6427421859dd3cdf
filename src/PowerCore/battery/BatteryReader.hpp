#pragma once

#include <PowerCore/battery/BatterySource.hpp>
#include <PowerCore/foundation/Clock.hpp>
#include <memory>

namespace PowerCore {

// Turns what a BatterySource reports into one BatterySnapshot. Holds no state of its own,
// so copies can be handed to a background task.
class BatteryReader {
public:
    BatteryReader(std::shared_ptr<const BatterySource> source, std::shared_ptr<const Clock> clock);

    BatterySnapshot read() const;

    // One power-source description plus the registry entry (possibly empty) to a battery.
    static BatterySnapshot::Battery decode(const LooseDictionary& row,
                                           const LooseDictionary& entry);

    // A loose registry value as a signed integer. Unsigned values are reinterpreted bit
    // for bit, so a controller's two's-complement current arrives negative; reals are
    // truncated; booleans count as 0 and 1; anything else gives no value.
    static std::optional<std::int64_t> integer(const LooseValue* value);
    static std::optional<std::int64_t> integer(const LooseDictionary& entry, std::string_view key);

private:
    std::shared_ptr<const BatterySource> source_;
    std::shared_ptr<const Clock> clock_;
};

} // namespace PowerCore
