#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QuorvelPower/ui/ScreenPage.hpp>
#include <QuorvelPower/ui/Theme.hpp>

namespace QuorvelPower {

ScreenPage::ScreenPage(ModelSignals& changes, const char* name)
    : changes_(changes)
    , model_(changes.model()) {
    setObjectName(name);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    auto* page = new QWidget;
    column_ = new QVBoxLayout(page);
    column_->setContentsMargins(20, 20, 20, 20);
    column_->setSpacing(16);
    setWidget(page);
}

void ScreenPage::follow(std::initializer_list<Kind> kinds) {
    for (const Kind kind : kinds)
        connect(&changes_, kind, this, &ScreenPage::changed);
}

void ScreenPage::changed() {
    if (!isVisible()) {
        stale_ = true; // a page nobody sees costs nothing
        return;
    }
    if (pending_) return;
    pending_ = true;
    QTimer::singleShot(0, this, [this] {
        pending_ = false;
        if (isVisible())
            bringUpToDate();
        else
            stale_ = true;
    });
}

void ScreenPage::showEvent(QShowEvent* event) {
    QScrollArea::showEvent(event);
    if (stale_) bringUpToDate();
}

void ScreenPage::bringUpToDate() {
    stale_ = false;
    ++updates_;
    updatePage();
}

QLabel* secondaryLabel(const QString& text, const char* name) {
    auto* label = plainLabel(text);
    label->setWordWrap(true);
    Theme::setSecondary(label);
    if (name != nullptr) label->setObjectName(name);
    return label;
}

QLabel* sheetHeading(const QString& text) {
    auto* label = plainLabel(text);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    font.setPointSizeF(font.pointSizeF() + 2);
    label->setFont(font);
    label->setObjectName("sheetTitle");
    label->setWordWrap(true);
    return label;
}

} // namespace QuorvelPower
