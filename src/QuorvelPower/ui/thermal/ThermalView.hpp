#pragma once

#include <QuorvelPower/ui/ScreenPage.hpp>

namespace QuorvelPower {

// The thermal tab: the state, the sensors and the episodes above normal.
class ThermalView final : public RebuiltPage {
public:
    explicit ThermalView(ModelSignals& changes);

protected:
    void build(QVBoxLayout* column) override;
};

} // namespace QuorvelPower
