#include <PowerCore/foundation/PlatformWords.hpp>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <QuorvelPower/ui/ScreenPage.hpp>
#include <QuorvelPower/ui/Sheets.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/awake/AwakeSheets.hpp>
#include <algorithm>
#include <fmt/format.h>

namespace QuorvelPower {

namespace {

QLabel* text(const QString& value) {
    auto* label = plainLabel(value);
    label->setWordWrap(true);
    return label;
}

QPushButton* button(QDialogButtonBox* box, const QString& title, QDialogButtonBox::ButtonRole role,
                    const char* name) {
    auto* b = box->addButton(title, role);
    b->setObjectName(name);
    return b;
}

template <class... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

void fillNotice(const Notice& notice, QDialog* dialog, QVBoxLayout* layout, QDialogButtonBox* box,
                AppModel& model) {
    layout->addWidget(sheetHeading(toQString(notice.title)));
    auto* message = text(toQString(notice.message));
    message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message->setObjectName("noticeMessage");
    // A long notice (every day file deleted, by name) scrolls; its OK stays on the screen.
    auto* scroll = new QScrollArea;
    scroll->setObjectName("noticeScroll");
    scroll->setWidget(message);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    scroll->setMinimumWidth(376);
    // Measured at the width left beside a scroll bar: no line is cut.
    const int width = 376 - scroll->verticalScrollBar()->sizeHint().width();
    scroll->setMaximumHeight(
        std::min(message->heightForWidth(width) + 2, 18 * message->fontMetrics().height()));
    layout->addWidget(scroll);
    auto* ok = button(box, "OK", QDialogButtonBox::AcceptRole, "ok");
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog,
                     [&model] { model.setNotice(std::nullopt); });
}

void fillDelete(const std::vector<std::string>& files, QDialog* dialog, QVBoxLayout* layout,
                QDialogButtonBox* box, AppModel& model) {
    const auto count = files.size();
    if (count == 0) {
        layout->addWidget(sheetHeading("Nothing older than 7 days"));
    } else {
        layout->addWidget(sheetHeading(
            toQString(fmt::format("Delete {} day file{}?", count, count == 1 ? "" : "s"))));
        auto* list = new QListWidget;
        list->setObjectName("files");
        list->setAccessibleName("Day files to delete");
        for (const auto& file : files)
            list->addItem(toQString(file));
        list->setMaximumHeight(160);
        layout->addWidget(list);
        layout->addWidget(text(toQString(PowerCore::platformText(
            "Only these files in Vuzur\u2019s own History folder. The daily health points are "
            "kept."))));
    }
    auto* cancel = button(box, "Cancel", QDialogButtonBox::RejectRole, "cancel");
    QObject::connect(cancel, &QPushButton::clicked, dialog,
                     [&model] { model.setDeleteCandidates(std::nullopt); });
    // The keyboard starts on the button that deletes nothing.
    cancel->setDefault(true);
    cancel->setFocus();
    if (count == 0) return;
    auto* remove = button(box, "Delete", QDialogButtonBox::DestructiveRole, "delete");
    QObject::connect(remove, &QPushButton::clicked, dialog,
                     [&model] { model.confirmDeleteOlderHistory(); });
}

void fillLogin(QDialog* dialog, QVBoxLayout* layout, QDialogButtonBox* box, AppModel& model) {
    layout->addWidget(sheetHeading("Open Quorvel Vuzur at login?"));
    layout->addWidget(text(
        platformWords("Rules only run while Vuzur is open. If you say yes, Vuzur adds itself to "
                      "your Login Items (you will see it in System Settings \u2192 General "
                      "\u2192 Login Items and can remove it there or in Vuzur\u2019s Settings). "
                      "Nothing else changes.")));
    auto* no = button(box, "No", QDialogButtonBox::RejectRole, "no");
    QObject::connect(no, &QPushButton::clicked, dialog,
                     [&model] { model.answerLoginQuestion(false); });
    auto* yes = button(box, "Yes, open at login", QDialogButtonBox::AcceptRole, "yes");
    yes->setDefault(true);
    QObject::connect(yes, &QPushButton::clicked, dialog,
                     [&model] { model.answerLoginQuestion(true); });
}

} // namespace

QDialog* makeSheet(const ActiveSheet& sheet, AppModel& model, QWidget* window) {
    if (const auto* rule = std::get_if<ActiveSheet::Rule>(&sheet.sheet))
        return makeRuleSheet(model, rule->draft, window);
    if (const auto* question = std::get_if<ActiveSheet::Question>(&sheet.sheet))
        return makeCapQuestionSheet(model, question->session, window);
    auto* dialog = new QDialog(window);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setObjectName(QString::fromStdString("sheet-" + sheet.identity()));
    dialog->setMinimumWidth(420);
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(22, 20, 22, 18);
    layout->setSpacing(12);
    auto* box = new QDialogButtonBox(dialog); // in the dialog at once: focus given meanwhile holds
    // Every kind named: a new one cannot pass for another.
    std::visit(
        Overloaded{
            [&](const ActiveSheet::NoticeSheet& n) {
                fillNotice(n.notice, dialog, layout, box, model);
            },
            [&](const ActiveSheet::Delete& d) { fillDelete(d.files, dialog, layout, box, model); },
            [&](const ActiveSheet::Login&) { fillLogin(dialog, layout, box, model); },
            [](const ActiveSheet::Rule&) {},     // its own sheet, above
            [](const ActiveSheet::Question&) {}, // likewise
        },
        sheet.sheet);
    layout->addWidget(box);
    return dialog;
}

} // namespace QuorvelPower
