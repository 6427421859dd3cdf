#include <PowerCore/battery/DischargeMath.hpp>
#include <PowerCore/foundation/PlatformWords.hpp>
#include <QCategoryAxis>
#include <QChartView>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>
#include <QuorvelPower/ui/ChargeChart.hpp>
#include <QuorvelPower/ui/Format.hpp>
#include <QuorvelPower/ui/Icons.hpp>
#include <QuorvelPower/ui/ScreenPage.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/battery/BatteryCards.hpp>
#include <fmt/format.h>

namespace QuorvelPower {

using namespace PowerCore;

namespace {

QHBoxLayout* numberRow() {
    auto* row = new QHBoxLayout;
    row->setSpacing(28);
    return row;
}

BigNumber* addNumber(QHBoxLayout* row) {
    auto* number = new BigNumber({}, std::nullopt, {});
    row->addWidget(number);
    return number;
}

QWidget* addSymbol(QHBoxLayout* row, const char* name) {
    auto* icon = plainLabel();
    icon->setPixmap(symbol(name).pixmap(14, 14));
    row->addWidget(icon);
    return icon;
}

QString oneDecimal(double value) {
    return toQString(fmt::format("{:.1f}", value));
}

} // namespace

NowCard::NowCard() {
    setObjectName("nowCard");
    auto* row = numberRow();
    for (BigNumber** number : {&charge_, &power_, &time_, &sinceUnplugged_})
        *number = addNumber(row);
    row->addStretch();
    body()->addLayout(row);
    auto* small = new QHBoxLayout;
    temperatureIcon_ = addSymbol(small, "thermometer.low");
    small->addWidget(temperature_ = secondaryLabel({}));
    voltageIcon_ = addSymbol(small, "bolt");
    small->addWidget(voltage_ = secondaryLabel({}));
    small->addWidget(current_ = secondaryLabel({}));
    small->addStretch();
    body()->addLayout(small);
}

void NowCard::update(const AppModel& model) {
    const auto& snapshot = model.battery();
    const auto& b = *snapshot.battery;
    const bool discharging = b.state == ChargeState::discharging;
    charge_->set(QString::number(b.chargePercent), QString("%"),
                 toQString("charge, " + std::string(rawValue(b.state))));
    const auto watts = b.watts();
    power_->set(watts ? oneDecimal(*watts) : "—", QString("W"),
                discharging ? "draw from the battery" : "into the battery");
    time_->set(
        model.timeCalculating() ? QString("Calculating\u2026")
                                : toQString(Format::minutes(b.timeRemainingMinutes)),
        std::nullopt,
        platformWords(discharging ? "left, as macOS estimates" : "to full, as macOS estimates"));
    const auto drain = DischargeMath::sinceUnplugged(model.unplugSample(), snapshot);
    sinceUnplugged_->setVisible(drain.has_value());
    if (drain)
        sinceUnplugged_->set(
            toQString(ScreenData::chargeChange(drain->droppedPercent)), std::nullopt,
            toQString("since you unplugged " + Format::duration(drain->elapsed) + " ago"));
    const auto& celsius = b.temperatureCelsius;
    temperatureIcon_->setVisible(celsius.has_value());
    temperature_->setVisible(celsius.has_value());
    if (celsius) temperature_->setText(toQString(fmt::format("{:.1f} °C", *celsius)));
    const auto& millivolts = b.voltageMillivolts;
    voltageIcon_->setVisible(millivolts.has_value());
    voltage_->setVisible(millivolts.has_value());
    if (millivolts)
        voltage_->setText(toQString(fmt::format("{:.2f} V", double(*millivolts) / 1000)));
    current_->setVisible(b.currentMilliamps.has_value());
    if (b.currentMilliamps) current_->setText(toQString(fmt::format("{} mA", *b.currentMilliamps)));
}

HealthCard::HealthCard()
    : Card("Health") {
    setObjectName("healthCard");
    auto* row = numberRow();
    for (BigNumber** number : {&capacity_, &fullCharge_, &cycles_})
        *number = addNumber(row);
    row->addStretch();
    body()->addLayout(row);
    body()->addWidget(condition_ = secondaryLabel({}));
    body()->addWidget(recordSince_ = secondaryLabel({}, "recordSince"));
}

void HealthCard::update(const AppModel& model) {
    const auto& b = *model.battery().battery;
    const auto computed =
        DischargeMath::healthPercent(b.fullChargeCapacitymAh, b.designCapacitymAh);
    capacity_->setVisible(b.maximumCapacityPercent || computed);
    if (b.maximumCapacityPercent)
        capacity_->set(QString::number(*b.maximumCapacityPercent), QString("%"),
                       platformWords("maximum capacity (as System Information shows)"));
    else if (computed)
        capacity_->set(oneDecimal(*computed), QString("%"), "full-charge ÷ design capacity");
    fullCharge_->setVisible(b.fullChargeCapacitymAh.has_value());
    if (b.fullChargeCapacitymAh)
        fullCharge_->set(
            QString::number(*b.fullChargeCapacitymAh), QString("mAh"),
            toQString("full charge today, of " +
                      (b.designCapacitymAh ? std::to_string(*b.designCapacitymAh) : "—") +
                      " mAh designed"));
    cycles_->setVisible(b.cycleCount.has_value());
    if (b.cycleCount)
        cycles_->set(QString::number(*b.cycleCount), std::nullopt,
                     platformWords("cycles of the 1,000 Apple rates it for"));
    condition_->setVisible(b.condition.has_value());
    condition_->setText(toQString(b.condition.value_or("")));
    const auto& since = model.recordSince();
    recordSince_->setVisible(since.has_value());
    if (since)
        recordSince_->setText(
            "Record since " +
            toQString(model.dates()->shortDate(model.calendar().dayName(*since))) +
            toQString(". " + platformText("macOS keeps no battery history") +
                      "; Vuzur's starts when it is installed."));
}

ChargeCard::ChargeCard(QWidget* rangePicker)
    : Card({}, rangePicker) {
    setObjectName("chargeCard");
    chart_ = new ChargeChart;
    chart_->setFixedHeight(160);
    // A chart view asks for all the height there is; its card is as tall as its rows.
    chart_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    chart_->setAccessibleName("Charge over time");
    body()->addWidget(chart_);
    hint_ = secondaryLabel("The chart fills in as Vuzur runs (one sample every 5 minutes).",
                           "chartHint");
    body()->addWidget(hint_);
}

void ChargeCard::update(const AppModel& model, ScreenData::ChartRange range) {
    auto samples = ScreenData::chargeSamples(model.history().charge, range, model.now());
    const bool enough = samples.size() >= 2;
    chart_->setVisible(enough);
    hint_->setVisible(!enough);
    if (enough) chart_->setSamples(std::move(samples));
}

CapacityCard::CapacityCard()
    : Card("Full-charge capacity and cycles, day by day") {
    setObjectName("capacityCard");
    body()->addWidget(hint_ = secondaryLabel({}));
    measured_ = new QLineSeries;
    measured_->setName("Maximum capacity %");
    computed_ = new QLineSeries;
    computed_->setName("Health %");
    days_ = new QCategoryAxis;
    days_->setTitleText("Day");
    days_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    days_->setStartValue(-1);
    value_ = new QValueAxis;
    value_->setTickCount(3);
    value_->setLabelFormat("%.0f");
    auto* chart = new QChart;
    chart->addAxis(days_, Qt::AlignBottom);
    chart->addAxis(value_, Qt::AlignLeft);
    Theme::colourChart(chart);
    for (auto* series : {measured_, computed_}) {
        series->setPen(QPen(series == measured_ ? Theme::accent() : Theme::attention(), 2));
        series->setPointsVisible(true); // the days each kind has, where the two alternate
        chart->addSeries(series);
        series->attachAxis(days_);
        series->attachAxis(value_);
    }
    // 140 points leave little room: the legend goes to the side, labels stay whole.
    days_->setTruncateLabels(false);
    value_->setTruncateLabels(false);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(0, 0, 0, 0));
    chart->setBackgroundVisible(false);
    auto* view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFixedHeight(140);
    view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    view->setAccessibleName("Health day by day");
    body()->addWidget(chart_ = view);
    body()->addWidget(cycles_ = secondaryLabel({}));
}

void CapacityCard::update(const std::vector<DailyHealthPoint>& points) {
    const bool enough = points.size() >= 2;
    hint_->setVisible(!enough);
    chart_->setVisible(enough);
    cycles_->setVisible(enough && points.back().cycleCount);
    if (!enough) {
        hint_->setText(
            toQString("Vuzur stores one health point per day for as long as it is installed: " +
                      std::to_string(points.size()) + " so far."));
        return;
    }
    showDays(points);
    if (points.back().cycleCount)
        cycles_->setText(toQString(std::to_string(*points.back().cycleCount) + " cycles on " +
                                   points.back().day));
}

void CapacityCard::showDays(const std::vector<DailyHealthPoint>& points) {
    // Each point is the maximum capacity where the battery reports one, else full-charge ÷
    // design; a point with neither has no mark.
    QList<QPointF> measured, computed;
    for (const QString& label : days_->categoriesLabels())
        days_->remove(label);
    double low = 100, high = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        const auto& p = points[i];
        std::optional<double> y;
        if (p.maximumCapacityPercent)
            measured.append(QPointF(double(i), *(y = double(*p.maximumCapacityPercent))));
        else if ((y = DischargeMath::healthPercent(p.fullChargeCapacitymAh, p.designCapacitymAh)))
            computed.append(QPointF(double(i), *y));
        if (y) low = std::min(low, *y), high = std::max(high, *y);
        if (i == 0 || i + 1 == points.size() || points.size() <= 8)
            days_->append(toQString(p.day), double(i));
    }
    for (auto [series, values] : {std::pair{measured_, &measured}, {computed_, &computed}}) {
        series->replace(*values);
        series->setVisible(!values->isEmpty());
        for (auto* marker : series->chart()->legend()->markers(series))
            marker->setVisible(!values->isEmpty());
    }
    if (low > high) low = 0, high = 100; // no point with a value
    value_->setRange(std::max(0.0, low - 5), std::min(110.0, high + 5));
    // Half a day either side: a label on the axis's very edge is not drawn.
    days_->setRange(-0.5, double(points.size()) - 0.5);
}

DevicesCard::DevicesCard()
    : Card("Devices") {
    setObjectName("devicesCard");
}

void DevicesCard::update(const std::vector<PeripheralBattery>& devices) {
    setVisible(!devices.empty());
    auto* holder = rows_.renew(body(), devices);
    if (holder == nullptr) return;
    auto* grid = new QGridLayout(holder);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(16);
    for (int row = 0; row < int(devices.size()); ++row) {
        const auto& device = devices[size_t(row)];
        grid->addWidget(plainLabel(toQString(device.name)), row, 0);
        grid->addWidget(secondaryLabel(toQString(device.kind)), row, 1);
        grid->addWidget(plainLabel(device.chargePercent ? QString("%1 %").arg(*device.chargePercent)
                                                        : toQString(device.level.value_or("—"))),
                        row, 2);
        grid->addWidget(secondaryLabel(device.status == "Charging" ? "charging" : ""), row, 3);
    }
    grid->setColumnStretch(3, 1);
}

NoBatteryBox::NoBatteryBox() {
    auto* column = new QVBoxLayout(this);
    auto* title = plainLabel(platformWords("This Mac has no battery."));
    title->setObjectName("noBatteryTitle");
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() + 6);
    font.setWeight(QFont::DemiBold);
    title->setFont(font);
    column->addWidget(title);
    column->addWidget(text_ = secondaryLabel({}, "noBatteryText"));
    column->addWidget(watts_ = new BigNumber({}, QString("W"), "System power now"));
}

void NoBatteryBox::update(const AppModel& model) {
    text_->setText(
        toQString("It draws from " + inWords(model.battery().source, SourceWords::inSentence) +
                  ". Apps, thermal state and keep-awake work as usual; the battery history "
                  "stays empty."));
    const auto watts = model.sensors().systemPowerWatts;
    watts_->setVisible(watts.has_value());
    if (watts) watts_->set(oneDecimal(*watts), QString("W"), "System power now");
}

} // namespace QuorvelPower
