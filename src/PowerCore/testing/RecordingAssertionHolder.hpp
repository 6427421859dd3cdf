#pragma once

#include <PowerCore/awake/AssertionHolder.hpp>
#include <optional>
#include <string>
#include <vector>

namespace PowerCore {

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
