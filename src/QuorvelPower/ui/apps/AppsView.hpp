#pragma once

#include <QuorvelPower/ui/ScreenPage.hpp>

class QButtonGroup;

namespace QuorvelPower {

class AppsTable;
class Pill;

// The apps tab: which applications use the power in the chosen window.
class AppsView final : public ScreenPage {
public:
    explicit AppsView(ModelSignals& changes);

protected:
    void updatePage() override;

private:
    QWidget* windowPicker();

    QButtonGroup* windows_;
    QLabel* pluggedIn_;
    Pill* estimate_;
    QLabel* noApps_;
    AppsTable* table_;
    QLabel* notMeasured_;
    QLabel* gpuNotMeasured_;
    QLabel* powerModel_;
};

} // namespace QuorvelPower
