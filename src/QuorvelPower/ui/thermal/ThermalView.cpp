#include <PowerCore/foundation/PlatformWords.hpp>
#include <PowerCore/history/Export.hpp>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QuorvelPower/ui/Format.hpp>
#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <QuorvelPower/ui/ScreenData.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/Widgets.hpp>
#include <QuorvelPower/ui/thermal/ThermalView.hpp>
#include <fmt/format.h>

namespace QuorvelPower {

using namespace PowerCore;

ThermalView::ThermalView(ModelSignals& changes)
    : RebuiltPage(changes, "thermalView") {
    follow({&ModelSignals::thermal, &ModelSignals::battery, &ModelSignals::history});
}

void ThermalView::build(QVBoxLayout* column) {
    const auto& thermal = model_.thermal();
    const auto& calendar = model_.calendar();
    const auto now = model_.now();

    auto* state = new Card;
    state->setObjectName("stateCard");
    auto* numbers = new QHBoxLayout;
    numbers->setSpacing(28);
    numbers->addWidget(new BigNumber(toQString(std::string(title(thermal.level))), std::nullopt,
                                     platformWords("thermal level, as macOS reports it")));
    if (thermal.cpuSpeedLimit)
        numbers->addWidget(new BigNumber(QString::number(*thermal.cpuSpeedLimit), QString("%"),
                                         "CPU speed limit"));
    else
        numbers->addWidget(new BigNumber(
            "—", std::nullopt, platformWords("CPU speed limit: not reported on this Mac")));
    if (const auto& open = model_.episodes().open)
        numbers->addWidget(new BigNumber(
            toQString(Format::duration(secondsBetween(open->start, now))), std::nullopt,
            toQString("above normal, since " + PopoverTexts::timeOfDay(open->start, calendar))));
    numbers->addStretch();
    state->body()->addLayout(numbers);
    column->addWidget(state);

    const auto& sensors = model_.sensors();
    auto* sensorsCard = new Card("Sensors", new Pill("Read-only", Pill::Tone::accent));
    sensorsCard->setObjectName("sensorsCard");
    if (sensors.isEmpty()) {
        sensorsCard->body()->addWidget(secondaryLabel(
            model_.hasSensorTable()
                ? QString("No sensors could be read right now.")
                : platformWords("No sensors found for this Mac (" + sensors.model +
                                "). Vuzur only shows temperatures it has verified for "
                                "a model."),
            "noSensors"));
    } else {
        auto* row = new QHBoxLayout;
        row->setSpacing(28);
        for (const auto& t : sensors.temperatures)
            row->addWidget(new BigNumber(toQString(fmt::format("{:.0f}", t.hottestCelsius)),
                                         QString("°C"),
                                         toQString(ScreenData::temperatureCaption(t))));
        for (const auto& fan : sensors.fans)
            row->addWidget(new BigNumber(QString::number(std::int64_t(fan.rpm)), QString("rpm"),
                                         toQString(ScreenData::fanCaption(fan))));
        if (sensors.systemPowerWatts)
            row->addWidget(
                new BigNumber(toQString(fmt::format("{:.1f}", *sensors.systemPowerWatts)),
                              QString("W"), "system power"));
        if (const auto& b = model_.battery().battery; b && b->temperatureCelsius)
            row->addWidget(new BigNumber(toQString(fmt::format("{:.0f}", *b->temperatureCelsius)),
                                         QString("°C"), "battery"));
        row->addStretch();
        sensorsCard->body()->addLayout(row);
    }
    column->addWidget(sensorsCard);

    auto* episodesCard = new Card("Episodes above normal");
    episodesCard->setObjectName("episodesCard");
    const auto episodes =
        ScreenData::episodesNewestFirst(model_.episodes(), model_.history().episodes);
    if (episodes.empty())
        episodesCard->body()->addWidget(secondaryLabel(
            "None recorded. An episode is a period with the thermal level above normal (or a "
            "reported CPU speed limit under 100 %), with the apps that were on top."));
    for (size_t i = 0; i < episodes.size(); ++i) {
        const auto& e = episodes[i];
        if (i > 0) episodesCard->body()->addWidget(divider());
        auto* row = new QHBoxLayout;
        auto* start = plainLabel(
            toQString(Export::PlainDateFormatter(calendar).abbreviatedDateShortTime(e.start)));
        start->setFixedWidth(150);
        row->addWidget(start);
        row->addWidget(secondaryLabel(
            e.end ? toQString(Format::duration(secondsBetween(e.start, *e.end))) : QString("open"),
            i == 0 ? "firstEpisodeDuration" : nullptr));
        row->addWidget(
            new Pill(toQString(std::string(title(e.worstState))), Pill::Tone::attention));
        if (e.lowestSpeedLimit)
            row->addWidget(plainLabel(toQString(fmt::format("CPU {} %", *e.lowestSpeedLimit))));
        row->addStretch();
        episodesCard->body()->addLayout(row);
        std::string onTop = "on top: ";
        for (size_t k = 0; k < e.topApps.size(); ++k)
            onTop.append(k == 0 ? "" : ", ").append(e.topApps[k]);
        if (e.topApps.empty()) onTop += "—";
        episodesCard->body()->addWidget(secondaryLabel(toQString(onTop)));
    }
    column->addWidget(episodesCard);
}

} // namespace QuorvelPower
