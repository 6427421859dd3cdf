#pragma once

#include <QuorvelPower/ui/ScreenPage.hpp>

namespace QuorvelPower {

// The apps tab: which applications use the power in the chosen window.
class AppsView final : public ScreenPage {
public:
    AppsView(AppModel& model, ModelObservers& observers);

protected:
    void build(QVBoxLayout* column) override;
};

} // namespace QuorvelPower
