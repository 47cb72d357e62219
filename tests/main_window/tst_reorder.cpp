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
    void moveSelection_data()
    {
        QTest::addColumn<QList<int>>("order");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<int>("target");
        QTest::addColumn<QList<int>>("expected"); // empty: unchanged
        const QList<int> plain{1, 2, 3, 4, 5, 6, 7, 8, 9};
        const QList<int> shuffled{5, 3, 8, 1, 7, 2, 6, 4, 9};
        QTest::newRow("block onto the first")
            << plain << QList<int>{3, 4, 5} << 1 << QList<int>{3, 4, 5, 1, 2, 6, 7, 8, 9};
        QTest::newRow("scattered, in the order shown")
            << shuffled << QList<int>{2, 1, 8} << 5 << QList<int>{8, 1, 2, 5, 3, 7, 6, 4, 9};
        QTest::newRow("to the end: before the placeholder")
            << plain << QList<int>{2, 4} << 9 << QList<int>{1, 3, 5, 6, 7, 8, 2, 4, 9};
        QTest::newRow("at the end already") << plain << QList<int>{7, 8} << 9 << QList<int>{};
        QTest::newRow("at the start already") << plain << QList<int>{1, 2} << 3 << QList<int>{};
        QTest::newRow("target inside the selected run") << plain << QList<int>{2, 3, 4} << 3 << QList<int>{};
        QTest::newRow("nothing selected") << plain << QList<int>{} << 1 << QList<int>{};
        QTest::newRow("target not listed") << plain << QList<int>{2} << 11 << QList<int>{};
        QTest::newRow("a selected element no longer listed")
            << QList<int>{1, 2, 3, 9} << QList<int>{3, 10} << 1 << QList<int>{3, 1, 2, 9};
    }
    void moveSelection()
    {
        QFETCH(QList<int>, order);
        QFETCH(QList<int>, selected);
        QFETCH(int, target);
        QFETCH(QList<int>, expected);
        const QList<int> before = order;
        QCOMPARE(::moveSelection(order, picked(selected), target), !expected.isEmpty());
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

    // The keys' moves: a step among the others (three to a row), or to either end.
    void keyMoves_data()
    {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QString>("move");
        QTest::addColumn<QList<int>>("expected"); // empty: nothing to do
        QTest::newRow("one later") << QList<int>{2} << "+1" << QList<int>{1, 3, 2, 4, 5, 6, 7};
        QTest::newRow("one earlier") << QList<int>{2} << "-1" << QList<int>{2, 1, 3, 4, 5, 6, 7};
        QTest::newRow("a row down") << QList<int>{2} << "+3" << QList<int>{1, 3, 4, 5, 2, 6, 7};
        QTest::newRow("last, one later") << QList<int>{6} << "+1" << QList<int>{};
        QTest::newRow("first, one earlier") << QList<int>{1} << "-1" << QList<int>{};
        QTest::newRow("a row up from the first row: to the start")
            << QList<int>{2} << "-3" << QList<int>{2, 1, 3, 4, 5, 6, 7};
        QTest::newRow("a row down from the last row: before the placeholder")
            << QList<int>{5} << "+3" << QList<int>{1, 2, 3, 4, 6, 5, 7};
        QTest::newRow("scattered, one later: together")
            << QList<int>{2, 5} << "+1" << QList<int>{1, 3, 2, 5, 4, 6, 7};
        QTest::newRow("scattered from the first, one earlier") << QList<int>{1, 4} << "-1" << QList<int>{};
        QTest::newRow("nothing selected") << QList<int>{} << "+1" << QList<int>{};
        QTest::newRow("to the start") << QList<int>{3, 5} << "start" << QList<int>{3, 5, 1, 2, 4, 6, 7};
        QTest::newRow("to the start from the first: together")
            << QList<int>{1, 5} << "start" << QList<int>{1, 5, 2, 3, 4, 6, 7};
        QTest::newRow("to the end") << QList<int>{2, 4} << "end" << QList<int>{1, 3, 5, 6, 2, 4, 7};
        QTest::newRow("at the end already") << QList<int>{5, 6} << "end" << QList<int>{};
    }
    void keyMoves()
    {
        QFETCH(QList<int>, selected);
        QFETCH(QString, move);
        QFETCH(QList<int>, expected);
        const QList<int> start{1, 2, 3, 4, 5, 6, 7};
        const std::vector<bool> bits = picked(selected);
        const std::optional<int> target = move == "start" ? endTarget(start, bits, true)
                                          : move == "end" ? endTarget(start, bits, false)
                                                          : stepTarget(start, bits, move.toInt());
        QList<int> order = start;
        const bool changed = target && ::moveSelection(order, bits, *target);
        QCOMPARE(changed, !expected.isEmpty());
        QCOMPARE(order, expected.isEmpty() ? start : expected);
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
