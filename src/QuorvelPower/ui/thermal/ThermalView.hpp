#pragma once

#include <PowerCore/thermal/ThermalEpisodes.hpp>
#include <QuorvelPower/ui/ScreenPage.hpp>

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
    void addEpisode(const PowerCore::ThermalEpisode& episode, bool first);

    NumberRow* state_;
    QLabel* noSensors_;
    NumberRow* sensors_;
    Card* episodesCard_;
    QWidget* episodes_ = nullptr;
    std::vector<PowerCore::ThermalEpisode> shownEpisodes_;
    std::string shownStart_;
};

} // namespace QuorvelPower
