#pragma once

#include <PowerCore/battery/BatterySource.hpp>
#include <filesystem>
#include <stdexcept>

namespace PowerCore {

// Why a battery fixture file could not be loaded.
class FixtureError : public std::runtime_error {
public:
    enum class Kind {
        readFailed,  // the file could not be read (errnoValue says why)
        parseFailed, // not a property list in any known form
        corruptFile, // a property list, but not one battery controller's properties
    };
    FixtureError(Kind what, std::string message, int error = 0)
        : std::runtime_error(std::move(message))
        , kind(what)
        , errnoValue(error) {}
    Kind kind;
    int errnoValue;
};

// A battery controller recorded as properties (the registry vocabulary), served as if it
// were the machine's battery.
class FixtureBatterySource final : public BatterySource {
public:
    FixtureBatterySource(LooseDictionary entry, PowerSource source);
    // Reads an XML or binary property list: a dictionary, or a list whose first element is
    // one (what a registry dump prints). Throws FixtureError.
    static FixtureBatterySource fromPlist(const std::filesystem::path& file, PowerSource source);

    std::vector<LooseDictionary> powerSources() const override;
    PowerSource providingSource() const override { return source_; }
    std::optional<LooseDictionary> registryEntry() const override { return entry_; }

    const LooseDictionary& entry() const { return entry_; }

private:
    LooseDictionary entry_;
    PowerSource source_;
};

// Parses property-list bytes (XML or binary) into a loose value; no value when the bytes
// are not a property list.
std::optional<LooseValue> parsePropertyList(std::string_view bytes);

} // namespace PowerCore
