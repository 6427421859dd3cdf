#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QuorvelPower/ui/ScreenData.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/apps/AppsTable.hpp>
#include <algorithm>

namespace QuorvelPower {

using namespace PowerCore;

namespace {

const char* const titles[] = {"App", "Vuzur impact (estimate)", "Watts (estimate)", "CPU",
                              "GPU", "Idle wakeups / s",        "Processes"};
const char* const descriptions[] = {
    "The application, with all its processes",
    "Its share of the power the applications used in the chosen window, estimated",
    "What it draws from the battery, from what this computer's history taught",
    "CPU time as a share of one core",
    "GPU busy time as a share of one engine, summed over the kinds of engine",
    "Wakeups from idle per second",
    "How many processes it runs"};
constexpr int rowPixels = 38;
const QString ourPill = "This app";
const std::string systemId = "\nsystem"; // no application's key starts with a line feed

} // namespace

void AppsTableModel::setOnBattery(bool onBattery) {
    if (onBattery == onBattery_) return;
    onBattery_ = onBattery;
    Q_EMIT headerDataChanged(Qt::Horizontal, watts, watts);
}

void AppsTableModel::setApps(const std::vector<AppPower>& ranked, std::int32_t ownPID,
                             std::optional<double> systemWatts) {
    std::vector<AppPower> withSystem;
    if (systemWatts) {
        withSystem = ranked;
        AppPower system;
        system.id = systemId;
        system.name = "System and display";
        system.estimatedWatts = systemWatts;
        withSystem.push_back(std::move(system));
    }
    const auto& apps = systemWatts ? withSystem : ranked;
    const auto ours = [ownPID](const AppPower& app) {
        // By name where the desktop entry names us, and by pid where it does not (a build run
        // from its folder is "vuzur").
        return app.name == "Quorvel Vuzur" ||
               std::find(app.pids.begin(), app.pids.end(), ownPID) != app.pids.end();
    };
    const auto rankOf = [&apps](const std::string& id) {
        const auto found = std::find_if(apps.begin(), apps.end(),
                                        [&id](const AppPower& app) { return app.id == id; });
        return found == apps.end() ? -1 : int(found - apps.begin());
    };
    // Gone first, from the end so the rows before keep their numbers.
    for (int row = int(rows_.size()); row-- > 0;)
        if (rankOf(rows_[size_t(row)].app.id) < 0) {
            beginRemoveRows({}, row, row);
            rows_.erase(rows_.begin() + row);
            endRemoveRows();
        }
    for (auto& row : rows_) {
        row.rank = rankOf(row.app.id);
        row.app = apps[size_t(row.rank)];
        row.ours = ours(row.app);
    }
    if (!rows_.empty()) Q_EMIT dataChanged(index(0, 0), index(int(rows_.size()) - 1, columns - 1));
    for (size_t rank = 0; rank < apps.size(); ++rank) {
        const auto& app = apps[rank];
        if (std::any_of(rows_.begin(), rows_.end(),
                        [&app](const Row& row) { return row.app.id == app.id; }))
            continue;
        const int at = int(rows_.size());
        beginInsertRows({}, at, at);
        rows_.push_back(Row{app, ours(app), int(rank)});
        endInsertRows();
    }
}

int AppsTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int AppsTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns;
}

QVariant AppsTableModel::display(const Row& row, int column) const {
    switch (column) {
    case name:
        return toQString(row.app.name);
    case impact:
        return toQString(ScreenData::shareText(row.app.share));
    case watts:
        return toQString(ScreenData::wattsText(row.app.estimatedWatts));
    case cpu:
        return toQString(ScreenData::cpuText(row.app));
    case gpu:
        return toQString(ScreenData::gpuText(row.app));
    case wakeups:
        return toQString(ScreenData::wakeupsText(row.app));
    default:
        return row.app.pids.empty() ? QString("—") : QString::number(row.app.pids.size());
    }
}

QVariant AppsTableModel::sortKey(const Row& row, int column) const {
    switch (column) {
    case name:
        return toQString(row.app.name).toLower();
    case impact:
        return row.app.share.value_or(-1);
    case watts:
        return row.app.estimatedWatts.value_or(-1);
    case cpu:
        return row.app.cpuPercent().value_or(-1);
    case gpu:
        return row.app.gpuPercent().value_or(-1);
    case wakeups:
        return row.app.idleWakeupsPerSecond().value_or(-1);
    default:
        return qulonglong(row.app.pids.size());
    }
}

QVariant AppsTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(rows_.size())) return {};
    const Row& row = rows_[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return display(row, index.column());
    case Qt::AccessibleTextRole:
        if (index.column() == name && row.ours) return toQString(row.app.name) + ", this app";
        return display(row, index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case sortRole:
        return sortKey(row, index.column());
    case ourRole:
        return row.ours;
    case fillRole:
        return ScreenData::shareFill(row.app.share);
    case rankRole:
        return row.rank;
    default:
        return {};
    }
}

QVariant AppsTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columns) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        if (section == watts && !onBattery_) return QString("On battery (estimate)");
        return QString(titles[section]);
    case Qt::AccessibleDescriptionRole:
    case Qt::ToolTipRole:
        return QString(descriptions[section]);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::InitialSortOrderRole: // names from A, numbers from the largest
        return section == name ? Qt::AscendingOrder : Qt::DescendingOrder;
    default:
        return {};
    }
}

bool AppsSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QVariant a = left.data(AppsTableModel::sortRole),
                   b = right.data(AppsTableModel::sortRole);
    if (a != b) return QVariant::compare(a, b) == QPartialOrdering::Less;
    // Equal: the ranking's order, whichever way the column is sorted.
    const int rankA = left.data(AppsTableModel::rankRole).toInt();
    const int rankB = right.data(AppsTableModel::rankRole).toInt();
    return sortOrder() == Qt::AscendingOrder ? rankA < rankB : rankA > rankB;
}

void AppsDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    if (index.column() == AppsTableModel::impact) return paintImpact(painter, option, index);
    QStyledItemDelegate::paint(painter, option, index);
    if (index.column() == AppsTableModel::name && index.data(AppsTableModel::ourRole).toBool())
        paintOurPill(painter, option, index);
}

void AppsDelegate::paintImpact(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    // The cell's background (selected or not) across its width, then the bar, 90 by 8,
    // then the percent after it.
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QString percent = cell.text;
    cell.text.clear();
    const QWidget* view = option.widget;
    QStyle* style = view != nullptr ? view->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, view);
    const bool selected = option.state & QStyle::State_Selected;
    const QColor ink = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    if (index.data(AppsTableModel::sortRole).toDouble() < 0) { // no share: no bar
        painter->save();
        painter->setPen(ink);
        painter->setFont(cell.font);
        painter->drawText(option.rect.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          percent);
        painter->restore();
        return;
    }
    const QRectF bar(option.rect.left() + 4, option.rect.center().y() - 3, 90, 8);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    QColor track = Theme::accent();
    track.setAlphaF(0.25f);
    painter->setBrush(track);
    painter->drawRoundedRect(bar, 3, 3);
    painter->setBrush(Theme::accent());
    const double fill = index.data(AppsTableModel::fillRole).toDouble();
    painter->drawRoundedRect(QRectF(bar.topLeft(), QSizeF(bar.width() * fill, 8)), 3, 3);
    painter->setPen(ink);
    painter->setFont(cell.font);
    painter->drawText(option.rect.adjusted(int(bar.right()) + 6 - option.rect.left(), 0, 0, 0),
                      Qt::AlignLeft | Qt::AlignVCenter, percent);
    painter->restore();
}

void AppsDelegate::paintOurPill(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    // The pill after the name as drawn.
    QFont font = option.font;
    font.setPointSizeF(8.5);
    font.setWeight(QFont::DemiBold);
    const QFontMetrics metrics(font);
    const int nameWidth = QFontMetrics(option.font).horizontalAdvance(index.data().toString());
    const QRectF pill(option.rect.left() + 4 + nameWidth + 10, option.rect.center().y() - 9,
                      metrics.horizontalAdvance(ourPill) + 14, 19);
    if (pill.right() > option.rect.right()) return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    QColor tint = Theme::accent();
    tint.setAlphaF(0.14f);
    painter->setBrush(tint);
    painter->drawRoundedRect(pill, 8, 8);
    painter->setPen(Theme::accent());
    painter->setFont(font);
    painter->drawText(pill, Qt::AlignCenter, ourPill);
    painter->restore();
}

AppsTable::AppsTable(QWidget* parent)
    : QTableView(parent) {
    setObjectName("appsTable");
    setProperty("vuzur", "page");
    setAccessibleName("Apps by power use");
    setAccessibleDescription("One row per application; choose a column's title to sort by it");
    sorted_.setSourceModel(&model_);
    setModel(&sorted_);
    setItemDelegate(&delegate_);
    setSortingEnabled(true);
    sortByColumn(AppsTableModel::impact, Qt::DescendingOrder);
    setShowGrid(false);
    setFrameShape(QFrame::NoFrame);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(rowPixels);
    auto* header = horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionResizeMode(AppsTableModel::name, QHeaderView::Stretch);
    const int widths[] = {0, 196, 150, 70, 70, 126, 96};
    static_assert(std::size(widths) == AppsTableModel::columns &&
                  std::size(titles) == AppsTableModel::columns &&
                  std::size(descriptions) == AppsTableModel::columns);
    for (int column = AppsTableModel::impact; column < AppsTableModel::columns; ++column) {
        header->setSectionResizeMode(column, QHeaderView::Fixed);
        header->resizeSection(column, widths[column]);
    }
    QFont bold = header->font();
    bold.setWeight(QFont::DemiBold);
    header->setFont(bold);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&model_, signal, this, &AppsTable::fitHeight);
    fitHeight();
}

void AppsTable::setApps(const std::vector<AppPower>& apps, std::int32_t ownPID,
                        std::optional<double> systemWatts) {
    model_.setApps(apps, ownPID, systemWatts);
}

void AppsTable::fitHeight() {
    setFixedHeight(horizontalHeader()->sizeHint().height() + model_.rowCount() * rowPixels + 2);
}

} // namespace QuorvelPower
