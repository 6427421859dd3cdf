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
    : ScreenPage(changes, "historyView")
    , onTab_(model_.tab() == Tab::history) {
    column()->addWidget(byDayCard());
    health_ = new Card("Daily health points (kept for life)");
    health_->setObjectName("dailyHealth");
    column()->addWidget(health_);
    column()->addWidget(storageCard());
    column()->addStretch();
    follow({&ModelSignals::history});
    connect(&changes, &ModelSignals::window, this, [this] {
        const bool chosen = model_.tab() == Tab::history && !onTab_;
        onTab_ = model_.tab() == Tab::history;
        if (chosen && window()->isVisible()) {
            // Timed to the page's first paint after the choice, with the history that the
            // choice reloads.
            model_.markForDiagnostics("historyTabChosen");
            timing_ = Timing::painting;
            widget()->installEventFilter(this);
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

QWidget* HistoryView::byDayCard() {
    auto* byDay = new Card("Battery, by day");
    byDay->setObjectName("batteryDays");
    noDays_ = secondaryLabel(
        "History fills in as Vuzur runs: one battery sample every 5 minutes, app readings "
        "every 5 minutes, thermal episodes as they happen.");
    byDay->body()->addWidget(noDays_);
    // A table of items, not of widgets: a year is 365 rows.
    days_ = new QTableWidget(0, 3);
    days_->setObjectName("batteryDaysTable");
    days_->setAccessibleName("Battery, by day");
    days_->setAccessibleDescription("The charge's range and the samples on battery, each day");
    days_->horizontalHeader()->hide();
    days_->verticalHeader()->hide();
    days_->setShowGrid(false);
    days_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    days_->setSelectionMode(QAbstractItemView::NoSelection);
    days_->setFrameShape(QFrame::NoFrame);
    days_->setColumnWidth(0, 110);
    days_->setColumnWidth(1, 90);
    days_->horizontalHeader()->setStretchLastSection(true);
    days_->verticalHeader()->setDefaultSectionSize(days_->fontMetrics().height() + 8);
    // As tall as all its rows: the page is the one thing that scrolls.
    days_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    days_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    days_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    byDay->body()->addWidget(days_);
    return byDay;
}

QWidget* HistoryView::storageCard() {
    auto* storage = new Card("Storage");
    storage->setObjectName("storage");
    auto* row = new QHBoxLayout;
    bytes_ = secondaryLabel({});
    row->addWidget(bytes_, 1);
    auto* remove = new QPushButton("Delete history older than 7 days\u2026");
    remove->setObjectName("deleteOlder");
    remove->setAccessibleDescription("Asks first, then deletes the day files older than a week");
    connect(remove, &QPushButton::clicked, this, [this] { model_.askDeleteOlderHistory(); });
    row->addWidget(remove);
    storage->body()->addLayout(row);
    return storage;
}

void HistoryView::updatePage() {
    updateDays();
    updateHealth();
    bytes_->setText(SettingsView::byteCount(model_.historyBytes()) +
                    platformWords(" in Vuzur's own folder on this Mac. Nothing is sent anywhere."));
}

void HistoryView::updateDays() {
    const auto days = ScreenData::batteryDays(model_.history().charge, model_.calendar());
    const auto dates = model_.dates();
    noDays_->setVisible(days.empty());
    days_->setVisible(!days.empty());
    days_->setRowCount(int(days.size()));
    const auto put = [this](int row, int column, const QString& text) {
        if (auto* item = days_->item(row, column))
            item->setText(text);
        else
            days_->setItem(row, column, new QTableWidgetItem(text));
    };
    for (int row = 0; row < int(days.size()); ++row) {
        const auto& day = days[size_t(row)];
        put(row, 0, toQString(dates->shortDate(day.day)));
        put(row, 1, toQString(fmt::format("{}\u2013{} %", day.low, day.high)));
        put(row, 2,
            toQString(fmt::format("{} of {} samples on battery", day.onBattery, day.samples)));
    }
    days_->setFixedHeight(int(days.size()) * days_->verticalHeader()->defaultSectionSize() + 4);
}

void HistoryView::updateHealth() {
    const auto& points = model_.dailyHealth();
    auto* holder = healthRows_.renew(health_->body(), points);
    if (holder == nullptr) return;
    if (points.empty()) {
        auto* column = new QVBoxLayout(holder);
        column->setContentsMargins(0, 0, 0, 0);
        column->addWidget(
            secondaryLabel("The first point is written with the first battery sample of a day."));
        return;
    }
    const auto dates = model_.dates();
    auto* grid = new QGridLayout(holder);
    grid->setContentsMargins(0, 0, 0, 0);
    int row = 0;
    const size_t first = points.size() > 30 ? points.size() - 30 : 0;
    for (size_t i = points.size(); i-- > first;) {
        const auto& p = points[i];
        grid->addWidget(cell(toQString(dates->shortDate(p.day)), 110), row, 0);
        grid->addWidget(cell(toQString(ScreenData::capacityText(p)), 90), row, 1);
        grid->addWidget(
            cell(p.cycleCount ? toQString(fmt::format("{} cycles", *p.cycleCount)) : QString()),
            row, 2);
        ++row;
    }
    grid->setColumnStretch(2, 1);
}

} // namespace QuorvelPower
