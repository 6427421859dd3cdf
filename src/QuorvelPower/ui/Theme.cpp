#include <PowerCore/foundation/PlatformWords.hpp>
#include <QAbstractAxis>
#include <QApplication>
#include <QChart>
#include <QDate>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLocale>
#include <QPalette>
#include <QStyleFactory>
#include <QVBoxLayout>
#include <QuorvelPower/ui/Theme.hpp>
#include <algorithm>

namespace QuorvelPower {

namespace Theme {

QColor accent() {
    return QColor::fromRgbF(0.42f, 0.36f, 0.91f);
}
QColor attention() {
    return QColor::fromRgbF(0.86f, 0.55f, 0.10f);
}
QColor good() {
    return QColor::fromRgbF(0.20f, 0.60f, 0.40f);
}
QColor page() {
    return QApplication::palette().color(QPalette::Window);
}
QColor card() {
    return QApplication::palette().color(QPalette::Base);
}
QColor hairline() {
    QColor text = QApplication::palette().color(QPalette::WindowText);
    text.setAlphaF(0.08f);
    return text;
}
QColor secondaryText() {
    QColor text = QApplication::palette().color(QPalette::WindowText);
    text.setAlphaF(0.6f);
    return text;
}
void colourChart(QChart* chart) {
    const QColor text = QApplication::palette().color(QPalette::WindowText);
    QColor grid = text;
    grid.setAlphaF(0.15f);
    for (QAbstractAxis* axis : chart->axes()) {
        axis->setLabelsBrush(text);
        axis->setTitleBrush(text);
        axis->setLinePenColor(secondaryText());
        axis->setGridLineColor(grid);
    }
    chart->legend()->setLabelColor(text);
}

namespace {

QPalette palette(bool dark) {
    QPalette p;
    const QColor window = dark ? QColor(30, 30, 32) : QColor(236, 236, 238);
    const QColor base = dark ? QColor(44, 44, 46) : QColor(255, 255, 255);
    const QColor text = dark ? QColor(235, 235, 240) : QColor(28, 28, 30);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, dark ? QColor(52, 52, 56) : QColor(246, 246, 248));
    p.setColor(QPalette::Button, base);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Highlight, accent());
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, dark ? QColor(140, 140, 146) : QColor(130, 130, 136));
    return p;
}

} // namespace

void applyAppearance(QApplication& application, const std::vector<std::string>& arguments) {
    const auto flag = std::find(arguments.begin(), arguments.end(), "--appearance");
    if (flag == arguments.end() || flag + 1 == arguments.end()) return;
    // One style everywhere so that the palette is honoured whatever the desktop's theme.
    application.setStyle(QStyleFactory::create("Fusion"));
    application.setPalette(palette(*(flag + 1) == "dark"));
}

} // namespace Theme

QFont captionFont() {
    QFont font = QApplication::font();
    font.setPointSizeF(std::max(7.0, font.pointSizeF() - 1.5));
    return font;
}

QFont calloutFont(bool medium) {
    QFont font = QApplication::font();
    if (medium) font.setWeight(QFont::Medium);
    return font;
}

QString localDay(const std::string& dayName) {
    const QDate date = QDate::fromString(toQString(dayName), Qt::ISODate);
    return date.isValid() ? QLocale().toString(date, QLocale::ShortFormat) : toQString(dayName);
}

QString toQString(const std::string& text) {
    return QString::fromStdString(text);
}

QFrame* divider() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    QPalette p = line->palette();
    p.setColor(QPalette::WindowText, Theme::hairline());
    line->setPalette(p);
    return line;
}

QString platformWords(const std::string& text) {
    return toQString(PowerCore::platformText(text));
}

Card::Card(const QString& title, QWidget* trailing, QWidget* parent)
    : QFrame(parent) {
    // A property, not the object name, marks it: screens name their cards.
    setProperty("vuzurCard", true);
    setAttribute(Qt::WA_StyledBackground, true);
    const QColor line = Theme::hairline();
    setStyleSheet(QString("[vuzurCard=\"true\"] { background: %1; "
                          "border: 1px solid rgba(%2,%3,%4,%5); border-radius: 14px; }")
                      .arg(Theme::card().name())
                      .arg(line.red())
                      .arg(line.green())
                      .arg(line.blue())
                      .arg(line.alphaF()));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(14);
    if (!title.isEmpty() || trailing != nullptr) {
        auto* header = new QHBoxLayout;
        auto* label = plainLabel(title);
        QFont font = label->font();
        font.setPointSizeF(10);
        font.setWeight(QFont::DemiBold);
        label->setFont(font);
        header->addWidget(label);
        header->addStretch();
        if (trailing != nullptr) header->addWidget(trailing);
        layout->addLayout(header);
    }
    body_ = new QVBoxLayout;
    body_->setSpacing(8);
    layout->addLayout(body_);
}

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText); // before the text: it is never parsed as markup
    label->setText(text);
    return label;
}

void setNameText(QLabel* label, const QString& name, int widest) {
    label->setText(QFontMetrics(label->font()).elidedText(name, Qt::ElideRight, widest));
    label->setAccessibleName(name);
}

Pill::Pill(const QString& text, const QColor& color, QWidget* parent)
    : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setText(text);
    QFont font = this->font();
    font.setPointSizeF(8.5);
    font.setWeight(QFont::DemiBold);
    setFont(font);
    setStyleSheet(QString("color: %1; background: rgba(%2,%3,%4,0.14); border-radius: 8px; "
                          "padding: 2px 7px;")
                      .arg(color.name())
                      .arg(color.red())
                      .arg(color.green())
                      .arg(color.blue()));
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

BigNumber::BigNumber(const QString& value, const std::optional<QString>& unit,
                     const QString& caption, QWidget* parent)
    : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* row = new QHBoxLayout;
    row->setSpacing(3);
    auto* number = plainLabel(value);
    QFont big = number->font();
    big.setPointSizeF(23);
    big.setWeight(QFont::DemiBold);
    number->setFont(big);
    row->addWidget(number, 0, Qt::AlignBaseline);
    if (unit) {
        auto* unitLabel = plainLabel(*unit);
        QFont medium = unitLabel->font();
        medium.setPointSizeF(10.5);
        medium.setWeight(QFont::Medium);
        unitLabel->setFont(medium);
        row->addWidget(unitLabel, 0, Qt::AlignBaseline);
    }
    row->addStretch();
    column->addLayout(row);
    auto* captionLabel = plainLabel(caption);
    captionLabel->setFont(captionFont());
    QPalette p = captionLabel->palette();
    p.setColor(QPalette::WindowText, Theme::secondaryText());
    captionLabel->setPalette(p);
    column->addWidget(captionLabel);
}

} // namespace QuorvelPower
