#pragma once

#include <PowerCore/apps/AppPower.hpp>
#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <vector>

namespace QuorvelPower {

// The applications of the chosen window, one row each. A new reading updates the rows of the
// applications still there in place, takes away those gone and adds the new ones at the end,
// so that a selection and the scroll stay on their applications.
class AppsTableModel final : public QAbstractTableModel {
public:
    enum Column { name, impact, watts, cpu, gpu, wakeups, processes, columns };
    // The number a column sorts by; the ranking's place for the application column.
    static constexpr int sortRole = Qt::UserRole;
    static constexpr int ourRole = Qt::UserRole + 1;  // true for this program's own row
    static constexpr int fillRole = Qt::UserRole + 2; // 0...1 of the share bar
    static constexpr int rankRole = Qt::UserRole + 3;

    // With `systemWatts`, the power model's base is one more row, "System and display".
    void setApps(const std::vector<PowerCore::AppPower>& apps, std::int32_t ownPID,
                 std::optional<double> systemWatts = std::nullopt);
    // The watts are what the applications draw on battery, or would draw there.
    void setOnBattery(bool onBattery);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row {
        PowerCore::AppPower app;
        bool ours = false;
        int rank = 0;
    };
    QVariant display(const Row& row, int column) const;
    QVariant sortKey(const Row& row, int column) const;

    std::vector<Row> rows_;
    bool onBattery_ = true;
};

// Sorts by a column's number, equal numbers in the ranking's order.
class AppsSortModel final : public QSortFilterProxyModel {
protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};

// The impact column: the share bar beside its percent; the name column: the "This app" pill
// beside our own name.
class AppsDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    void paintImpact(QPainter* painter, const QStyleOptionViewItem& option,
                     const QModelIndex& index) const;
    void paintOurPill(QPainter* painter, const QStyleOptionViewItem& option,
                      const QModelIndex& index) const;
};

// The table as tall as its rows (the page scrolls), sortable by a click on a column's title.
class AppsTable final : public QTableView {
public:
    explicit AppsTable(QWidget* parent = nullptr);
    AppsTableModel& apps() { return model_; }
    void setApps(const std::vector<PowerCore::AppPower>& apps, std::int32_t ownPID,
                 std::optional<double> systemWatts = std::nullopt);

private:
    void fitHeight();

    AppsTableModel model_;
    AppsSortModel sorted_;
    AppsDelegate delegate_;
};

} // namespace QuorvelPower
