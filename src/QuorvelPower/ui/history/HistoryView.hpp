#pragma once

#include <PowerCore/history/HistoryRecords.hpp>
#include <QuorvelPower/ui/ScreenPage.hpp>
#include <QuorvelPower/ui/Widgets.hpp>

class QTableWidget;

namespace QuorvelPower {

class Card;

// The history tab: the battery day by day, the daily health points, and the storage with
// the deletion of older days.
class HistoryView final : public ScreenPage {
public:
    explicit HistoryView(ModelSignals& changes);

protected:
    void updatePage() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* byDayCard();
    QWidget* storageCard();
    void updateDays();
    void updateHealth();

    QLabel* noDays_;
    QTableWidget* days_;
    Card* health_;
    RemadeRows<std::vector<PowerCore::DailyHealthPoint>> healthRows_;
    QLabel* bytes_;
    // For --diagnostics: from choosing this tab to its page drawn with the history that
    // the choice reloaded.
    enum class Timing { idle, painting } timing_ = Timing::idle;
    bool onTab_; // the history tab was the chosen one at the last change of the window
};

} // namespace QuorvelPower
