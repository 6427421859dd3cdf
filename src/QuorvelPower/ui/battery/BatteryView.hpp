#pragma once

#include <QuorvelPower/ui/ScreenData.hpp>
#include <QuorvelPower/ui/ScreenPage.hpp>

namespace QuorvelPower {

class CapacityCard;
class DevicesCard;
class ChargeCard;
class HealthCard;
class NoBatteryBox;
class NowCard;

// The battery tab: the battery now, its health, the charge chart over a chosen range and
// the capacity day by day; on a machine without a battery, what powers it.
class BatteryView final : public ScreenPage {
public:
    explicit BatteryView(ModelSignals& changes);
    ScreenData::ChartRange range() const { return range_; }

protected:
    void updatePage() override;

private:
    QWidget* rangePicker();

    ScreenData::ChartRange range_ = ScreenData::ChartRange::day;
    NoBatteryBox* noBattery_;
    NowCard* now_;
    HealthCard* health_;
    ChargeCard* charge_;
    CapacityCard* capacity_;
    DevicesCard* devices_;
};

} // namespace QuorvelPower
