#pragma once

#include <PowerCore/awake/AssertionHolder.hpp>
#include <optional>
#include <string>
#include <vector>

namespace PowerCore {

// Counts and logs what a holder would do; holds nothing. With `failWith` set, every create
// fails for that reason.
class RecordingAssertionHolder final : public AssertionHolder {
public:
    std::optional<DesiredAssertion> current() const override { return current_; }
    void apply(const std::optional<DesiredAssertion>& desired) override;
    HoldStatus status() const override { return status_; }
    void onStatusChange(std::function<void()> changed) override { changed_ = std::move(changed); }
    bool settle(std::chrono::milliseconds) override { return true; }

    int creates = 0, releases = 0, refreshes = 0;
    std::vector<std::string> log;
    std::optional<HoldFailure> failWith;
    // One more create than releases exactly while something is held.
    bool balanced() const { return creates - releases == (current_ ? 1 : 0); }
    // As a live holder reports a change it saw by itself (a service that left).
    void setStatus(HoldStatus status);

private:
    std::optional<DesiredAssertion> current_;
    HoldStatus status_;
    std::function<void()> changed_;
};

} // namespace PowerCore
