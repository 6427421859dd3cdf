#include <PowerCore/battery/DischargeMath.hpp>
#include <PowerCore/foundation/PlatformWords.hpp>
#include <QButtonGroup>
#include <QCategoryAxis>
#include <QChartView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QuorvelPower/ui/ChargeChart.hpp>
#include <QuorvelPower/ui/Format.hpp>
#include <QuorvelPower/ui/Icons.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/Widgets.hpp>
#include <QuorvelPower/ui/battery/BatteryView.hpp>
#include <fmt/format.h>

namespace QuorvelPower {

using namespace PowerCore;

BatteryView::BatteryView(ModelSignals& changes)
    : RebuiltPage(changes, "batteryView") {
    follow({&ModelSignals::battery, &ModelSignals::history, &ModelSignals::thermal});
}

void BatteryView::build(QVBoxLayout* column) {
    if (!model_.battery().battery) {
        column->addWidget(noBattery());
        return;
    }
    column->addWidget(nowCard());
    column->addWidget(healthCard());
    column->addWidget(chargeCard());
    column->addWidget(capacityCard());
}

QWidget* BatteryView::noBattery() {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    auto* title = plainLabel(platformWords("This Mac has no battery."));
    title->setObjectName("noBatteryTitle");
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() + 6);
    font.setWeight(QFont::DemiBold);
    title->setFont(font);
    column->addWidget(title);
    column->addWidget(secondaryLabel(
        toQString("It draws from " + inWords(model_.battery().source, SourceWords::inSentence) +
                  ". Apps, thermal state and keep-awake work as usual; the battery history "
                  "stays empty."),
        "noBatteryText"));
    if (const auto watts = model_.sensors().systemPowerWatts)
        column->addWidget(new BigNumber(toQString(fmt::format("{:.1f}", *watts)), QString("W"),
                                        "System power now"));
    return box;
}

QWidget* BatteryView::nowCard() {
    const auto& snapshot = model_.battery();
    const auto& b = *snapshot.battery;
    const bool discharging = b.state == ChargeState::discharging;
    auto* card = new Card;
    card->setObjectName("nowCard");
    auto* row = new QHBoxLayout;
    row->setSpacing(28);
    row->addWidget(new BigNumber(QString::number(b.chargePercent), QString("%"),
                                 toQString("charge, " + std::string(rawValue(b.state)))));
    const auto watts = b.watts();
    row->addWidget(new BigNumber(watts ? toQString(fmt::format("{:.1f}", *watts)) : "—",
                                 QString("W"),
                                 discharging ? "draw from the battery" : "into the battery"));
    row->addWidget(new BigNumber(
        model_.timeCalculating() ? QString("Calculating\u2026")
                                 : toQString(Format::minutes(b.timeRemainingMinutes)),
        std::nullopt,
        platformWords(discharging ? "left, as macOS estimates" : "to full, as macOS estimates")));
    if (const auto drain = DischargeMath::sinceUnplugged(model_.unplugSample(), snapshot))
        row->addWidget(new BigNumber(
            toQString(ScreenData::chargeChange(drain->droppedPercent)), std::nullopt,
            toQString("since you unplugged " + Format::duration(drain->elapsed) + " ago")));
    row->addStretch();
    card->body()->addLayout(row);
    auto* small = new QHBoxLayout;
    const auto withSymbol = [small](const char* name) {
        auto* icon = plainLabel();
        icon->setPixmap(symbol(name).pixmap(14, 14));
        small->addWidget(icon);
    };
    if (b.temperatureCelsius) {
        withSymbol("thermometer.low");
        small->addWidget(
            secondaryLabel(toQString(fmt::format("{:.1f} °C", *b.temperatureCelsius))));
    }
    if (b.voltageMillivolts) {
        withSymbol("bolt");
        small->addWidget(secondaryLabel(
            toQString(fmt::format("{:.2f} V", double(*b.voltageMillivolts) / 1000))));
    }
    if (b.currentMilliamps)
        small->addWidget(secondaryLabel(toQString(fmt::format("{} mA", *b.currentMilliamps))));
    small->addStretch();
    card->body()->addLayout(small);
    return card;
}

QWidget* BatteryView::healthCard() {
    const auto& b = *model_.battery().battery;
    auto* card = new Card("Health");
    card->setObjectName("healthCard");
    auto* row = new QHBoxLayout;
    row->setSpacing(28);
    if (b.maximumCapacityPercent)
        row->addWidget(
            new BigNumber(QString::number(*b.maximumCapacityPercent), QString("%"),
                          platformWords("maximum capacity (as System Information shows)")));
    else if (b.fullChargeCapacitymAh && b.designCapacitymAh && *b.designCapacitymAh >= 1)
        row->addWidget(
            new BigNumber(toQString(fmt::format("{:.1f}", double(*b.fullChargeCapacitymAh) /
                                                              double(*b.designCapacitymAh) * 100)),
                          QString("%"), "full-charge ÷ design capacity"));
    if (b.fullChargeCapacitymAh)
        row->addWidget(new BigNumber(
            QString::number(*b.fullChargeCapacitymAh), QString("mAh"),
            toQString("full charge today, of " +
                      (b.designCapacitymAh ? std::to_string(*b.designCapacitymAh) : "—") +
                      " mAh designed")));
    if (b.cycleCount)
        row->addWidget(new BigNumber(QString::number(*b.cycleCount), std::nullopt,
                                     platformWords("cycles of the 1,000 Apple rates it for")));
    row->addStretch();
    card->body()->addLayout(row);
    if (b.condition) card->body()->addWidget(secondaryLabel(toQString(*b.condition)));
    if (const auto& since = model_.recordSince())
        card->body()->addWidget(
            secondaryLabel("Record since " + localDay(model_.calendar().dayName(*since)) +
                               toQString(". " + platformText("macOS keeps no battery history") +
                                         "; Vuzur's starts when it is installed."),
                           "recordSince"));
    return card;
}

QWidget* BatteryView::chargeCard() {
    auto* picker = new QWidget;
    auto* buttons = new QHBoxLayout(picker);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    auto* group = new QButtonGroup(picker);
    for (const auto range :
         {ScreenData::ChartRange::day, ScreenData::ChartRange::week, ScreenData::ChartRange::all}) {
        auto* button = new QPushButton(toQString(std::string(ScreenData::label(range))));
        button->setCheckable(true);
        button->setChecked(range == range_);
        button->setObjectName(QString("range-") + toQString(std::string(ScreenData::label(range))));
        group->addButton(button);
        buttons->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, range] {
            range_ = range;
            changed();
        });
    }
    auto* card = new Card({}, picker);
    card->setObjectName("chargeCard");
    auto samples = ScreenData::chargeSamples(model_.history().charge, range_, model_.now());
    if (samples.size() >= 2) {
        auto* chart = new ChargeChart;
        chart->setFixedHeight(160);
        chart->setSamples(std::move(samples));
        card->body()->addWidget(chart);
    } else {
        card->body()->addWidget(secondaryLabel(
            "The chart fills in as Vuzur runs (one sample every 5 minutes).", "chartHint"));
    }
    return card;
}

QWidget* BatteryView::capacityCard() {
    auto* card = new Card("Full-charge capacity and cycles, day by day");
    card->setObjectName("capacityCard");
    const auto& points = model_.dailyHealth();
    if (points.size() < 2) {
        card->body()->addWidget(secondaryLabel(
            toQString("Vuzur stores one health point per day for as long as it is installed: " +
                      std::to_string(points.size()) + " so far.")));
        return card;
    }
    // Each point is the maximum capacity where the battery reports one, else full-charge ÷
    // design; a point with neither has no mark.
    auto* measured = new QLineSeries;
    measured->setName("Maximum capacity %");
    auto* computed = new QLineSeries;
    computed->setName("Health %");
    auto* days = new QCategoryAxis;
    days->setTitleText("Day");
    days->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    days->setStartValue(-1);
    double low = 100, high = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        const auto& p = points[i];
        if (p.maximumCapacityPercent) {
            measured->append(double(i), double(*p.maximumCapacityPercent));
        } else if (p.fullChargeCapacitymAh && p.designCapacitymAh && *p.designCapacitymAh >= 1) {
            computed->append(double(i),
                             double(*p.fullChargeCapacitymAh) / double(*p.designCapacitymAh) * 100);
        }
        if (i == 0 || i + 1 == points.size() || points.size() <= 8)
            days->append(toQString(p.day), double(i));
    }
    auto* chart = new QChart;
    auto* value = new QValueAxis;
    chart->addAxis(days, Qt::AlignBottom);
    chart->addAxis(value, Qt::AlignLeft);
    Theme::colourChart(chart);
    for (auto* series : {measured, computed}) {
        if (series->count() == 0) {
            delete series;
            continue;
        }
        for (const auto& point : series->points()) {
            low = std::min(low, point.y());
            high = std::max(high, point.y());
        }
        series->setPen(QPen(series == measured ? Theme::accent() : Theme::attention(), 2));
        series->setPointsVisible(true); // the days each kind has, where the two alternate
        chart->addSeries(series);
        series->attachAxis(days);
        series->attachAxis(value);
    }
    if (low > high) low = 0, high = 100; // no point with a value
    value->setRange(std::max(0.0, low - 5), std::min(110.0, high + 5));
    value->setTickCount(3);
    value->setLabelFormat("%.0f");
    // 140 points leave little room: the legend goes to the side, labels stay whole.
    for (QAbstractAxis* axis :
         {static_cast<QAbstractAxis*>(days), static_cast<QAbstractAxis*>(value)})
        axis->setTruncateLabels(false);
    chart->legend()->setVisible(true);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(0, 0, 0, 0));
    chart->setBackgroundVisible(false);
    // Half a day either side: a label on the axis's very edge is not drawn.
    days->setRange(-0.5, double(points.size()) - 0.5);
    auto* view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFixedHeight(140);
    card->body()->addWidget(view);
    if (points.back().cycleCount)
        card->body()->addWidget(secondaryLabel(toQString(std::to_string(*points.back().cycleCount) +
                                                         " cycles on " + points.back().day)));
    return card;
}

} // namespace QuorvelPower
