#pragma once

#include <QScrollArea>
#include <QuorvelPower/ui/ModelObservers.hpp>
#include <QuorvelPower/ui/ScreenData.hpp>

namespace QuorvelPower {

class ChargeChart;

// The battery tab: the battery now, its health, the charge chart over a chosen range and
// the capacity day by day; on a machine without a battery, what powers it.
class BatteryView final : public QScrollArea {
public:
    BatteryView(AppModel& model, ModelObservers& observers);
    void rebuild();
    ScreenData::ChartRange range() const { return range_; }

private:
    QWidget* nowCard();
    QWidget* healthCard();
    QWidget* chargeCard();
    QWidget* capacityCard();
    QWidget* noBattery();

    AppModel& model_;
    ScreenData::ChartRange range_ = ScreenData::ChartRange::day;
    bool pending_ = false;
    ModelObservers::Token token_;
};

} // namespace QuorvelPower
