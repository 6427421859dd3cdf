#pragma once

#include <QuorvelPower/model/AppModel.hpp>
#include <QuorvelPower/ui/ScreenData.hpp>
#include <QuorvelPower/ui/Widgets.hpp>

class QCategoryAxis;
class QLineSeries;
class QValueAxis;

namespace QuorvelPower {

class ChargeChart;

// The cards of the battery tab, each built once and brought up to date with `update`.

// The battery now: charge, power, time left, the drop since unplugged; temperature, voltage
// and current under them where the battery reports them.
class NowCard final : public Card {
public:
    NowCard();
    void update(const AppModel& model);

private:
    BigNumber *charge_, *power_, *time_, *sinceUnplugged_;
    QWidget *temperatureIcon_, *voltageIcon_;
    QLabel *temperature_, *voltage_, *current_;
};

// Maximum capacity, full charge against design, cycles, the condition, the record's start.
class HealthCard final : public Card {
public:
    HealthCard();
    void update(const AppModel& model);

private:
    BigNumber *capacity_, *fullCharge_, *cycles_;
    QLabel *condition_, *recordSince_;
};

// The charge over the chosen range, or the hint while there is too little to draw.
class ChargeCard final : public Card {
public:
    explicit ChargeCard(QWidget* rangePicker);
    void update(const AppModel& model, ScreenData::ChartRange range);

private:
    ChargeChart* chart_;
    QLabel* hint_;
};

// Full-charge capacity and cycles, one point a day.
class CapacityCard final : public Card {
public:
    CapacityCard();
    void update(const std::vector<PowerCore::DailyHealthPoint>& points);

private:
    void showDays(const std::vector<PowerCore::DailyHealthPoint>& points);

    QLabel* hint_;
    QWidget* chart_;
    QLineSeries *measured_, *computed_;
    QCategoryAxis* days_;
    QValueAxis* value_;
    QLabel* cycles_;
};

// The batteries of mice, keyboards, pens and headsets: name, kind, charge or level, and
// whether it charges; hidden while there are none.
class DevicesCard final : public Card {
public:
    DevicesCard();
    void update(const std::vector<PowerCore::PeripheralBattery>& devices);

private:
    RemadeRows<std::vector<PowerCore::PeripheralBattery>> rows_;
};

// A machine without a battery: what powers it, and the system's power where it is read.
class NoBatteryBox final : public QWidget {
public:
    NoBatteryBox();
    void update(const AppModel& model);

private:
    QLabel* text_;
    BigNumber* watts_;
};

} // namespace QuorvelPower
