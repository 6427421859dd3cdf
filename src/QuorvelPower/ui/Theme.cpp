#include <PowerCore/foundation/PlatformWords.hpp>
#include <QAbstractAxis>
#include <QApplication>
#include <QChart>
#include <QChartView>
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

void setSecondary(QWidget* widget) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, secondaryText());
    widget->setPalette(p);
    widget->setProperty("vuzurSecondary", true);
}

void followPalette() {
    qApp->setStyleSheet(styleSheet());
    for (QWidget* widget : QApplication::allWidgets()) {
        if (widget->property("vuzurSecondary").toBool()) setSecondary(widget);
        if (auto* view = qobject_cast<QChartView*>(widget)) colourChart(view->chart());
    }
}

QString styleSheet() {
    const QColor line = hairline();
    const QColor text = QApplication::palette().color(QPalette::WindowText);
    const auto rgba = [](const QColor& c, double alpha) {
        return QString("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(alpha);
    };
    QString sheet = QString("[vuzur=\"card\"] { background: %1; border: 1px solid %2; "
                            "border-radius: 14px; }\n")
                        .arg(card().name(), rgba(line, line.alphaF()));
    const std::pair<const char*, QColor> tones[] = {
        {"pill-accent", accent()}, {"pill-attention", attention()}, {"pill-good", good()}};
    for (const auto& [tone, colour] : tones)
        sheet += QString("QLabel[vuzur=\"%1\"] { color: %2; background: %3; border-radius: 8px; "
                         "padding: 2px 7px; }\n")
                     .arg(tone, colour.name(), rgba(colour, 0.14));
    sheet += QString("QPushButton[vuzur=\"prominent\"] { color: white; background: %1; "
                     "border-radius: 7px; padding: 5px 10px; }\n"
                     "QPushButton[vuzur=\"prominent\"]:pressed { background: %2; }\n"
                     "QPushButton[vuzur=\"plain\"] { color: %3; background: %4; "
                     "border-radius: 7px; padding: 5px 10px; }\n"
                     "QPushButton[vuzur=\"plain\"]:pressed { background: %5; }\n"
                     "QPushButton[vuzur=\"row\"] { border: none; text-align: left; padding: 0; }\n")
                 .arg(accent().name(), accent().lighter(130).name(), text.name(), rgba(text, 0.08),
                      rgba(text, 0.05));
    // Tables on the page itself, their column titles as plain bold text.
    sheet += QString("QTableView[vuzur=\"page\"], QTableView[vuzur=\"page\"] QHeaderView "
                     "{ background: transparent; }\n"
                     "QTableView[vuzur=\"page\"] QHeaderView::section { background: transparent; "
                     "border: none; padding: 0 4px; font-weight: 600; color: %1; }\n")
                 .arg(text.name());
    return sheet;
}

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

} // namespace QuorvelPower
