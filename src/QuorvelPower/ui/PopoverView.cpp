#include <PowerCore/foundation/PlatformWords.hpp>
#include <QCursor>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QuorvelPower/ui/Icons.hpp>
#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <QuorvelPower/ui/PopoverView.hpp>
#include <QuorvelPower/ui/Theme.hpp>

namespace QuorvelPower {

using namespace PowerCore;

namespace {

QPushButton* popoverButton(const QString& title, bool prominent, const char* name) {
    auto* button = new QPushButton(title);
    button->setObjectName(name);
    button->setCursor(Qt::PointingHandCursor);
    button->setFlat(true);
    QFont font = calloutFont();
    font.setWeight(prominent ? QFont::DemiBold : QFont::Normal);
    button->setFont(font);
    button->setProperty("vuzur", prominent ? "prominent" : "plain");
    return button;
}

QLabel* label(const QString& text, const QFont& font, const QColor& color = {}) {
    auto* l = plainLabel(text);
    l->setFont(font);
    l->setWordWrap(true);
    if (color.isValid()) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, color);
        l->setPalette(p);
    }
    return l;
}

QLabel* icon(std::string_view name, const QColor& tint) {
    auto* l = plainLabel();
    // Our drawings in the colour the row asks for.
    QPixmap pixmap = symbol(name).pixmap(20, 20);
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), tint);
    painter.end();
    l->setPixmap(pixmap);
    l->setFixedWidth(22);
    l->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    return l;
}

// A row of a symbol and a title over a caption, clickable as a whole.
QPushButton* lineButton(const char* name, std::string_view symbolName,
                        const PopoverTexts::Line& line) {
    auto* button = new QPushButton;
    button->setObjectName(name);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setProperty("vuzur", "row");
    auto* row = new QHBoxLayout(button);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    row->addWidget(icon(symbolName, Theme::accent()));
    auto* column = new QVBoxLayout;
    column->setSpacing(1);
    column->addWidget(label(toQString(line.title), calloutFont(true)));
    if (!line.caption.empty())
        column->addWidget(
            label(toQString(line.caption), captionFont(),
                  line.captionIsAttention ? Theme::attention() : Theme::secondaryText()));
    row->addLayout(column, 1);
    button->setMinimumHeight(line.caption.empty() ? 24 : 40);
    for (auto* child : button->findChildren<QLabel*>())
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
    return button;
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
    , live_(live) {
    setObjectName("popover");
    setFixedWidth(width);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    for (const auto kind : {&ModelSignals::battery, &ModelSignals::thermal, &ModelSignals::session,
                            &ModelSignals::sheets, &ModelSignals::settings, &ModelSignals::refresh,
                            &ModelSignals::window})
        connect(&changes, kind, this, &PopoverView::scheduleRebuild);
    rebuild();
}

void PopoverView::setDisplayOn(bool on) {
    if (on == displayOn_) return;
    displayOn_ = on;
    scheduleRebuild();
    emit displayOnChanged();
}

bool PopoverView::justHidden() const {
    return hidden_.isValid() && hidden_.elapsed() < 400;
}

void PopoverView::scheduleRebuild() {
    // Hidden, it is rebuilt when it shows again.
    if (live_ && !isVisible()) {
        stale_ = true;
        return;
    }
    // A refresh changes many fields at once: one rebuild for all of them.
    if (rebuildPending_) return;
    rebuildPending_ = true;
    QTimer::singleShot(0, this, [this] {
        rebuildPending_ = false;
        rebuild();
    });
}

void PopoverView::rebuild() {
    delete content_;
    content_ = new QWidget(this);
    layout()->addWidget(content_);
    auto* stack = new QVBoxLayout(content_);
    stack->setContentsMargins(16, 16, 16, 16);
    stack->setSpacing(12);
    const auto& calendar = model_.calendar();

    auto* header = new QHBoxLayout;
    auto* title = label("Quorvel Vuzur", calloutFont(true));
    QFont headline = title->font();
    headline.setWeight(QFont::DemiBold);
    headline.setPointSizeF(headline.pointSizeF() + 1);
    title->setFont(headline);
    header->addWidget(title);
    header->addStretch();
    if (!model_.lastRefresh()) {
        auto* busy = new QProgressBar;
        busy->setObjectName("loading");
        busy->setRange(0, 0);
        busy->setFixedSize(40, 6);
        busy->setTextVisible(false);
        header->addWidget(busy);
    }
    stack->addLayout(header);

    auto* battery = lineButton(
        "batteryLine", model_.battery().battery ? "battery.75percent" : "powerplug",
        PopoverTexts::battery(model_.battery(), model_.sensors(), model_.timeCalculating()));
    connect(battery, &QPushButton::clicked, this, [this] { actions_.show(Tab::battery); });
    stack->addWidget(battery);
    auto* thermal = lineButton("thermalLine", "thermometer.medium",
                               PopoverTexts::thermal(model_.thermal(), model_.sensors()));
    connect(thermal, &QPushButton::clicked, this, [this] { actions_.show(Tab::thermal); });
    stack->addWidget(thermal);
    stack->addWidget(divider());

    const auto& rails = model_.rails();
    if (const auto& session = model_.activeSession()) {
        const auto texts =
            PopoverTexts::session(*session, calendar, model_.notHeld(), model_.displayNotHeld());
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(
            icon(session->keepDisplayOn ? "cup.and.saucer.fill" : "cup.and.saucer", Theme::good()));
        auto* column = new QVBoxLayout;
        column->setSpacing(1);
        auto* sessionTitle = label(toQString(texts.title), calloutFont(true));
        sessionTitle->setObjectName("sessionTitle");
        column->addWidget(sessionTitle);
        auto* keeps = label(toQString(texts.keeps), captionFont(),
                            texts.notHeld ? Theme::attention() : Theme::secondaryText());
        keeps->setObjectName("sessionKeeps");
        column->addWidget(keeps);
        auto* ends = label(toQString(texts.endsBy), captionFont(), Theme::secondaryText());
        ends->setObjectName("endsBy");
        column->addWidget(ends);
        row->addLayout(column, 1);
        auto* end = popoverButton("End", false, "endSession");
        connect(end, &QPushButton::clicked, this, [this] { model_.endSession(); });
        row->addWidget(end, 0, Qt::AlignTop);
        stack->addLayout(row);
    } else {
        stack->addWidget(label("Keep awake", calloutFont(true)));
        auto* check = new QToolButton;
        check->setObjectName("displayOn");
        check->setCheckable(true);
        check->setChecked(displayOn_);
        check->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        check->setAutoRaise(true);
        check->setText("Keep the display on too");
        check->setIcon(symbol(displayOn_ ? "checkmark.square.fill" : "square"));
        connect(check, &QToolButton::clicked, this, [this, check](bool on) {
            displayOn_ = on;
            check->setIcon(symbol(on ? "checkmark.square.fill" : "square"));
            emit displayOnChanged();
        });
        stack->addWidget(check);
        auto* caption = label(toQString(PopoverTexts::railsCaption(rails)), captionFont(),
                              Theme::secondaryText());
        caption->setObjectName("railsCaption");
        stack->addWidget(caption);
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(6);
        const auto start = [this](std::optional<double> duration) {
            model_.startManual(ManualRequest{displayOn_, duration, std::nullopt});
        };
        auto* untilOff =
            popoverButton(toQString(PopoverTexts::untilOffButton(rails)), false, "untilOff");
        connect(untilOff, &QPushButton::clicked, this, [start] { start(std::nullopt); });
        auto* oneHour = popoverButton("1 h", false, "oneHour");
        connect(oneHour, &QPushButton::clicked, this, [start] { start(3600); });
        auto* threeHours = popoverButton("3 h", false, "threeHours");
        connect(threeHours, &QPushButton::clicked, this, [start] { start(10800); });
        buttons->addWidget(untilOff);
        buttons->addWidget(oneHour);
        buttons->addWidget(threeHours);
        buttons->addStretch();
        stack->addLayout(buttons);
    }

    if (const auto& pending = model_.pendingQuestion()) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(icon("questionmark.circle", Theme::attention()));
        auto* text = label(toQString(PopoverTexts::question(*pending, calendar)), calloutFont());
        text->setObjectName("question");
        row->addWidget(text, 1);
        stack->addLayout(row);
        auto* buttons = new QHBoxLayout;
        auto* extend = popoverButton(toQString(PopoverTexts::extendButton(rails)), false, "extend");
        connect(extend, &QPushButton::clicked, this, [this] { model_.answerQuestion(true); });
        auto* endNow = popoverButton("End now", false, "endNow");
        connect(endNow, &QPushButton::clicked, this, [this] { model_.answerQuestion(false); });
        buttons->addWidget(extend);
        buttons->addWidget(endNow);
        buttons->addStretch();
        stack->addLayout(buttons);
    }

    if (const auto& note = model_.sessionNote()) {
        auto* row = new QHBoxLayout;
        row->addWidget(icon("info.circle", Theme::secondaryText()));
        auto* text = label(toQString(note->text), captionFont(),
                           note->attention ? Theme::attention() : Theme::secondaryText());
        text->setObjectName("sessionNote");
        row->addWidget(text, 1);
        stack->addLayout(row);
    }

    auto* footer = new QHBoxLayout;
    auto* open = popoverButton("Open Vuzur", true, "openVuzur");
    connect(open, &QPushButton::clicked, this, [this] { actions_.show(Tab::battery); });
    auto* quit = popoverButton("Quit", false, "quit");
    connect(quit, &QPushButton::clicked, this, [this] { actions_.quit(); });
    footer->addWidget(open);
    footer->addStretch();
    footer->addWidget(quit);
    stack->addLayout(footer);
    // Shown now, not later as a child added to a visible window would be: sized while still
    // hidden, the window would come out empty, and an empty window is unmapped and mapped
    // again, which loses the focus and flickers.
    content_->show();
    adjustSize();
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
        rebuild();
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
