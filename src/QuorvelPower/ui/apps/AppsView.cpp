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

namespace QuorvelPower {

using namespace PowerCore;

namespace {

constexpr PowerWindow windowChoices[] = {PowerWindow::fiveMinutes, PowerWindow::oneHour,
                                         PowerWindow::sinceUnplugged};

} // namespace

AppsView::AppsView(ModelSignals& changes)
    : ScreenPage(changes, "appsView") {
    column()->addWidget(windowPicker());
    noApps_ = secondaryLabel("The first reading arrives after two samples.", "noApps");
    noApps_->setAlignment(Qt::AlignCenter);
    column()->addWidget(noApps_);
    table_ = new AppsTable;
    column()->addWidget(table_);
    column()->addWidget(divider());
    column()->addWidget(secondaryLabel(
        "GPU not measured: no public interface attributes graphics work to a process."));
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
    estimate_->setText(model_.appsUseEnergy() ? "Estimate from energy"
                                              : "Estimate from CPU time and wakeups");
    const auto& apps = model_.apps();
    noApps_->setVisible(apps.empty());
    table_->setVisible(!apps.empty());
    table_->setApps(apps, model_.ownPID());
    notMeasured_->setText(toQString(ScreenData::notMeasuredLine(model_.appsNotMeasured())));
}

} // namespace QuorvelPower
