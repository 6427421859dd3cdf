#pragma once

#include <QScrollArea>
#include <QuorvelPower/ui/ModelObservers.hpp>

namespace QuorvelPower {

// The history tab: the battery day by day, the daily health points, and the storage with
// the deletion of older days.
class HistoryView final : public QScrollArea {
public:
    HistoryView(AppModel& model, ModelObservers& observers);
    void rebuild();

private:
    AppModel& model_;
    bool pending_ = false;
    ModelObservers::Token token_;
};

} // namespace QuorvelPower
