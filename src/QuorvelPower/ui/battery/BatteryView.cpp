#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/battery/BatteryCards.hpp>
#include <QuorvelPower/ui/battery/BatteryView.hpp>

namespace QuorvelPower {

BatteryView::BatteryView(ModelSignals& changes)
    : ScreenPage(changes, "batteryView") {
    column()->addWidget(noBattery_ = new NoBatteryBox);
    column()->addWidget(now_ = new NowCard);
    column()->addWidget(health_ = new HealthCard);
    column()->addWidget(charge_ = new ChargeCard(rangePicker()));
    column()->addWidget(capacity_ = new CapacityCard);
    column()->addWidget(devices_ = new DevicesCard);
    column()->addStretch();
    follow({&ModelSignals::battery, &ModelSignals::history, &ModelSignals::thermal});
}

QWidget* BatteryView::rangePicker() {
    auto* picker = new QWidget;
    auto* buttons = new QHBoxLayout(picker);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    auto* group = new QButtonGroup(picker);
    for (const auto range :
         {ScreenData::ChartRange::day, ScreenData::ChartRange::week, ScreenData::ChartRange::all}) {
        const QString label = toQString(std::string(ScreenData::label(range)));
        auto* button = new QPushButton(label);
        button->setCheckable(true);
        button->setChecked(range == range_);
        button->setObjectName("range-" + label);
        button->setAccessibleDescription("Show the charge over this range");
        group->addButton(button);
        buttons->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, range] {
            range_ = range;
            changed();
        });
    }
    return picker;
}

void BatteryView::updatePage() {
    devices_->update(model_.peripherals());
    const bool battery = model_.battery().battery.has_value();
    noBattery_->setVisible(!battery);
    for (QWidget* card : std::initializer_list<QWidget*>{now_, health_, charge_, capacity_})
        card->setVisible(battery);
    if (!battery) {
        noBattery_->update(model_);
        return;
    }
    now_->update(model_);
    health_->update(model_);
    charge_->update(model_, range_);
    capacity_->update(model_.dailyHealth());
}

} // namespace QuorvelPower
