#pragma once

#include <PowerCore/foundation/Json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace PowerCore {

// The user's stored settings: one JSON value per key ("keepAwakeRules", "guardRails",
// "alertSettings", "loginItemQuestionAsked"). Reading never fails: a key that is absent,
// or a store that cannot be read, gives no value and the caller its defaults.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;
    virtual std::optional<Json> value(std::string_view key) const = 0;
    // Stores `value` under `key` and keeps every other key; false when it could not be
    // written.
    virtual bool setValue(std::string_view key, const Json& value) = 0;
};

} // namespace PowerCore
