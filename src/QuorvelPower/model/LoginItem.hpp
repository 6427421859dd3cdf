#pragma once

#include <optional>
#include <string>

namespace QuorvelPower {

// Whether the program opens when the user logs in. Rules only run while it is open, so the
// keep-awake and settings screens show this and offer to change it.
class LoginItem {
public:
    enum class Status { enabled, requiresApproval, notRegistered, notFound, unavailable };

    virtual ~LoginItem() = default;
    virtual Status status() const = 0;
    // Nothing on success, otherwise a text for the user.
    virtual std::optional<std::string> registerItem() = 0;
    virtual std::optional<std::string> unregisterItem() = 0;
    // Brings an enabled item that an older version registered up to date; nothing to do by
    // default.
    virtual void refresh() {}

    // What the screens write for a status, in this platform's words.
    static std::string caption(Status status);
    // What registering says where the program cannot be registered at all.
    static std::string unavailableText();
};

} // namespace QuorvelPower
