// The "Overview" pane: one row per controller in the order of the clicked
// header, kept as rows change; red while an alarm needs the operator; a
// double-click names the controller.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTableWidget>
#include <QTest>

#include <vector>

#include "overview/ui/overview_pane.h"
#include "tests/support/ui_test_support.h"

using overview::Column;
using overview::ControllerRow;
using overview::ui::OverviewPane;

namespace {

ControllerRow Row(int key, const char* device, const char* address, double temp) {
    ControllerRow r;
    r.key = key;
    r.device = device;
    r.address = address;
    r.state = "Baking";
    r.tempMain = temp;
    return r;
}

QString Cell(const OverviewPane& pane, int row, Column column) {
    const auto* item = pane.Table()->item(row, static_cast<int>(column));
    return item ? item->text() : QStringLiteral("<none>");
}

// Clicks a header section as the operator would.
void ClickHeader(OverviewPane& pane, Column column) {
    QHeaderView* h = pane.Table()->horizontalHeader();
    const int s = static_cast<int>(column);
    QTest::mouseClick(
        h->viewport(), Qt::LeftButton, {},
        QPoint(h->sectionViewportPosition(s) + h->sectionSize(s) / 2, h->height() / 2));
}

}  // namespace

TEST(OverviewPane, RowsFollowTheClickedHeaderAndKeepToIt) {
    OverviewPane pane;
    EXPECT_EQ(QStringLiteral("Overview"), pane.windowTitle());
    pane.resize(1200, 400);
    pane.show();
    pane.SetRow(Row(1, "1001", "127.0.0.10", 150.0));
    pane.SetRow(Row(2, "999", "127.0.0.9", 90.0));
    pane.SetRow(Row(3, "", "127.0.0.25", overview::kUnknown));
    EXPECT_EQ((std::vector<int>{2, 1, 3}), pane.KeysInOrder());  // by device at first
    EXPECT_EQ(QStringLiteral("999"), Cell(pane, 0, Column::Device));
    EXPECT_EQ(QStringLiteral("\u2014"), Cell(pane, 2, Column::Device));
    EXPECT_EQ(QStringLiteral("150.0 \u00b0C"), Cell(pane, 1, Column::Temperature));

    const struct {
        Column clicked;
        std::vector<int> keys;
        bool ascending;
    } clicks[] = {
        {Column::Temperature, {2, 1, 3}, true},
        {Column::Temperature, {1, 2, 3}, false},  // a second click turns it; unknown stays last
        {Column::Address, {2, 1, 3}, true},       // .9 < .10 < .25
        {Column::Address, {3, 1, 2}, false},
    };
    for (const auto& c : clicks) {
        ClickHeader(pane, c.clicked);
        EXPECT_EQ(c.clicked, pane.SortColumn());
        EXPECT_EQ(c.ascending, pane.SortAscending());
        EXPECT_EQ(c.keys, pane.KeysInOrder()) << overview::ColumnTitle(c.clicked);
        EXPECT_EQ(c.ascending ? Qt::AscendingOrder : Qt::DescendingOrder,
                  pane.Table()->horizontalHeader()->sortIndicatorOrder());
    }

    // A changed row moves to its place; its cells and every other row's are right.
    pane.SortBy(Column::Temperature, true);
    pane.Table()->setCurrentCell(0, 0);  // the operator's choice follows its row
    pane.SetRow(Row(2, "999", "127.0.0.9", 200.0));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), pane.KeysInOrder());
    EXPECT_EQ(1, pane.Table()->currentRow());
    const std::vector<std::pair<QString, QString>> shown = {
        {QStringLiteral("1001"), QStringLiteral("150.0 \u00b0C")},
        {QStringLiteral("999"), QStringLiteral("200.0 \u00b0C")},
        {QStringLiteral("\u2014"), QStringLiteral("\u2014")}};
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(shown[r].first, Cell(pane, r, Column::Device)) << r;
        EXPECT_EQ(shown[r].second, Cell(pane, r, Column::Temperature)) << r;
    }

    EXPECT_TRUE(pane.RemoveRow(1));
    EXPECT_FALSE(pane.RemoveRow(1));
    EXPECT_EQ((std::vector<int>{2, 3}), pane.KeysInOrder());
    EXPECT_EQ(2, pane.Table()->rowCount());
    EXPECT_EQ(QStringLiteral("999"), Cell(pane, 0, Column::Device));
}

TEST(OverviewPane, ARowIsRedWhileItsAlarmNeedsTheOperator) {
    OverviewPane pane;
    ControllerRow r = Row(4, "1004", "127.0.0.13", 260.0);
    pane.SetRow(Row(1, "1001", "127.0.0.10", 150.0));
    pane.SetRow(r);
    auto colours = [&](int row) {
        std::vector<QColor> out;
        out.reserve(overview::kColumnCount);
        for (int c = 0; c < overview::kColumnCount; ++c)
            out.push_back(pane.Table()->item(row, c)->background().color());
        return out;
    };
    auto isRed = [](const QColor& c) { return c.red() > 150 && c.green() < 80 && c.blue() < 80; };

    const struct {
        bool needsOperator;
        const char* alarm;
    } steps[] = {
        {true, "1004: main temperature 260.0 \u00b0C above 255.0 \u00b0C"},
        {false, "1004: main temperature 260.0 \u00b0C above 255.0 \u00b0C"},  // acknowledged
        {false, ""},                                                          // cleared
    };
    for (const auto& s : steps) {
        r.needsOperator = s.needsOperator;
        r.alarm = s.alarm;
        pane.SetRow(r);
        ASSERT_EQ((std::vector<int>{1, 4}), pane.KeysInOrder());
        for (const QColor& c : colours(1)) EXPECT_EQ(s.needsOperator, isRed(c)) << s.alarm;
        for (const QColor& c : colours(0)) EXPECT_FALSE(isRed(c));
        EXPECT_EQ(QString::fromUtf8(s.alarm), Cell(pane, 1, Column::Alarm));
    }
}

TEST(OverviewPane, DoubleClickNamesTheControllerOfTheRow) {
    OverviewPane pane;
    pane.resize(1200, 400);
    pane.show();
    pane.SetRow(Row(7, "1001", "127.0.0.10", 150.0));
    pane.SetRow(Row(9, "1000", "127.0.0.11", 150.0));
    std::vector<int> activated;
    QObject::connect(&pane, &OverviewPane::controllerActivated,
                     [&](int key) { activated.push_back(key); });
    QTableWidget* t = pane.Table();
    for (int row : {0, 1}) {
        const QRect cell = t->visualRect(t->model()->index(row, static_cast<int>(Column::State)));
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, cell.center());
    }
    EXPECT_EQ((std::vector<int>{9, 7}), activated);
    // Below the last row: no controller.
    const QPoint below(10, t->viewport()->height() - 5);
    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, below);
    QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(2u, activated.size());
}
