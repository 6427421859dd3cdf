#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QuorvelPower/ui/PopoverParts.hpp>
#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <QuorvelPower/ui/PopoverView.hpp>
#include <QuorvelPower/ui/Theme.hpp>

namespace QuorvelPower {

using namespace PowerCore;

namespace {

QVBoxLayout* popoverColumn(QWidget* popover) {
    auto* column = new QVBoxLayout(popover);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);
    return column;
}

} // namespace

PopoverView::PopoverView(ModelSignals& changes, Actions actions, bool live)
    // A window of its own that closes when it loses the focus, rather than a Qt::Popup: a
    // popup opened from a panel's D-Bus call gets no pointer or keyboard grab on X11 and
    // then never closes, and Wayland gives a popup without a parent window no place.
    : QWidget(nullptr,
              live ? Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint : Qt::Widget)
    , model_(changes.model())
    , actions_(std::move(actions))
    , live_(live)
    , column_(popoverColumn(this))
    , header_(column_)
    , lines_(column_)
    , session_(column_)
    , start_(column_)
    , question_(column_)
    , note_(column_)
    , footer_(column_) {
    setObjectName("popover");
    setFixedWidth(width);
    setAutoFillBackground(true);
    connectControls();
    for (const auto kind : {&ModelSignals::battery, &ModelSignals::thermal, &ModelSignals::session,
                            &ModelSignals::sheets, &ModelSignals::settings, &ModelSignals::refresh,
                            &ModelSignals::window})
        connect(&changes, kind, this, &PopoverView::changed);
    bringUpToDate();
}

void PopoverView::connectControls() {
    const auto show = [this](Tab tab) { return [this, tab] { actions_.show(tab); }; };
    connect(lines_.battery, &QPushButton::clicked, this, show(Tab::battery));
    connect(lines_.thermal, &QPushButton::clicked, this, show(Tab::thermal));
    connect(session_.end(), &QPushButton::clicked, this, [this] { model_.endSession(); });
    connect(start_.displayOn(), &QToolButton::clicked, this, &PopoverView::setDisplayOn);
    const auto start = [this](std::optional<double> duration) {
        return [this, duration] {
            model_.startManual(ManualRequest{displayOn_, duration, std::nullopt});
        };
    };
    connect(start_.untilOff(), &QPushButton::clicked, this, start(std::nullopt));
    connect(start_.oneHour(), &QPushButton::clicked, this, start(3600));
    connect(start_.threeHours(), &QPushButton::clicked, this, start(10800));
    connect(question_.extend(), &QPushButton::clicked, this,
            [this] { model_.answerQuestion(true); });
    connect(question_.endNow(), &QPushButton::clicked, this,
            [this] { model_.answerQuestion(false); });
    connect(footer_.open(), &QPushButton::clicked, this, show(Tab::battery));
    connect(footer_.quit(), &QPushButton::clicked, this, [this] { actions_.quit(); });
}

void PopoverView::setDisplayOn(bool on) {
    if (on == displayOn_) return;
    displayOn_ = on;
    start_.setDisplayOn(on);
    emit displayOnChanged();
}

bool PopoverView::justHidden() const {
    return hidden_.isValid() && hidden_.elapsed() < 400;
}

void PopoverView::changed() {
    // Hidden, it is brought up to date when it shows again.
    if (live_ && !isVisible()) {
        stale_ = true;
        return;
    }
    // A refresh changes many fields at once: one update for all of them.
    if (pending_) return;
    pending_ = true;
    QTimer::singleShot(0, this, [this] {
        pending_ = false;
        bringUpToDate();
    });
}

void PopoverView::bringUpToDate() {
    ++updates_;
    header_.set(!model_.lastRefresh());
    lines_.battery->set(
        model_.battery().battery ? "battery.75percent" : "powerplug",
        PopoverTexts::battery(model_.battery(), model_.sensors(), model_.timeCalculating()));
    QStringList devices;
    for (const auto& device : model_.peripherals())
        devices << toQString(PopoverTexts::deviceLine(device));
    lines_.devices->setText(devices.join('\n'));
    lines_.devices->setVisible(!devices.isEmpty());
    lines_.thermal->set("thermometer.medium",
                        PopoverTexts::thermal(model_.thermal(), model_.sensors()));
    showSessionOrStart();
    const auto& pending = model_.pendingQuestion();
    if (pending)
        question_.set(toQString(PopoverTexts::question(*pending, *model_.dates())), model_.rails());
    question_.setShown(pending.has_value());
    const auto& note = model_.sessionNote();
    if (note) note_.set(*note);
    note_.setShown(note.has_value());
    adjustSize();
}

void PopoverView::showSessionOrStart() {
    if (const auto& session = model_.activeSession()) {
        session_.set(PopoverTexts::session(*session, *model_.dates(), model_.notHeld(),
                                           model_.displayNotHeld()),
                     session->keepDisplayOn);
        swapBlocks(session_, start_, session_.end());
    } else {
        start_.set(model_.rails());
        swapBlocks(start_, session_, start_.displayOn());
    }
}

void PopoverView::swapBlocks(Popover::Block& coming, Popover::Block& leaving,
                             QWidget* focusInstead) {
    // A control that goes away with its block hands the focus to its counterpart, rather
    // than to whatever follows it.
    const bool hadFocus = leaving.isShown() && leaving.contains(focusWidget());
    coming.setShown(true);
    if (hadFocus) focusInstead->setFocus(Qt::OtherFocusReason);
    leaving.setShown(false);
}

void PopoverView::popUp(const QRect& trayGeometry) {
    adjustSize();
    QPoint anchor = trayGeometry.isValid() ? trayGeometry.bottomLeft() : QCursor::pos();
    const QScreen* screen = QGuiApplication::screenAt(anchor);
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        const QRect area = screen->availableGeometry();
        QPoint at = anchor;
        // Under a top panel, above a bottom one; always inside the screen.
        if (at.y() + height() > area.bottom())
            at.setY((trayGeometry.isValid() ? trayGeometry.top() : at.y()) - height());
        if (trayGeometry.isValid()) at.setX(trayGeometry.center().x());
        at.setX(std::clamp(at.x() - width / 2, area.left(),
                           std::max(area.left(), area.right() - width)));
        at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - height())));
        move(at);
    }
    show();
    raise();
    activateWindow();
}

void PopoverView::showEvent(QShowEvent* event) {
    if (stale_) {
        stale_ = false;
        bringUpToDate();
    }
    QWidget::showEvent(event);
    if (live_) model_.setVisible(true);
}

void PopoverView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    hidden_.start();
    if (live_) model_.setVisible(model_.isWindowOpen());
}

bool PopoverView::event(QEvent* event) {
    // Losing the focus closes it: a click elsewhere, another application; once the
    // platform's events have settled, and only when the focus really went.
    if (live_ && event->type() == QEvent::WindowDeactivate && isVisible())
        QTimer::singleShot(0, this, [this] {
            if (isVisible() && !isActiveWindow()) hide();
        });
    return QWidget::event(event);
}

void PopoverView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace QuorvelPower
