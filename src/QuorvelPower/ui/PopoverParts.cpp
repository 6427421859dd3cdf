#include <QHBoxLayout>
#include <QPainter>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QuorvelPower/ui/Icons.hpp>
#include <QuorvelPower/ui/PopoverParts.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <algorithm>

namespace QuorvelPower::Popover {

namespace {

// Between the pieces of a row, as between the popover's rows.
constexpr int rowSpacing = 12;

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

QLabel* label(const QFont& font, const char* name = nullptr, const QString& text = {}) {
    auto* l = plainLabel(text);
    l->setFont(font);
    l->setWordWrap(true);
    if (name != nullptr) l->setObjectName(name);
    return l;
}

void setColour(QLabel* label, const QColor& colour) {
    if (label->palette().color(QPalette::WindowText) == colour) return;
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

QHBoxLayout* row(int spacing) {
    auto* row = new QHBoxLayout;
    row->setSpacing(spacing);
    return row;
}

} // namespace

Symbol::Symbol() {
    setFixedWidth(22);
    setAlignment(Qt::AlignTop | Qt::AlignHCenter);
}

void Symbol::set(std::string_view name, const QColor& tint) {
    if (name == name_ && tint == tint_) return;
    name_ = name;
    tint_ = tint;
    // Our drawings in the colour the row asks for.
    QPixmap pixmap = symbol(name).pixmap(20, 20);
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), tint);
    painter.end();
    setPixmap(pixmap);
}

LineButton::LineButton(const char* name, const QString& description) {
    setObjectName(name);
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setProperty("vuzur", "row");
    setAccessibleDescription(description);
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(10);
    line->addWidget(icon_ = new Symbol);
    auto* column = new QVBoxLayout;
    column->setSpacing(1);
    column->addWidget(title_ = label(calloutFont(true)));
    column->addWidget(caption_ = label(captionFont()));
    line->addLayout(column, 1);
    for (auto* child : findChildren<QLabel*>())
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineButton::set(std::string_view symbolName, const PopoverTexts::Line& line) {
    icon_->set(symbolName, Theme::accent());
    const QString title = toQString(line.title), caption = toQString(line.caption);
    title_->setText(title);
    caption_->setText(caption);
    setColour(caption_, line.captionIsAttention ? Theme::attention() : Theme::secondaryText());
    caption_->setVisible(!caption.isEmpty());
    setMinimumHeight(caption.isEmpty() ? 24 : 40);
    setAccessibleName(caption.isEmpty() ? title : title + ", " + caption);
}

Lines::Lines(QVBoxLayout* column)
    : battery(new LineButton("batteryLine", "Opens the Battery tab"))
    , devices(plainLabel())
    , thermal(new LineButton("thermalLine", "Opens the Thermal tab")) {
    column->addWidget(battery);
    devices->setObjectName("devices");
    devices->setFont(captionFont());
    devices->setContentsMargins(32, 0, 0, 0); // under the battery line's text
    devices->setWordWrap(true);
    Theme::setSecondary(devices);
    devices->hide();
    column->addWidget(devices);
    column->addWidget(thermal);
    column->addWidget(divider());
}

void Block::setShown(bool shown) {
    if (shown == shown_) return;
    shown_ = shown;
    for (auto* widget : widgets_)
        widget->setVisible(shown);
}

bool Block::contains(const QWidget* widget) const {
    return widget != nullptr && std::ranges::any_of(widgets_, [widget](const QWidget* w) {
               return w == widget || w->isAncestorOf(widget);
           });
}

Header::Header(QVBoxLayout* column) {
    auto* header = new QHBoxLayout;
    header->setSpacing(rowSpacing);
    auto* title = label(calloutFont(true), nullptr, "Quorvel Vuzur");
    QFont headline = title->font();
    headline.setWeight(QFont::DemiBold);
    headline.setPointSizeF(headline.pointSizeF() + 1);
    title->setFont(headline);
    header->addWidget(title);
    header->addStretch();
    loading_ = new QProgressBar;
    loading_->setObjectName("loading");
    loading_->setRange(0, 0);
    loading_->setFixedSize(40, 6);
    loading_->setTextVisible(false);
    loading_->setAccessibleName("Loading");
    loading_->setAccessibleDescription("The battery and the sensors are being read");
    header->addWidget(loading_);
    column->addLayout(header);
}

void Header::set(bool loading) {
    loading_->setVisible(loading);
}

SessionBlock::SessionBlock(QVBoxLayout* column) {
    auto* session = row(10);
    session->addWidget(cup_ = new Symbol);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    texts->addWidget(title_ = label(calloutFont(true), "sessionTitle"));
    texts->addWidget(keeps_ = label(captionFont(), "sessionKeeps"));
    texts->addWidget(endsBy_ = label(captionFont(), "endsBy"));
    session->addLayout(texts, 1);
    end_ = popoverButton("End", false, "endSession");
    end_->setAccessibleName("End keep awake");
    session->addWidget(end_, 0, Qt::AlignTop);
    column->addLayout(session);
    widgets_ = {cup_, title_, keeps_, endsBy_, end_};
}

void SessionBlock::set(const PopoverTexts::Session& texts, bool keepsDisplayOn) {
    cup_->set(keepsDisplayOn ? "cup.and.saucer.fill" : "cup.and.saucer", Theme::good());
    title_->setText(toQString(texts.title));
    keeps_->setText(toQString(texts.keeps));
    setColour(keeps_, texts.notHeld ? Theme::attention() : Theme::secondaryText());
    endsBy_->setText(toQString(texts.endsBy));
    setColour(endsBy_, Theme::secondaryText());
    end_->setAccessibleDescription(title_->text() + ". " + endsBy_->text());
}

StartBlock::StartBlock(QVBoxLayout* column) {
    auto* title = label(calloutFont(true), nullptr, "Keep awake");
    column->addWidget(title);
    displayOn_ = new QToolButton;
    displayOn_->setObjectName("displayOn");
    displayOn_->setCheckable(true);
    displayOn_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    displayOn_->setAutoRaise(true);
    displayOn_->setText("Keep the display on too");
    displayOn_->setAccessibleName("Keep the display on too");
    displayOn_->setAccessibleDescription(
        "A session started here keeps the display from sleeping as well");
    setDisplayOn(false);
    column->addWidget(displayOn_);
    column->addWidget(rails_ = label(captionFont(), "railsCaption"));
    auto* buttons = row(6);
    buttons->addWidget(untilOff_ = popoverButton({}, false, "untilOff"));
    buttons->addWidget(oneHour_ = popoverButton("1 h", false, "oneHour"));
    oneHour_->setAccessibleName("Keep awake for 1 hour");
    buttons->addWidget(threeHours_ = popoverButton("3 h", false, "threeHours"));
    threeHours_->setAccessibleName("Keep awake for 3 hours");
    buttons->addStretch();
    column->addLayout(buttons);
    widgets_ = {title, displayOn_, rails_, untilOff_, oneHour_, threeHours_};
}

void StartBlock::set(const PowerCore::GuardRails& rails) {
    const QString caption = toQString(PopoverTexts::railsCaption(rails));
    rails_->setText(caption);
    setColour(rails_, Theme::secondaryText());
    QString untilOff = toQString(PopoverTexts::untilOffButton(rails));
    untilOff_->setText(untilOff);
    untilOff[0] = untilOff[0].toLower();
    untilOff_->setAccessibleName("Keep awake " + untilOff);
    // What stops a session, for a screen reader that does not read the caption first.
    for (auto* button : {untilOff_, oneHour_, threeHours_})
        button->setAccessibleDescription(caption);
}

void StartBlock::setDisplayOn(bool on) {
    displayOn_->setChecked(on);
    displayOn_->setIcon(symbol(on ? "checkmark.square.fill" : "square"));
}

QuestionBlock::QuestionBlock(QVBoxLayout* column) {
    auto* ask = row(10);
    ask->addWidget(icon_ = new Symbol);
    ask->addWidget(question_ = label(calloutFont(), "question"), 1);
    column->addLayout(ask);
    auto* buttons = row(rowSpacing);
    buttons->addWidget(extend_ = popoverButton({}, false, "extend"));
    buttons->addWidget(endNow_ = popoverButton("End now", false, "endNow"));
    endNow_->setAccessibleName("End keep awake now");
    buttons->addStretch();
    column->addLayout(buttons);
    widgets_ = {icon_, question_, extend_, endNow_};
}

void QuestionBlock::set(const QString& question, const PowerCore::GuardRails& rails) {
    icon_->set("questionmark.circle", Theme::attention());
    question_->setText(question);
    extend_->setText(toQString(PopoverTexts::extendButton(rails)));
    extend_->setAccessibleName(extend_->text());
    extend_->setAccessibleDescription(question);
    endNow_->setAccessibleDescription(question);
}

NoteRow::NoteRow(QVBoxLayout* column) {
    auto* note = row(rowSpacing);
    note->addWidget(icon_ = new Symbol);
    note->addWidget(text_ = label(captionFont(), "sessionNote"), 1);
    column->addLayout(note);
    widgets_ = {icon_, text_};
}

void NoteRow::set(const SessionNote& note) {
    icon_->set("info.circle", Theme::secondaryText());
    text_->setText(toQString(note.text));
    setColour(text_, note.attention ? Theme::attention() : Theme::secondaryText());
}

Footer::Footer(QVBoxLayout* column) {
    auto* footer = row(rowSpacing);
    open_ = popoverButton("Open Vuzur", true, "openVuzur");
    open_->setAccessibleName("Open Vuzur");
    open_->setAccessibleDescription("Opens the window on its Battery tab");
    quit_ = popoverButton("Quit", false, "quit");
    quit_->setAccessibleName("Quit Quorvel Vuzur");
    quit_->setAccessibleDescription("Closes the program and takes its item off the panel");
    footer->addWidget(open_);
    footer->addStretch();
    footer->addWidget(quit_);
    column->addLayout(footer);
}

} // namespace QuorvelPower::Popover
