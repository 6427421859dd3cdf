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
    bool update(std::string_view key, const Change& change) override {
        if (failing) return false;
        values.insert_or_assign(std::string(key), change(value(key)));
        ++writes;
        return true;
    }
    std::uint64_t version() const override { return writes; }
    bool unreadable() const override { return brokenFile; }

    std::map<std::string, Json> values;
    bool failing = false;
    bool brokenFile = false; // as a settings file that cannot be read
    std::uint64_t writes = 0;
};

} // namespace PowerCore
