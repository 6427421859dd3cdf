#include <PowerCore/foundation/PlatformWords.hpp>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QuorvelPower/ui/ScreenData.hpp>
#include <QuorvelPower/ui/SettingsView.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/Widgets.hpp>
#include <QuorvelPower/ui/history/HistoryView.hpp>
#include <fmt/format.h>

namespace QuorvelPower {

namespace {

QLabel* cell(const QString& text, int width = 0) {
    auto* label = plainLabel(text);
    if (width > 0) label->setFixedWidth(width);
    return label;
}

} // namespace

HistoryView::HistoryView(ModelSignals& changes)
    : RebuiltPage(changes, "historyView") {
    follow({&ModelSignals::history});
    connect(&changes, &ModelSignals::window, this, [this] {
        const bool chosen = model_.tab() == Tab::history && !onTab_;
        onTab_ = model_.tab() == Tab::history;
        if (chosen && window()->isVisible()) {
            // Timed to the page's first paint after the choice: built again first if the
            // history changed while it was hidden.
            model_.markForDiagnostics("historyTabChosen");
            timing_ = Timing::painting;
            if (widget()) widget()->installEventFilter(this);
        }
    });
}

bool HistoryView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && timing_ == Timing::painting && watched == widget()) {
        timing_ = Timing::idle;
        // The page's children paint in this same pass; the next turn of the loop is after.
        QTimer::singleShot(0, this, [this] { model_.markForDiagnostics("historyTabDrawn"); });
    }
    return ScreenPage::eventFilter(watched, event);
}

void HistoryView::build(QVBoxLayout* column) {
    if (timing_ == Timing::painting) column->parentWidget()->installEventFilter(this);
    auto* byDay = new Card("Battery, by day");
    byDay->setObjectName("batteryDays");
    const auto days = ScreenData::batteryDays(model_.history().charge, model_.calendar());
    if (days.empty()) {
        byDay->body()->addWidget(secondaryLabel(
            "History fills in as Vuzur runs: one battery sample every 5 minutes, app readings "
            "every 5 minutes, thermal episodes as they happen."));
    } else {
        // A table of items, not of widgets: a year is 365 rows.
        auto* table = new QTableWidget(int(days.size()), 3);
        table->setObjectName("batteryDaysTable");
        table->horizontalHeader()->hide();
        table->verticalHeader()->hide();
        table->setShowGrid(false);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionMode(QAbstractItemView::NoSelection);
        table->setFrameShape(QFrame::NoFrame);
        table->setColumnWidth(0, 110);
        table->setColumnWidth(1, 90);
        table->horizontalHeader()->setStretchLastSection(true);
        table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
        for (int row = 0; row < int(days.size()); ++row) {
            const auto& day = days[size_t(row)];
            table->setItem(row, 0, new QTableWidgetItem(localDay(day.day)));
            table->setItem(
                row, 1,
                new QTableWidgetItem(toQString(fmt::format("{}\u2013{} %", day.low, day.high))));
            table->setItem(row, 2,
                           new QTableWidgetItem(toQString(fmt::format(
                               "{} of {} samples on battery", day.onBattery, day.samples))));
        }
        // As tall as all its rows: the page is the one thing that scrolls.
        table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        table->setFixedHeight(int(days.size()) * table->verticalHeader()->defaultSectionSize() + 4);
        table->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        byDay->body()->addWidget(table);
    }
    column->addWidget(byDay);

    auto* health = new Card("Daily health points (kept for life)");
    health->setObjectName("dailyHealth");
    const auto& points = model_.dailyHealth();
    if (points.empty()) {
        health->body()->addWidget(
            secondaryLabel("The first point is written with the first battery sample of a day."));
    } else {
        auto* grid = new QGridLayout;
        int row = 0;
        const size_t first = points.size() > 30 ? points.size() - 30 : 0;
        for (size_t i = points.size(); i-- > first;) {
            const auto& p = points[i];
            grid->addWidget(cell(localDay(p.day), 110), row, 0);
            grid->addWidget(cell(toQString(ScreenData::capacityText(p)), 90), row, 1);
            grid->addWidget(
                cell(p.cycleCount ? toQString(fmt::format("{} cycles", *p.cycleCount)) : QString()),
                row, 2);
            ++row;
        }
        grid->setColumnStretch(2, 1);
        health->body()->addLayout(grid);
    }
    column->addWidget(health);

    auto* storage = new Card("Storage");
    storage->setObjectName("storage");
    auto* row = new QHBoxLayout;
    row->addWidget(
        secondaryLabel(
            SettingsView::byteCount(model_.historyBytes()) +
            platformWords(" in Vuzur's own folder on this Mac. Nothing is sent anywhere.")),
        1);
    auto* remove = new QPushButton("Delete history older than 7 days\u2026");
    remove->setObjectName("deleteOlder");
    connect(remove, &QPushButton::clicked, this, [this] { model_.askDeleteOlderHistory(); });
    row->addWidget(remove);
    storage->body()->addLayout(row);
    column->addWidget(storage);
}

} // namespace QuorvelPower
