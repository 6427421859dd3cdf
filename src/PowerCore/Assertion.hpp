#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace PowerCore {

enum class AssertionKind { system, display };
std::string_view rawValue(AssertionKind kind);

// What one evaluation of the keep-awake engine wants held.
struct DesiredAssertion {
    AssertionKind kind = AssertionKind::system;
    std::string title;
    double timeout = 0; // seconds the system keeps it without a refresh
    bool operator==(const DesiredAssertion&) const = default;
};

// The longest timeout ever given to the platform: a hung or killed program lets the
// machine sleep again within 15 minutes.
inline constexpr double assertionTimeoutCeiling = 900;

// Brings the one held inhibition in line with the engine's wish.
class AssertionHolder {
public:
    virtual ~AssertionHolder() = default;
    virtual const std::optional<DesiredAssertion>& current() const = 0;
    virtual void apply(const std::optional<DesiredAssertion>& desired) = 0;
};

// Counts and logs what a holder would do; holds nothing.
class RecordingAssertionHolder final : public AssertionHolder {
public:
    const std::optional<DesiredAssertion>& current() const override { return current_; }
    void apply(const std::optional<DesiredAssertion>& desired) override;

    int creates = 0, releases = 0, refreshes = 0;
    std::vector<std::string> log;
    // One more create than releases exactly while something is held.
    bool balanced() const { return creates - releases == (current_ ? 1 : 0); }

private:
    std::optional<DesiredAssertion> current_;
};

} // namespace PowerCore
