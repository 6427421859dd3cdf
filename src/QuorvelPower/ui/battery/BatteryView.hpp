#pragma once

#include <QuorvelPower/ui/ScreenData.hpp>
#include <QuorvelPower/ui/ScreenPage.hpp>

namespace QuorvelPower {

class ChargeChart;

// The battery tab: the battery now, its health, the charge chart over a chosen range and
// the capacity day by day; on a machine without a battery, what powers it.
class BatteryView final : public RebuiltPage {
public:
    explicit BatteryView(ModelSignals& changes);
    ScreenData::ChartRange range() const { return range_; }

protected:
    void build(QVBoxLayout* column) override;

private:
    QWidget* nowCard();
    QWidget* healthCard();
    QWidget* chargeCard();
    QWidget* capacityCard();
    QWidget* noBattery();

    ScreenData::ChartRange range_ = ScreenData::ChartRange::day;
};

} // namespace QuorvelPower
