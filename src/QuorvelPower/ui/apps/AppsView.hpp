#pragma once

#include <QuorvelPower/ui/ScreenPage.hpp>

namespace QuorvelPower {

// The apps tab: which applications use the power in the chosen window.
class AppsView final : public RebuiltPage {
public:
    explicit AppsView(ModelSignals& changes);

protected:
    void build(QVBoxLayout* column) override;
};

} // namespace QuorvelPower
