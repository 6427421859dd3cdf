#pragma once

#include <PowerCore/foundation/Json.hpp>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace PowerCore {

// The user's stored settings: one JSON value per key ("keepAwakeRules", "guardRails",
// "alertSettings", "loginItemQuestionAsked"). Reading never fails: a key that is absent,
// or a store that cannot be read, gives no value and the caller its defaults. Another
// running copy of the program may write the same store.
class DefaultsStore {
public:
    using Change = std::function<Json(const std::optional<Json>& stored)>;

    virtual ~DefaultsStore() = default;
    virtual std::optional<Json> value(std::string_view key) const = 0;
    // Replaces the value of `key` with what `change` makes of it as it is stored right
    // now, as one step no other writer comes between, and keeps every other key; false
    // when it could not be written.
    virtual bool update(std::string_view key, const Change& change) = 0;
    // Moves on with every write, whoever made it: a caller that remembers it notices the
    // writes of others.
    virtual std::uint64_t version() const = 0;
    // There is a stored file, and it cannot be read (not JSON, nested too deeply): its
    // settings count as none, and the person should hear of it.
    virtual bool unreadable() const { return false; }
    // Where the settings are, for a person.
    virtual std::string location() const { return "the settings"; }

    bool setValue(std::string_view key, const Json& value) {
        return update(key, [&value](const std::optional<Json>&) { return value; });
    }
};

} // namespace PowerCore
