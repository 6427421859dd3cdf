#include <PowerCore/foundation/PlatformWords.hpp>
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
#include <QuorvelPower/ui/history/HistoryView.hpp>
#include <fmt/format.h>

namespace QuorvelPower {

namespace {

QLabel* cell(const QString& text, int width = 0) {
    auto* label = new QLabel(text);
    if (width > 0) label->setFixedWidth(width);
    return label;
}

QLabel* secondary(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Theme::secondaryText());
    label->setPalette(p);
    return label;
}

} // namespace

HistoryView::HistoryView(AppModel& model, ModelObservers& observers)
    : model_(model) {
    setObjectName("historyView");
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    token_ = observers.listen([this](AppModel::Field field) {
        using F = AppModel::Field;
        if (field != F::historyLines && field != F::dailyHealth && field != F::historyBytes) return;
        if (pending_) return;
        pending_ = true;
        QTimer::singleShot(0, this, [this] {
            pending_ = false;
            rebuild();
        });
    });
    rebuild();
}

void HistoryView::rebuild() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(16);

    auto* byDay = new Card("Battery, by day");
    byDay->setObjectName("batteryDays");
    const auto days = ScreenData::batteryDays(model_.historyLines(), model_.calendar());
    if (days.empty()) {
        byDay->body()->addWidget(secondary(
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
            table->setItem(row, 0, new QTableWidgetItem(toQString(day.day)));
            table->setItem(
                row, 1,
                new QTableWidgetItem(toQString(fmt::format("{}\u2013{} %", day.low, day.high))));
            table->setItem(row, 2,
                           new QTableWidgetItem(toQString(fmt::format(
                               "{} of {} samples on battery", day.onBattery, day.samples))));
        }
        // As tall as its rows up to a screenful; it scrolls beyond that.
        const int rows = std::min<int>(int(days.size()), 14);
        table->setFixedHeight(rows * table->verticalHeader()->defaultSectionSize() + 4);
        byDay->body()->addWidget(table);
    }
    column->addWidget(byDay);

    auto* health = new Card("Daily health points (kept for life)");
    health->setObjectName("dailyHealth");
    const auto& points = model_.dailyHealth();
    if (points.empty()) {
        health->body()->addWidget(
            secondary("The first point is written with the first battery sample of a day."));
    } else {
        auto* grid = new QGridLayout;
        int row = 0;
        const size_t first = points.size() > 30 ? points.size() - 30 : 0;
        for (size_t i = points.size(); i-- > first;) {
            const auto& p = points[i];
            grid->addWidget(cell(toQString(p.day), 110), row, 0);
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
        secondary(SettingsView::byteCount(model_.historyBytes()) +
                  toQString(PowerCore::platformText(
                      " in Vuzur's own folder on this Mac. Nothing is sent anywhere."))));
    auto* remove = new QPushButton("Delete history older than 7 days\u2026");
    remove->setObjectName("deleteOlder");
    connect(remove, &QPushButton::clicked, this, [this] { model_.askDeleteOlderHistory(); });
    row->addStretch();
    row->addWidget(remove);
    storage->body()->addLayout(row);
    column->addWidget(storage);
    column->addStretch();
    setWidget(page);
}

} // namespace QuorvelPower
