#pragma once

#include <QuorvelPower/ui/ScreenPage.hpp>

namespace QuorvelPower {

// The history tab: the battery day by day, the daily health points, and the storage with
// the deletion of older days.
class HistoryView final : public RebuiltPage {
public:
    explicit HistoryView(ModelSignals& changes);

protected:
    void build(QVBoxLayout* column) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // For --diagnostics: from choosing this tab to its page drawn with the history that
    // the choice reloaded.
    enum class Timing { idle, painting } timing_ = Timing::idle;
    bool onTab_ = false;
};

} // namespace QuorvelPower
