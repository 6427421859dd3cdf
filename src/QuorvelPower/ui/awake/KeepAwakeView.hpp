#pragma once

#include <QuorvelPower/ui/ScreenPage.hpp>
#include <memory>

namespace QuorvelPower {

class NowCard;
class RulesCard;
class WhoCard;

// The keep-awake tab: a session now, the rules, and who keeps the machine awake. Its cards
// are built once and brought up to date in place.
class KeepAwakeView final : public ScreenPage {
public:
    explicit KeepAwakeView(ModelSignals& changes);
    ~KeepAwakeView() override;

protected:
    void updatePage() override;

private:
    bool clockMoves() const;  // a session runs or a rule rests
    bool clockShown_ = false; // the page shows one of them
    std::unique_ptr<NowCard> now_;
    std::unique_ptr<RulesCard> rules_;
    std::unique_ptr<WhoCard> who_;
};

} // namespace QuorvelPower
