#pragma once

#include <QuorvelPower/ui/ScreenPage.hpp>

namespace QuorvelPower {

// The keep-awake tab: a session now, the rules, and who keeps the machine awake.
class KeepAwakeView final : public RebuiltPage {
public:
    explicit KeepAwakeView(ModelSignals& changes);

protected:
    void build(QVBoxLayout* column) override;

private:
    bool clockMoves() const;  // a session runs or a rule rests
    bool clockShown_ = false; // the page shows one of them
    bool displayOn_ = false;
    double hours_ = 1.0;
};

} // namespace QuorvelPower
