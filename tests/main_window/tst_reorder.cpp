#include "main_window/OrderHistory.h"
#include "main_window/Reorder.h"
#include "main_window/Selection.h"

#include <QTest>

#include <algorithm>

namespace {

std::vector<bool> picked(const QList<int>& elements)
{
    std::vector<bool> bits(12, false);
    for (const int e : elements)
        bits[static_cast<size_t>(e)] = true;
    return bits;
}

} // namespace

// Moving several thumbnails at once, without a window. Orders end with the placeholder, as a
// listed folder's do.
class TestReorder : public QObject
{
    Q_OBJECT
private slots:
    // Moves to a given place, and the keys' moves at their edges: a step among the others (three to
    // a row), or to either end. The window's tests go through the keys' ordinary moves.
    void moveSelection_data()
    {
        QTest::addColumn<QList<int>>("order");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QString>("move"); // before an element, a step by the keys, "start" or "end"
        QTest::addColumn<QList<int>>("expected"); // empty: unchanged
        const QList<int> plain{1, 2, 3, 4, 5, 6, 7, 8, 9};
        const QList<int> seven{1, 2, 3, 4, 5, 6, 7};
        const auto row = [](const char* what, const QList<int>& order, const QList<int>& selected, const char* move,
                            const QList<int>& expected) {
            QTest::newRow(what) << order << selected << QString(move) << expected;
        };
        row("block onto the first", plain, {3, 4, 5}, "1", {3, 4, 5, 1, 2, 6, 7, 8, 9});
        row("scattered, in the order shown", {5, 3, 8, 1, 7, 2, 6, 4, 9}, {2, 1, 8}, "5", {8, 1, 2, 5, 3, 7, 6, 4, 9});
        row("to the end: before the placeholder", plain, {2, 4}, "9", {1, 3, 5, 6, 7, 8, 2, 4, 9});
        row("at the end already", plain, {7, 8}, "9", {});
        row("at the start already", plain, {1, 2}, "3", {});
        row("target inside the selected run", plain, {2, 3, 4}, "3", {});
        row("nothing selected", plain, {}, "1", {});
        row("target not listed", plain, {2}, "11", {});
        row("a selected element no longer listed", {1, 2, 3, 9}, {3, 10}, "1", {3, 1, 2, 9});
        row("last, one later", seven, {6}, "+1", {});
        row("a row up from the first row: to the start", seven, {2}, "-3", {2, 1, 3, 4, 5, 6, 7});
        row("scattered from the first, one earlier", seven, {1, 4}, "-1", {});
        row("nothing selected, one later", seven, {}, "+1", {});
        row("to the start from the first: together", seven, {1, 5}, "start", {1, 5, 2, 3, 4, 6, 7});
    }
    void moveSelection()
    {
        QFETCH(QList<int>, order);
        QFETCH(QList<int>, selected);
        QFETCH(QString, move);
        QFETCH(QList<int>, expected);
        const QList<int> before = order;
        const std::vector<bool> bits = picked(selected);
        const std::optional<int> target = move == "start" ? endTarget(order, bits, true)
                                          : move == "end" ? endTarget(order, bits, false)
                                          : move[0].isDigit() ? move.toInt()
                                                              : stepTarget(order, bits, move.toInt());
        QCOMPARE(target && ::moveSelection(order, bits, *target), !expected.isEmpty());
        QCOMPARE(order, expected.isEmpty() ? before : expected);
    }

    // One picked thumbnail moves exactly as a drop of one does, in every direction, onto the left
    // and the right part of every thumbnail, with and without the placeholder at the end (while a
    // folder is listed, the last entry is an ordinary thumbnail).
    void oneIsTheDropOfOne_data()
    {
        QTest::addColumn<QList<int>>("order");
        QTest::newRow("listed") << QList<int>{4, 2, 5, 1, 3, 6};
        QTest::newRow("while listing") << QList<int>{4, 2, 5, 1, 3};
        QTest::newRow("two") << QList<int>{2, 1};
    }
    void oneIsTheDropOfOne()
    {
        QFETCH(QList<int>, order);
        for (const int source : order) {
            for (const int index : order) {
                for (const bool rightPart : {false, true}) {
                    QList<int> dropped = order;
                    applyDrop(dropped, index, source, rightPart);
                    QList<int> moved = order;
                    const std::optional<int> target = dropTarget(order, index, rightPart);
                    QVERIFY(target);
                    const bool changed = ::moveSelection(moved, picked({source}), *target);
                    const QByteArray where = QByteArray::number(source) + " onto " +
                                             QByteArray::number(index) + (rightPart ? " right" : " left");
                    QVERIFY2(moved == dropped, where.constData());
                    QVERIFY2(changed == (dropped != order), where.constData());
                }
            }
        }
        QCOMPARE(dropTarget(order, 11, false), std::optional<int>());
    }

    // Ranges run in display order from either end, replace the selection or add to it.
    void ranges()
    {
        const QList<int> order{5, 3, 8, 1, 7, 2, 6, 4, 9};
        Selection s;
        s.reset(10);
        s.set(4, true);
        s.selectRange(order, 7, 8, false);
        QCOMPARE(s.inOrder(order), (QList<int>{8, 1, 7}));
        s.selectRange(order, 6, 4, true);
        QCOMPARE(s.inOrder(order), (QList<int>{8, 1, 7, 6, 4}));
        QCOMPARE(s.count(), 5);
        s.selectRange(order, 5, 11, false); // 11 is no element: nothing happens
        QCOMPARE(s.count(), 5);
        s.toggle(8);
        s.set(9, true);
        s.set(0, true); // the template is never selected
        QCOMPARE(s.inOrder(order), (QList<int>{1, 7, 6, 4, 9}));
        s.selectFirst(order, 8);
        QCOMPARE(s.count(), 8);
        QVERIFY(!s.contains(9));
        s.reset(4);
        QVERIFY(s.isEmpty() && !s.contains(5) && s.focus == 0);
    }

    // Undo and redo walk the steps; a new step drops what was undone; the oldest steps go beyond
    // the budget, the newest stays.
    void history()
    {
        const QList<int> a{1, 2, 3};
        const QList<int> b{2, 1, 3};
        const QList<int> c{2, 3, 1};
        OrderHistory h(40); // two steps of three entries
        QVERIFY(!h.undo() && !h.nextRedo());
        h.record({"ab", a, b, {}});
        h.record({"bc", b, c, {}});
        QCOMPARE(h.nextUndo()->what, QStringLiteral("bc"));
        QCOMPARE(h.undo()->before, b);
        QCOMPARE(h.undo()->before, a);
        QVERIFY(!h.undo());
        QCOMPARE(h.redo()->after, b);
        h.record({"ba", b, a, {}});
        QVERIFY(!h.nextRedo());
        QCOMPARE(h.size(), 2);
        h.record({"ab", a, b, {}}); // beyond the budget: the oldest goes
        QCOMPARE(h.size(), 2);
        QCOMPARE(h.nextUndo()->what, QStringLiteral("ab"));
        QCOMPARE(h.undo()->before, a);
        QCOMPARE(h.undo()->before, b);
        QVERIFY(!h.undo());
        OrderHistory tiny(1);
        tiny.record({"ab", a, b, {}});
        QCOMPARE(tiny.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestReorder)
#include "tst_reorder.moc"
