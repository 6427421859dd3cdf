#pragma once

#include <PowerCore/foundation/DefaultsStore.hpp>
#include <map>

namespace PowerCore {

// Settings kept in memory; `failing` refuses every write.
class MemoryDefaultsStore final : public DefaultsStore {
public:
    std::optional<Json> value(std::string_view key) const override {
        const auto it = values.find(std::string(key));
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    bool setValue(std::string_view key, const Json& value) override {
        if (failing) return false;
        values.insert_or_assign(std::string(key), value);
        return true;
    }

    std::map<std::string, Json> values;
    bool failing = false;
};

} // namespace PowerCore
