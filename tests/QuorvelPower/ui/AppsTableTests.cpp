// The apps table: rows stay with their applications across readings, columns sort.
#include "QuorvelPower/QtApplication.hpp"

#include <QHeaderView>
#include <QTest>
#include <QuorvelPower/ui/apps/AppsTable.hpp>
#include <gtest/gtest.h>

using namespace VuzurTests;
using namespace QuorvelPower;
using PowerCore::AppPower;

namespace {

AppPower app(const std::string& name, std::optional<double> share, double cpuSeconds = 0) {
    AppPower a;
    a.id = name;
    a.name = name;
    a.pids = {1};
    a.cpuSeconds = cpuSeconds;
    a.interval = 10;
    a.share = share;
    return a;
}

QStringList shownNames(const AppsTable& table) {
    QStringList names;
    for (int row = 0; row < table.model()->rowCount(); ++row)
        names << table.model()->index(row, AppsTableModel::name).data().toString();
    return names;
}

void clickHeader(AppsTable& table, int column) {
    auto* header = table.horizontalHeader();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

} // namespace

TEST(AppsTable, RowsStayWithTheirApplicationsAndColumnsSort) {
    qtApplication();
    AppsTable table;
    table.resize(700, 400);
    table.setApps({app("a", 60), app("b", 30), app("c", 10), app("z", 0), app("y", 0)}, -1);
    table.show();
    EXPECT_EQ(shownNames(table), (QStringList{"a", "b", "c", "z", "y"}))
        << "by impact, equal shares in the ranking's order";

    // A person selects "b"; the next reading drops "a", adds "d" and puts "b" first.
    const QRect b = table.visualRect(table.model()->index(1, AppsTableModel::name));
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, b.center());
    table.setApps({app("b", 70), app("c", 20), app("d", 10), app("z", 0), app("y", 0)}, -1);
    EXPECT_EQ(shownNames(table), (QStringList{"b", "c", "d", "z", "y"}));
    const auto selected = table.selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0].data().toString(), "b") << "the selection follows its application";

    clickHeader(table, AppsTableModel::name);
    EXPECT_EQ(shownNames(table), (QStringList{"b", "c", "d", "y", "z"})) << "names from A";
    clickHeader(table, AppsTableModel::cpu);
    table.setApps({app("b", 70, 1), app("c", 20, 9), app("d", 10, 5), app("z", 0), app("y", 0)},
                  -1);
    EXPECT_EQ(shownNames(table), (QStringList{"c", "d", "b", "z", "y"}))
        << "the most CPU first, kept sorted as the numbers change";
}
