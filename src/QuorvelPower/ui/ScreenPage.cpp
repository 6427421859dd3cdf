#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QuorvelPower/ui/ScreenPage.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <algorithm>

namespace QuorvelPower {

ScreenPage::ScreenPage(AppModel& model, ModelObservers& observers,
                       std::initializer_list<AppModel::Field> fields, const char* name)
    : model_(model)
    , fields_(fields) {
    setObjectName(name);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    token_ = observers.listen([this](AppModel::Field field) {
        if (std::find(fields_.begin(), fields_.end(), field) == fields_.end() || pending_ ||
            !follows(field))
            return;
        if (!isVisible()) {
            stale_ = true; // a page nobody sees costs nothing: built when shown
            return;
        }
        pending_ = true;
        QTimer::singleShot(0, this, [this] {
            pending_ = false;
            rebuild();
        });
    });
}

void ScreenPage::showEvent(QShowEvent* event) {
    QScrollArea::showEvent(event);
    if (stale_) rebuild();
}

void ScreenPage::rebuild() {
    stale_ = false;
    // The page is built again every few seconds while it is on screen: where the reader
    // had scrolled to, and the field they were typing in, stay. (Not a button: the same
    // name may now be another row's, and a second key press would act on it.)
    const int scrolled = verticalScrollBar()->value();
    QString focused;
    if (auto* focus = QApplication::focusWidget();
        focus && widget() && widget()->isAncestorOf(focus) &&
        (qobject_cast<QAbstractSpinBox*>(focus) || qobject_cast<QLineEdit*>(focus) ||
         qobject_cast<QComboBox*>(focus)))
        focused = focus->objectName();
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(16);
    build(column);
    column->addStretch();
    setWidget(page); // the old page goes with it
    if (scrolled > 0) {
        QApplication::sendPostedEvents(page, QEvent::LayoutRequest);
        verticalScrollBar()->setValue(scrolled);
    }
    if (!focused.isEmpty())
        if (auto* again = page->findChild<QWidget*>(focused)) again->setFocus();
}

QLabel* secondaryLabel(const QString& text, const char* name) {
    auto* label = plainLabel(text);
    label->setWordWrap(true);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Theme::secondaryText());
    label->setPalette(p);
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
