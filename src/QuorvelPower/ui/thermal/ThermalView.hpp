#pragma once

#include <PowerCore/thermal/ThermalEpisodes.hpp>
#include <QuorvelPower/ui/ScreenPage.hpp>
#include <QuorvelPower/ui/Widgets.hpp>

namespace QuorvelPower {

class Card;
class NumberRow;

// The thermal tab: the thermal state now, the sensors, and the episodes above normal.
class ThermalView final : public ScreenPage {
public:
    explicit ThermalView(ModelSignals& changes);

protected:
    void updatePage() override;

private:
    void updateState();
    void updateSensors();
    void updateEpisodes();
    void addEpisode(QVBoxLayout& rows, const PowerCore::ThermalEpisode& episode, bool first);

    NumberRow* state_;
    QLabel* noSensors_;
    NumberRow* sensors_;
    Card* episodesCard_;
    // The episodes, and the first one's start as written (a change of zone rewrites them).
    RemadeRows<std::pair<std::vector<PowerCore::ThermalEpisode>, std::string>> episodes_;
};

} // namespace QuorvelPower
