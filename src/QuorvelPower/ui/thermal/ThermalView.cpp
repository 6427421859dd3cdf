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
#include <fmt/ranges.h>

namespace QuorvelPower {

using namespace PowerCore;

ThermalView::ThermalView(ModelSignals& changes)
    : ScreenPage(changes, "thermalView") {
    auto* state = new Card;
    state->setObjectName("stateCard");
    state->body()->addWidget(state_ = new NumberRow);
    column()->addWidget(state);
    auto* sensors = new Card("Sensors", new Pill("Read-only", Pill::Tone::accent));
    sensors->setObjectName("sensorsCard");
    sensors->body()->addWidget(noSensors_ = secondaryLabel({}, "noSensors"));
    sensors->body()->addWidget(sensors_ = new NumberRow);
    column()->addWidget(sensors);
    episodesCard_ = new Card("Episodes above normal");
    episodesCard_->setObjectName("episodesCard");
    column()->addWidget(episodesCard_);
    column()->addStretch();
    follow({&ModelSignals::thermal, &ModelSignals::battery, &ModelSignals::history});
}

void ThermalView::updatePage() {
    updateState();
    updateSensors();
    updateEpisodes();
}

void ThermalView::updateState() {
    const auto& thermal = model_.thermal();
    std::vector<NumberRow::Number> numbers{{toQString(std::string(title(thermal.level))),
                                            std::nullopt,
                                            platformWords("thermal level, as macOS reports it")}};
    if (thermal.cpuSpeedLimit)
        numbers.push_back(
            {QString::number(*thermal.cpuSpeedLimit), QString("%"), "CPU speed limit"});
    else
        numbers.push_back(
            {"—", std::nullopt, platformWords("CPU speed limit: not reported on this Mac")});
    if (const auto& open = model_.episodes().open)
        numbers.push_back(
            {toQString(Format::duration(secondsBetween(open->start, model_.now()))), std::nullopt,
             toQString("above normal, since " + model_.dates()->shortTime(open->start))});
    state_->set(numbers);
}

void ThermalView::updateSensors() {
    const auto& sensors = model_.sensors();
    noSensors_->setVisible(sensors.isEmpty());
    sensors_->setVisible(!sensors.isEmpty());
    if (sensors.isEmpty()) {
        noSensors_->setText(model_.hasSensorTable()
                                ? QString("No sensors could be read right now.")
                                : platformWords("No sensors found for this Mac (" + sensors.model +
                                                "). Vuzur only shows temperatures it has "
                                                "verified for a model."));
        return;
    }
    std::vector<NumberRow::Number> numbers;
    for (const auto& t : sensors.temperatures)
        numbers.push_back({toQString(fmt::format("{:.0f}", t.hottestCelsius)), QString("°C"),
                           toQString(ScreenData::temperatureCaption(t))});
    for (const auto& fan : sensors.fans)
        numbers.push_back({QString::number(std::int64_t(fan.rpm)), QString("rpm"),
                           toQString(ScreenData::fanCaption(fan))});
    if (sensors.systemPowerWatts)
        numbers.push_back({toQString(fmt::format("{:.1f}", *sensors.systemPowerWatts)),
                           QString("W"), "system power"});
    if (const auto& b = model_.battery().battery; b && b->temperatureCelsius)
        numbers.push_back(
            {toQString(fmt::format("{:.0f}", *b->temperatureCelsius)), QString("°C"), "battery"});
    sensors_->set(numbers);
}

void ThermalView::updateEpisodes() {
    auto episodes = ScreenData::episodesNewestFirst(model_.episodes(), model_.history().episodes);
    // Made again when the episodes change, or the zone their starts are written in (the
    // first one's start tells).
    std::string firstStart =
        episodes.empty() ? std::string() : model_.dates()->shortTime(episodes.front().start);
    auto* holder =
        episodes_.renew(episodesCard_->body(), {std::move(episodes), std::move(firstStart)});
    if (holder == nullptr) return;
    auto* rows = new QVBoxLayout(holder);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(8);
    const auto& shown = episodes_.shown().first;
    if (shown.empty())
        rows->addWidget(secondaryLabel(
            "None recorded. An episode is a period with the thermal level above normal (or a "
            "reported CPU speed limit under 100 %), with the apps that were on top."));
    for (size_t i = 0; i < shown.size(); ++i)
        addEpisode(*rows, shown[i], i == 0);
}

void ThermalView::addEpisode(QVBoxLayout& rows, const ThermalEpisode& e, bool first) {
    if (!first) rows.addWidget(divider());
    auto* row = new QHBoxLayout;
    auto* start = plainLabel(toQString(model_.dates()->abbreviatedDateShortTime(e.start)));
    start->setFixedWidth(150);
    row->addWidget(start);
    row->addWidget(secondaryLabel(
        e.end ? toQString(Format::duration(secondsBetween(e.start, *e.end))) : QString("open"),
        first ? "firstEpisodeDuration" : nullptr));
    row->addWidget(new Pill(toQString(std::string(title(e.worstState))), Pill::Tone::attention));
    if (e.lowestSpeedLimit)
        row->addWidget(plainLabel(toQString(fmt::format("CPU {} %", *e.lowestSpeedLimit))));
    row->addStretch();
    rows.addLayout(row);
    rows.addWidget(secondaryLabel(toQString(
        "on top: " +
        (e.topApps.empty() ? std::string("—") : fmt::format("{}", fmt::join(e.topApps, ", "))))));
}

} // namespace QuorvelPower
