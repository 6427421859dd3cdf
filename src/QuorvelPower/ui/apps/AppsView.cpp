#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QuorvelPower/ui/ScreenData.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/Widgets.hpp>
#include <QuorvelPower/ui/apps/AppsTable.hpp>
#include <QuorvelPower/ui/apps/AppsView.hpp>
#include <algorithm>

namespace QuorvelPower {

using namespace PowerCore;

namespace {

constexpr PowerWindow windowChoices[] = {PowerWindow::fiveMinutes, PowerWindow::oneHour,
                                         PowerWindow::sinceUnplugged};

} // namespace

AppsView::AppsView(ModelSignals& changes)
    : ScreenPage(changes, "appsView") {
    column()->addWidget(windowPicker());
    powerModel_ = secondaryLabel({}, "powerModelLine");
    powerModel_->setWordWrap(true);
    column()->addWidget(powerModel_);
    noApps_ = secondaryLabel("The first reading arrives after two samples.", "noApps");
    noApps_->setAlignment(Qt::AlignCenter);
    column()->addWidget(noApps_);
    table_ = new AppsTable;
    column()->addWidget(table_);
    column()->addWidget(divider());
    gpuNotMeasured_ = secondaryLabel(
        "GPU not measured: no application holds a graphics device whose driver tells its use.",
        "gpuNotMeasured");
    column()->addWidget(gpuNotMeasured_);
    notMeasured_ = secondaryLabel({}, "notMeasured");
    column()->addWidget(notMeasured_);
    column()->addStretch();
    follow({&ModelSignals::apps, &ModelSignals::battery});
}

QWidget* AppsView::windowPicker() {
    auto* picker = new QWidget;
    auto* row = new QHBoxLayout(picker);
    row->setContentsMargins(0, 0, 0, 0);
    windows_ = new QButtonGroup(picker);
    for (const auto window : windowChoices) {
        auto* button = new QPushButton(toQString(std::string(title(window))));
        button->setObjectName(toQString("window-" + std::string(rawValue(window))));
        button->setAccessibleDescription("Rank the applications by their use over this time");
        button->setCheckable(true);
        windows_->addButton(button, int(window));
        row->addWidget(button);
        connect(button, &QPushButton::clicked, this,
                [this, window] { model_.setAppWindow(window); });
    }
    pluggedIn_ = secondaryLabel("Plugged in: there is no unplug to count from.", "pluggedIn");
    row->addWidget(pluggedIn_);
    row->addStretch();
    estimate_ = new Pill({}, Pill::Tone::accent);
    row->addWidget(estimate_);
    return picker;
}

void AppsView::updatePage() {
    const auto window = model_.appWindow();
    if (auto* chosen = windows_->button(int(window)); chosen && !chosen->isChecked())
        chosen->setChecked(true);
    pluggedIn_->setVisible(window == PowerWindow::sinceUnplugged && !model_.unplugSample());
    const auto& apps = model_.apps();
    const bool gpu = std::any_of(apps.begin(), apps.end(),
                                 [](const AppPower& app) { return app.gpuSeconds.has_value(); });
    estimate_->setText(model_.appsUseEnergy() ? "Estimate from energy"
                       : gpu                  ? "Estimate from CPU time, GPU time and wakeups"
                                              : "Estimate from CPU time and wakeups");
    estimate_->setToolTip(model_.appsUseEnergy() ? QString()
                          : gpu ? "A second of GPU time counts as a second of CPU time, and a "
                                  "wakeup from idle as half a millisecond of it."
                                : "A wakeup from idle counts as half a millisecond of CPU time.");
    estimate_->setAccessibleDescription(estimate_->toolTip());
    table_->setColumnHidden(AppsTableModel::gpu, !gpu);
    gpuNotMeasured_->setVisible(!gpu);
    noApps_->setVisible(apps.empty());
    table_->setVisible(!apps.empty());
    const auto& powerModel = model_.powerModel();
    const auto& battery = model_.battery();
    const bool onBattery = battery.source == PowerSource::battery;
    powerModel_->setText(toQString(ScreenData::powerModelLine(
        model_.powerModelStatus(), model_.modelTotalWatts(),
        onBattery && battery.battery ? battery.battery->watts() : std::nullopt, onBattery,
        window)));
    powerModel_->setVisible(model_.powerModelRead() && !powerModel_->text().isEmpty());
    table_->setColumnHidden(AppsTableModel::watts, !powerModel);
    table_->apps().setOnBattery(onBattery);
    table_->setApps(apps, model_.ownPID(),
                    powerModel ? std::optional(powerModel->base) : std::nullopt);
    notMeasured_->setText(toQString(ScreenData::notMeasuredLine(model_.appsNotMeasured())));
}

} // namespace QuorvelPower
