#include <QButtonGroup>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QuorvelPower/ui/ScreenData.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/Widgets.hpp>
#include <QuorvelPower/ui/apps/AppsView.hpp>
#include <algorithm>

namespace QuorvelPower {

using namespace PowerCore;

namespace {

// A column that asks for `ideal` points and gives way down to its minimum.
class IdealWidth final : public QWidget {
public:
    explicit IdealWidth(int ideal)
        : ideal_(ideal) {}
    QSize sizeHint() const override {
        return {std::max(ideal_, QWidget::sizeHint().width()), QWidget::sizeHint().height()};
    }

private:
    int ideal_;
};

// The share bar: 90 wide, 8 high, filled to the share (never past its end).
class ShareBar final : public QWidget {
public:
    explicit ShareBar(double fill)
        : fill_(fill) {
        setFixedSize(90, 8);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor track = Theme::accent();
        track.setAlphaF(0.25f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(track);
        painter.drawRoundedRect(rect(), 3, 3);
        painter.setBrush(Theme::accent());
        painter.drawRoundedRect(QRectF(0, 0, width() * fill_, height()), 3, 3);
    }

private:
    double fill_;
};

QLabel* header(const QString& text) {
    auto* label = plainLabel(text);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    return label;
}

} // namespace

AppsView::AppsView(ModelSignals& changes)
    : RebuiltPage(changes, "appsView") {
    follow({&ModelSignals::apps, &ModelSignals::battery});
}

void AppsView::build(QVBoxLayout* column) {
    auto* top = new QHBoxLayout;
    auto* group = new QButtonGroup(this);
    for (const auto window :
         {PowerWindow::fiveMinutes, PowerWindow::oneHour, PowerWindow::sinceUnplugged}) {
        auto* button = new QPushButton(toQString(std::string(title(window))));
        button->setObjectName(toQString("window-" + std::string(rawValue(window))));
        button->setCheckable(true);
        button->setChecked(model_.appWindow() == window);
        group->addButton(button);
        top->addWidget(button);
        connect(button, &QPushButton::clicked, this,
                [this, window] { model_.setAppWindow(window); });
    }
    if (model_.appWindow() == PowerWindow::sinceUnplugged && !model_.unplugSample())
        top->addWidget(
            secondaryLabel("Plugged in: there is no unplug to count from.", "pluggedIn"));
    top->addStretch();
    top->addWidget(new Pill(model_.appsUseEnergy() ? "Estimate from energy"
                                                   : "Estimate from CPU time and wakeups",
                            Pill::Tone::accent));
    column->addLayout(top);

    const auto& apps = model_.apps();
    if (apps.empty()) {
        auto* empty = secondaryLabel("The first reading arrives after two samples.", "noApps");
        empty->setAlignment(Qt::AlignCenter);
        column->addWidget(empty);
    } else {
        auto* table = new QGridLayout;
        table->setHorizontalSpacing(16);
        table->addWidget(header("App"), 0, 0);
        table->addWidget(header("Vuzur impact (estimate)"), 0, 1);
        table->addWidget(header("CPU"), 0, 2);
        table->addWidget(header("Idle wakeups / s"), 0, 3);
        table->addWidget(header("Processes"), 0, 4);
        int row = 1;
        for (const auto& app : apps) {
            auto* name = new QHBoxLayout;
            auto* label = plainLabel();
            QFont medium = label->font();
            medium.setWeight(QFont::Medium);
            label->setFont(medium);
            setNameText(label, toQString(app.name));
            name->addWidget(label);
            // By name where the desktop entry names us, and by pid where it does not (a build
            // run from its folder is "vuzur").
            const bool ours =
                app.name == "Quorvel Vuzur" ||
                std::find(app.pids.begin(), app.pids.end(), model_.ownPID()) != app.pids.end();
            if (ours) name->addWidget(new Pill("This app", Pill::Tone::accent));
            name->addStretch();
            table->addLayout(name, row, 0);
            auto* impact = new QHBoxLayout;
            impact->addWidget(new ShareBar(ScreenData::shareFill(app.share)));
            impact->addWidget(plainLabel(toQString(ScreenData::shareText(app.share))));
            impact->addStretch();
            auto* impactBox = new IdealWidth(180);
            impactBox->setLayout(impact);
            impactBox->setMinimumWidth(160);
            table->addWidget(impactBox, row, 1);
            auto* cpu = plainLabel(toQString(ScreenData::cpuText(app)));
            cpu->setFixedWidth(70);
            table->addWidget(cpu, row, 2);
            auto* wakeups = plainLabel(toQString(ScreenData::wakeupsText(app)));
            wakeups->setFixedWidth(110);
            table->addWidget(wakeups, row, 3);
            auto* processes = plainLabel(QString::number(app.pids.size()));
            processes->setFixedWidth(80);
            table->addWidget(processes, row, 4);
            ++row;
        }
        table->setColumnStretch(0, 1);
        column->addLayout(table);
    }
    column->addWidget(divider());
    column->addWidget(secondaryLabel(
        "GPU not measured: no public interface attributes graphics work to a process."));
    column->addWidget(secondaryLabel(
        toQString(ScreenData::notMeasuredLine(model_.appsNotMeasured())), "notMeasured"));
}

} // namespace QuorvelPower
