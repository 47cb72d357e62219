#include "ordering/History.h"
#include "ordering/Moves.h"
#include "ordering/PictureOrder.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

using namespace ordering;

namespace {

QByteArray nameOf(PictureId id)
{
    return "p" + QByteArray::number(id).rightJustified(2, '0') + ".jpg";
}

// Pictures 1 to n (named p01.jpg, ...), listed in one batch and shown in `order`, which their kept
// ranks give.
void show(PictureOrder& pictures, const QList<PictureId>& order, bool listed = true)
{
    ListedBatch batch;
    for (PictureId id = 1; id <= order.size(); ++id)
        batch.files.append({"/p/" + nameOf(id), {}, int(order.indexOf(id)), QString::fromLatin1(nameOf(id))});
    pictures.clear();
    pictures.add(batch);
    if (listed)
        pictures.finishListing();
}

QList<PictureId> upTo(int n)
{
    QList<PictureId> ids;
    for (PictureId id = 1; id <= n; ++id)
        ids.append(id);
    return ids;
}

std::vector<bool> picked(const QList<PictureId>& ids)
{
    std::vector<bool> bits(12, false);
    for (const PictureId id : ids)
        bits[size_t(id)] = true;
    return bits;
}

// A drop of one picture as the form's rule states it, on a copy of the order with a trailing
// placeholder (0) once the folder is listed: find the target t and the source s (from 1), stop
// when they are one, step past the target with the pointer in its right part unless it is the
// last entry, take the source out and put it in before t - 1 when it came from before t, else
// before t. Nothing when the order does not list one of them.
std::optional<QList<PictureId>> formDrop(QList<PictureId> order, PictureId source, PictureId onto, bool rightPart,
                                         bool listed)
{
    if (listed)
        order.append(0);
    qsizetype t = order.indexOf(onto) + 1;
    const qsizetype s = order.indexOf(source) + 1;
    if (t == 0 || s == 0 || t == s)
        return std::nullopt;
    if (rightPart && t < order.size())
        ++t;
    order.removeAt(s - 1);
    order.insert((t > s ? t - 1 : t) - 1, source);
    order.removeAll(0);
    return order;
}

// The same folder listed anew as the window does it: `names` in their kept order, those of
// `unkept` after them by name, as the listing puts files its kept order does not know.
void listAgain(PictureOrder& pictures, const QList<QByteArray>& names, const QList<QByteArray>& unkept, bool again)
{
    ListedBatch batch;
    for (const QByteArray& name : names)
        batch.files.append({"/p/" + name, {}, unkept.contains(name) ? Placement::kUnkept : int(batch.files.size()),
                            QString::fromLatin1(name)});
    pictures.clear(again);
    pictures.add(batch);
    pictures.finishListing();
}

QList<QByteArray> shownNames(const PictureOrder& pictures)
{
    QList<QByteArray> names;
    for (const PictureId id : pictures.shown())
        names.append(pictures.picture(id).path().mid(3));
    return names;
}

QList<QByteArray> pickedNames(const PictureOrder& pictures)
{
    QList<QByteArray> names;
    for (const PictureId id : pictures.selection().inOrder(pictures.shown()))
        names.append(pictures.picture(id).path().mid(3));
    return names;
}

} // namespace

class TestPictureOrder : public QObject
{
    Q_OBJECT
private slots:
    // Moves to a given place ("before 5", "at the end"), and the keys' moves: a step among the
    // others (three to a row) or to either end.
    void moves_data()
    {
        QTest::addColumn<QList<PictureId>>("order");
        QTest::addColumn<QList<PictureId>>("selected");
        QTest::addColumn<QString>("move"); // a picture, "end", a step, "start" or "last"
        QTest::addColumn<QList<PictureId>>("expected"); // empty: unchanged
        const QList<PictureId> plain = upTo(8);
        const QList<PictureId> six = upTo(6);
        const auto row = [](const char* what, const QList<PictureId>& order, const QList<PictureId>& selected,
                            const char* move, const QList<PictureId>& expected) {
            QTest::newRow(what) << order << selected << QString(move) << expected;
        };
        row("block onto the first", plain, {3, 4, 5}, "1", {3, 4, 5, 1, 2, 6, 7, 8});
        row("scattered, in the order shown", {5, 3, 8, 1, 7, 2, 6, 4}, {2, 1, 8}, "5", {8, 1, 2, 5, 3, 7, 6, 4});
        row("to the end", plain, {2, 4}, "end", {1, 3, 5, 6, 7, 8, 2, 4});
        row("at the end already", plain, {7, 8}, "end", {});
        row("at the start already", plain, {1, 2}, "3", {});
        row("onto its own successor", plain, {4}, "5", {});
        row("target inside the selected run", plain, {2, 3, 4}, "3", {});
        row("nothing selected", plain, {}, "1", {});
        row("target not listed", plain, {2}, "11", {});
        row("a selected picture no longer listed", {1, 2, 3}, {3, 10}, "1", {3, 1, 2});
        row("one later", six, {2}, "+1", {1, 3, 2, 4, 5, 6});
        row("one earlier", six, {2}, "-1", {2, 1, 3, 4, 5, 6});
        row("a row down", six, {2}, "+3", {1, 3, 4, 5, 2, 6});
        row("last, one later", six, {6}, "+1", {});
        row("first, one earlier", six, {1}, "-1", {});
        row("a row up from the first row: to the start", six, {2}, "-3", {2, 1, 3, 4, 5, 6});
        row("a row down from the last row: to the end", six, {5}, "+3", {1, 2, 3, 4, 6, 5});
        row("next to last, one later: to the end", six, {5}, "+1", {1, 2, 3, 4, 6, 5});
        row("scattered, one later: together", six, {2, 5}, "+1", {1, 3, 2, 5, 4, 6});
        row("scattered from the first, one earlier", six, {1, 4}, "-1", {});
        row("nothing selected, one later", six, {}, "+1", {});
        row("to the start", six, {3, 5}, "start", {3, 5, 1, 2, 4, 6});
        row("to the start from the first: together", six, {1, 5}, "start", {1, 5, 2, 3, 4, 6});
        row("everything, to the start", six, {1, 2, 3, 4, 5, 6}, "start", {});
        row("to the end by the key", six, {2, 4}, "last", {1, 3, 5, 6, 2, 4});
        row("at the end already, by the key", six, {5, 6}, "last", {});
        row("nothing selected, to the end", six, {}, "last", {});
    }
    void moves()
    {
        QFETCH(QList<PictureId>, order);
        QFETCH(QList<PictureId>, selected);
        QFETCH(QString, move);
        QFETCH(QList<PictureId>, expected);
        const QList<PictureId> before = order;
        const std::vector<bool> bits = picked(selected);
        std::optional<Place> place;
        if (move == "start" || move == "last")
            place = endPlace(order, bits, move == "start");
        else if (move == "end")
            place = Place::end();
        else if (move[0].isDigit())
            place = Place{move.toInt()};
        else
            place = stepPlace(order, bits, move.toInt());
        QCOMPARE(place && movePicked(order, bits, *place), !expected.isEmpty());
        QCOMPARE(order, expected.isEmpty() ? before : expected);
    }

    // A drop of one picture lands where the form's rule puts it, in every direction, onto the
    // left and the right part of every picture, once the folder is listed (after the last: at the
    // end) and while it is listed (after the last: before it); a drop that changes nothing still
    // re-arranges, a drop onto itself does nothing at all.
    void dropOfOne_data()
    {
        QTest::addColumn<QList<PictureId>>("order");
        QTest::addColumn<bool>("listed");
        QTest::newRow("listed") << QList<PictureId>{4, 2, 5, 1, 3} << true;
        QTest::newRow("while listing") << QList<PictureId>{4, 2, 5, 1, 3} << false;
        QTest::newRow("two, listed") << QList<PictureId>{2, 1} << true;
        QTest::newRow("one, listed") << QList<PictureId>{1} << true;
    }
    void dropOfOne()
    {
        QFETCH(QList<PictureId>, order);
        QFETCH(bool, listed);
        for (const PictureId source : order) {
            for (const PictureId onto : order) {
                for (const bool rightPart : {false, true}) {
                    PictureOrder pictures;
                    show(pictures, order, listed);
                    const std::optional<QList<PictureId>> expected = formDrop(order, source, onto, rightPart, listed);
                    const QByteArray where = QByteArray::number(source) + " onto " + QByteArray::number(onto) +
                                             (rightPart ? " right" : " left");
                    QVERIFY2(pictures.dropOne(source, onto, rightPart) == expected.has_value(), where.constData());
                    QVERIFY2(pictures.shown() == expected.value_or(order), where.constData());
                    QCOMPARE(pictures.history().size(), 0);
                }
            }
        }
        PictureOrder pictures;
        show(pictures, order, listed);
        QVERIFY(!pictures.dropOne(9, order.first(), false)); // a picture of another folder
        QVERIFY(!pictures.dropOne(order.first(), 9, false));
        QCOMPARE(pictures.shown(), order);
    }

    // Picks by mouse and keys, as a script: "c3" click, "p3" press, "P3" press with Ctrl, "S3" with
    // Shift, "B3" with both, "f3"/"F3" the keyboard to 3 (F: extending), " " Space, "a" all, "0"
    // nothing. Then what is picked in display order, the focus and the anchor, and whether the
    // last press started a drag.
    void picking_data()
    {
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QList<PictureId>>("expected");
        QTest::addColumn<PictureId>("focus");
        QTest::addColumn<PictureId>("anchor");
        QTest::addColumn<bool>("drags");
        const auto row = [](const char* what, const char* script, const QList<PictureId>& expected, PictureId focus,
                            PictureId anchor, bool drags) {
            QTest::newRow(what) << QString::fromLatin1(script).split(u',') << expected << focus << anchor << drags;
        };
        row("a press picks one alone and drags it", "P5,p2", {2}, 2, 2, true);
        row("a press on a picked one drags them all", "P2,P4,p4", {2, 4}, 4, 4, true);
        row("Ctrl toggles", "P2,P4,P2", {4}, 2, 2, false);
        row("Shift: the range from the anchor, in display order", "c6,S2", {2, 5, 4, 3, 6}, 2, 6, false);
        row("Shift again from the same anchor", "c6,S2,S4", {4, 3, 6}, 4, 6, false);
        row("Ctrl+Shift adds the range", "c1,P4,B6", {1, 4, 3, 6}, 6, 4, false);
        row("Shift without an anchor picks one", "S3", {3}, 3, 3, false);
        row("the keyboard moves without picking", "c2,f4", {2}, 4, 4, false);
        row("extending from the anchor", "c2,F4,F3", {2, 5, 4, 3}, 3, 2, false);
        row("extending from where the keyboard went", "c2,f4,F3", {4, 3}, 3, 4, false);
        row("extending with nothing before", "F3", {3}, 3, 3, false);
        row("Space picks one more", "c2,f3, ", {2, 3}, 3, 3, false);
        row("Space without a focus", " ", {}, 0, 0, false);
        row("all, then nothing", "c2,a,0", {}, 2, 2, false);
        row("all", "a", {1, 2, 5, 4, 3, 6}, 0, 0, false);
    }
    void picking()
    {
        QFETCH(QStringList, script);
        QFETCH(QList<PictureId>, expected);
        QFETCH(PictureId, focus);
        QFETCH(PictureId, anchor);
        QFETCH(bool, drags);
        PictureOrder pictures;
        show(pictures, {1, 2, 5, 4, 3, 6});
        bool dragged = false;
        for (const QString& action : script) {
            const PictureId id = action.mid(1).toInt();
            switch (action[0].toLatin1()) {
            case 'c': pictures.click(id); break;
            case 'p': dragged = !pictures.press(id, false, false); break;
            case 'P': dragged = !pictures.press(id, true, false); break;
            case 'S': dragged = !pictures.press(id, false, true); break;
            case 'B': dragged = !pictures.press(id, true, true); break;
            case 'f': pictures.moveFocus(id, false); break;
            case 'F': pictures.moveFocus(id, true); break;
            case ' ': pictures.toggleFocused(); break;
            case 'a': pictures.pickAll(); break;
            case '0': pictures.unpickAll(); break;
            }
        }
        QCOMPARE(pictures.selection().inOrder(pictures.shown()), expected);
        QCOMPARE(pictures.selection().count(), expected.size());
        QCOMPARE(pictures.selection().focus, focus);
        QCOMPARE(pictures.selection().anchor, anchor);
        QCOMPARE(dragged, drags);
    }

    // Every move of the picked ones and every starting order is a step: undo and redo go back
    // and forth with the picks as they were, a new step drops what was undone, and a step that
    // changes nothing is none. While the files are listed there are no steps.
    void steps()
    {
        PictureOrder pictures;
        show(pictures, {3, 1, 2, 4, 5});
        pictures.press(5, true, false);
        pictures.press(2, true, false);
        QVERIFY(pictures.movePicked(Place{3}));
        QCOMPARE(pictures.shown(), (QList<PictureId>{2, 5, 3, 1, 4}));
        QVERIFY(!pictures.movePicked(Place{3})); // there already
        pictures.click(4);
        QVERIFY(pictures.movePicked(*pictures.endPlace(true)));
        QCOMPARE(pictures.shown(), (QList<PictureId>{4, 2, 5, 3, 1}));
        QCOMPARE(pictures.history().nextUndo()->pictures, 1);
        QVERIFY(pictures.undo());
        QVERIFY(pictures.undo());
        QCOMPARE(pictures.shown(), (QList<PictureId>{3, 1, 2, 4, 5}));
        QCOMPARE(pictures.selection().inOrder(pictures.shown()), (QList<PictureId>{2, 5}));
        QVERIFY(!pictures.undo());
        QVERIFY(pictures.redo());
        QCOMPARE(pictures.shown(), (QList<PictureId>{2, 5, 3, 1, 4}));
        QCOMPARE(pictures.history().nextUndo()->kind, History::Step::Kind::Move);
        QCOMPARE(pictures.history().nextUndo()->pictures, 2);
        QVERIFY(pictures.orderByName());
        QCOMPARE(pictures.shown(), (QList<PictureId>{1, 2, 3, 4, 5}));
        QVERIFY(!pictures.redo()); // the new step dropped it
        QVERIFY(!pictures.orderByName());
        QCOMPARE(pictures.history().size(), 2);
        QCOMPARE(pictures.history().nextUndo()->kind, History::Step::Kind::ByName);

        show(pictures, {3, 1, 2}, false);
        pictures.click(2); // as nothing picks while listing, undo has nothing
        QVERIFY(!pictures.movePicked(Place::end()));
        QVERIFY(!pictures.orderByName());
        QVERIFY(pictures.dropOne(1, 3, false));
        QCOMPARE(pictures.history().size(), 0);
        pictures.finishListing();
        QVERIFY(pictures.selection().isEmpty());
        QVERIFY(!pictures.undo());
    }

    // The oldest steps go beyond the budget, the newest stays whatever its size.
    void historyBudget()
    {
        const QList<PictureId> a{1, 2, 3};
        const QList<PictureId> b{2, 1, 3};
        const QList<PictureId> c{2, 3, 1};
        using Kind = History::Step::Kind;
        History h(30); // two steps of three ids
        QVERIFY(!h.undo() && !h.nextRedo());
        h.record({Kind::Move, 1, a, b, {}});
        h.record({Kind::ByName, 3, b, c, {}});
        QCOMPARE(h.nextUndo()->kind, Kind::ByName);
        QCOMPARE(h.undo()->before, b);
        QCOMPARE(h.undo()->before, a);
        QVERIFY(!h.undo());
        QCOMPARE(h.redo()->after, b);
        h.record({Kind::Move, 1, b, a, {}});
        QVERIFY(!h.nextRedo());
        QCOMPARE(h.size(), 2);
        h.record({Kind::ByTime, 3, a, b, {}}); // beyond the budget: the oldest goes
        QCOMPARE(h.size(), 2);
        QCOMPARE(h.nextUndo()->kind, Kind::ByTime);
        QCOMPARE(h.undo()->before, a);
        QCOMPARE(h.undo()->before, b);
        QVERIFY(!h.undo());
        History tiny(1);
        tiny.record({Kind::Move, 1, a, b, {}});
        QCOMPARE(tiny.size(), 1);
    }

    // Picture k is named names[k - 1] and was taken at times[k - 1] ("10:15:00.5" on one day; ""
    // for none, "?" not read): by time, the earliest first, the same moment and no time at all (last)
    // by name, wherever drops put them. Nothing can be ordered by time before every time is read.
    void byTime_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("times");
        QTest::addColumn<QList<PictureId>>("start");
        QTest::addColumn<QStringList>("expected");
        const QStringList abcd = {"a", "b", "c", "d"};
        QTest::newRow("same second: by name, not by id")
            << QStringList{"d", "c", "b", "a"} << QStringList{"10:00:00", "09:00:00", "10:00:00", "09:00:00"}
            << QList<PictureId>{1, 2, 3, 4} << QStringList{"a", "c", "b", "d"};
        QTest::newRow("fractions of a second, one tie")
            << abcd << QStringList{"10:00:00.5", "10:00:00.25", "10:00:00", "10:00:00.50"}
            << QList<PictureId>{1, 2, 3, 4} << QStringList{"c", "b", "a", "d"};
        QTest::newRow("without time: last, by name, wherever drops put them")
            << abcd << QStringList{"", "10:00:00", "", "09:00:00"} << QList<PictureId>{3, 1, 2, 4}
            << QStringList{"d", "b", "a", "c"};
        QTest::newRow("one not read yet") << abcd << QStringList{"10:00:00", "?", "", "09:00:00"}
                                          << QList<PictureId>{1, 2, 3, 4} << QStringList{};
    }
    void byTime()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, times);
        QFETCH(QList<PictureId>, start);
        QFETCH(QStringList, expected);
        ListedBatch batch;
        for (qsizetype i = 0; i < names.size(); ++i)
            batch.files.append({"/p/" + names[i].toLatin1(), {}, int(start.indexOf(PictureId(i + 1))), names[i]});
        PictureOrder pictures;
        pictures.add(batch);
        pictures.finishListing();
        for (PictureId id = 1; id <= names.size(); ++id) {
            const QStringList parts = times[id - 1].split(u'.');
            const QTime time = QTime::fromString(parts[0], u"hh:mm:ss");
            if (times[id - 1] == "?")
                continue;
            pictures.setTaken(id, time.isValid() ? std::optional<ClockTime>(ClockTime{
                                                       time.msecsSinceStartOfDay() / 1000,
                                                       int(parts.value(1).leftJustified(9, u'0').toInt())})
                                                 : std::nullopt);
        }
        const auto namesShown = [&] {
            QStringList shown;
            for (const PictureId id : pictures.shown())
                shown.append(names[id - 1]);
            return shown;
        };
        QCOMPARE(pictures.timesUnknown().isEmpty(), !expected.isEmpty());
        if (expected.isEmpty())
            return;
        const bool changes = namesShown() != expected;
        QCOMPARE(pictures.orderByTime(), changes);
        QCOMPARE(namesShown(), expected);
        QStringList byName = names;
        std::sort(byName.begin(), byName.end());
        pictures.orderByName();
        QCOMPARE(namesShown(), byName);
    }

    // Files taken in by batches, with drops between them, stand exactly where taking them one by one
    // puts them: each before the first picture shown (from the front) whose kept rank, then text,
    // is greater than its own. Batches in the order the listing found them or sorted beforehand.
    void listingAsOneByOne()
    {
        QRandomGenerator random(36);
        for (int round = 0; round < 200; ++round) {
            const int files = 1 + int(random.bounded(80));
            QList<ListedFile> all;
            for (int i = 0; i < files; ++i) {
                const int rank = random.bounded(3) == 0 ? int(random.bounded(files)) : Placement::kUnkept;
                const QString text = QStringLiteral("n%1").arg(random.bounded(1000), 3, 10, QLatin1Char('0'));
                all.append({"/p/" + text.toLatin1(), {}, rank, text + QString::number(i)});
            }
            PictureOrder pictures;
            QList<PictureId> expected; // one by one, by the scan from the front
            const auto greater = [&](PictureId a, PictureId b) {
                const ListedFile& x = all[a - 1];
                const ListedFile& y = all[b - 1];
                return keptRankThenText(y.keptRank, y.text, x.keptRank, x.text);
            };
            for (int done = 0; done < files;) {
                ListedBatch batch;
                const int n = std::min(files - done, 1 + int(random.bounded(round % 2 == 0 ? 6 : 40)));
                batch.files = all.mid(done, n);
                if (random.bounded(2) == 0)
                    sortByKey(batch);
                const QList<PictureId> ids = pictures.add(batch);
                QCOMPARE(ids.first(), done + 1);
                for (int k = 0; k < n; ++k) {
                    const PictureId id = done + k + 1;
                    const auto at = std::find_if(expected.cbegin(), expected.cend(),
                                                 [&](PictureId e) { return greater(e, id); });
                    expected.insert(at - expected.cbegin(), id);
                }
                done += n;
                QCOMPARE(pictures.shown(), expected);
                if (random.bounded(3) == 0) { // a drop of one onto another
                    const PictureId source = expected[random.bounded(expected.size())];
                    const PictureId onto = expected[random.bounded(expected.size())];
                    const bool after = random.bounded(2) == 0;
                    pictures.dropOne(source, onto, after);
                    expected = formDrop(expected, source, onto, after, false).value_or(expected);
                    QCOMPARE(pictures.shown(), expected);
                }
            }
        }
    }

    // Files that came into a folder with a kept order each go after the picture of the others with
    // the latest time not later than their own; of several of that moment, after the one shown
    // last; before them all when all are later; those without a time at the end. Pictures of the
    // others without a time are passed over. Times are seconds; -1: none.
    void arrivalsByTime_data()
    {
        QTest::addColumn<QList<PictureId>>("order");
        QTest::addColumn<QList<int>>("times"); // by id, from 1
        QTest::addColumn<QList<PictureId>>("arriving");
        QTest::addColumn<QList<PictureId>>("expected");
        const auto row = [](const char* what, const QList<PictureId>& order, const QList<int>& times,
                            const QList<PictureId>& arriving, const QList<PictureId>& expected) {
            QTest::newRow(what) << order << times << arriving << expected;
        };
        row("between two", {1, 2, 3, 4}, {10, 20, 30, 25}, {4}, {1, 2, 4, 3});
        row("of the same moment as one: after it", {1, 2, 3, 4}, {10, 20, 30, 20}, {4}, {1, 2, 4, 3});
        row("a second before one: before it", {1, 2, 3, 4}, {10, 20, 30, 19}, {4}, {1, 4, 2, 3});
        row("earlier than all: first", {1, 2, 3, 4}, {10, 20, 30, 9}, {4}, {4, 1, 2, 3});
        row("later than all: last", {1, 2, 3, 4}, {10, 20, 30, 31}, {4}, {1, 2, 3, 4});
        row("at the same moment as the first", {1, 2, 3, 4}, {10, 20, 30, 10}, {4}, {1, 4, 2, 3});
        row("no time: at the end, after those with one", {1, 2, 3, 4, 5}, {10, 20, 30, -1, 15}, {4, 5},
            {1, 5, 2, 3, 4});
        row("an order by hand: after the latest not later", {3, 1, 2, 4}, {10, 20, 30, 25}, {4}, {3, 1, 2, 4});
        row("several of that moment: the one shown last", {2, 1, 3, 4}, {10, 10, 30, 15}, {4}, {2, 1, 4, 3});
        row("others without a time are passed over", {1, 2, 3, 4}, {10, -1, 30, 15}, {4}, {1, 4, 2, 3});
        row("landing together: by time, then by name", {1, 2, 3, 4, 5, 6}, {10, 20, 30, 25, 22, 22}, {4, 5, 6},
            {1, 2, 5, 6, 4, 3});
        row("wherever the listing put them", {1, 4, 2, 3}, {10, 20, 30, 25}, {4}, {1, 2, 4, 3});
        row("nothing but arrivals: by time", {1, 2}, {20, 10}, {1, 2}, {2, 1});
        row("none arriving", {2, 1, 3}, {10, 20, 30}, {}, {2, 1, 3});
        row("an empty folder", {}, {}, {}, {});
    }
    void arrivalsByTime()
    {
        QFETCH(QList<PictureId>, order);
        QFETCH(QList<int>, times);
        QFETCH(QList<PictureId>, arriving);
        QFETCH(QList<PictureId>, expected);
        const TimeOf timeOf = [&times](PictureId id) {
            const int t = times.value(id - 1, -1);
            return t < 0 ? std::nullopt : std::optional<ClockTime>(ClockTime{t, 0});
        };
        const PictureLess nameLess = [](PictureId a, PictureId b) { return a < b; };
        QCOMPARE(placeArrivals(order, picked(arriving), timeOf, nameLess), expected);
    }

    // Listed anew, a folder with a kept order takes the files it does not know as arrivals; put in,
    // they are one step, picked alone, and undone they stand at the end again, unpicked. A folder
    // without a kept order has none, and neither has one whose files it all knows.
    void arrivalsAreOneStep()
    {
        PictureOrder pictures;
        listAgain(pictures, {"c.jpg", "a.jpg", "b.jpg", "d.jpg", "e.jpg"}, {"d.jpg", "e.jpg"}, false);
        QCOMPARE(shownNames(pictures), (QList<QByteArray>{"c.jpg", "a.jpg", "b.jpg", "d.jpg", "e.jpg"}));
        QCOMPARE(pictures.arrivals().size(), 2);
        const QList<int> times{10, 20, 30, 15, 35}; // c, a, b, d, e by id
        for (PictureId id = 1; id <= 5; ++id)
            pictures.setTaken(id, ClockTime{times[id - 1], 0});
        QVERIFY(pictures.placeArrivals());
        QCOMPARE(shownNames(pictures), (QList<QByteArray>{"c.jpg", "d.jpg", "a.jpg", "b.jpg", "e.jpg"}));
        QCOMPARE(pickedNames(pictures), (QList<QByteArray>{"d.jpg", "e.jpg"}));
        QCOMPARE(pictures.selection().focus, PictureId(4));
        QVERIFY(pictures.arrivals().isEmpty());
        QVERIFY(!pictures.placeArrivals());
        QCOMPARE(pictures.history().size(), 1);
        QCOMPARE(stepText(*pictures.history().nextUndo()), QStringLiteral("2 neue Bilder einordnen"));
        QVERIFY(pictures.undo());
        QCOMPARE(shownNames(pictures), (QList<QByteArray>{"c.jpg", "a.jpg", "b.jpg", "d.jpg", "e.jpg"}));
        QVERIFY(pictures.selection().isEmpty());
        QVERIFY(pictures.redo());
        QCOMPARE(shownNames(pictures), (QList<QByteArray>{"c.jpg", "d.jpg", "a.jpg", "b.jpg", "e.jpg"}));

        // One that lands where the listing put it is picked all the same, without a step.
        listAgain(pictures, {"a.jpg", "b.jpg", "z.jpg"}, {"z.jpg"}, false);
        QCOMPARE(pictures.arrivals().size(), 1);
        QVERIFY(!pictures.placeArrivals());
        QCOMPARE(pickedNames(pictures), QList<QByteArray>{"z.jpg"});
        QCOMPARE(pictures.history().size(), 0);

        listAgain(pictures, {"a.jpg", "b.jpg"}, {"a.jpg", "b.jpg"}, false);
        QVERIFY(pictures.arrivals().isEmpty());
        listAgain(pictures, {"a.jpg", "b.jpg"}, {}, false);
        QVERIFY(pictures.arrivals().isEmpty());
        History::Step one;
        one.kind = History::Step::Kind::Arrivals;
        one.pictures = 1;
        QCOMPARE(stepText(one), QStringLiteral("1 neues Bild einordnen"));
    }

    // The steps, the picks and the times known (with their devices and zones) stay with the files
    // while the same folder is listed anew: a file gone is left out of every step, one that came stands at the end of each order
    // the steps bring back. Another folder starts without them.
    void stepsStayWithTheFolder()
    {
        PictureOrder pictures;
        show(pictures, upTo(5));
        pictures.setTaken(3, ClockTime{30, 0}, Camera{QStringLiteral("a"), QStringLiteral("A"), 7200});
        pictures.click(2);
        QVERIFY(pictures.movePicked(Place::end()));  // 1 3 4 5 2
        pictures.click(4);
        QVERIFY(pictures.movePicked(Place{1}));      // 4 1 3 5 2
        QVERIFY(pictures.undo());                    // 1 3 4 5 2, one to redo
        pictures.click(5);
        const QList<QByteArray> kept{"p01.jpg", "p03.jpg", "p05.jpg", "p02.jpg", "p06.jpg"}; // p04 gone
        listAgain(pictures, kept, {"p06.jpg"}, true);
        QCOMPARE(shownNames(pictures), kept);
        QCOMPARE(pickedNames(pictures), QList<QByteArray>{"p05.jpg"});
        QCOMPARE(pictures.history().size(), 2);
        QVERIFY(pictures.picture(2).takenKnown() && pictures.picture(2).taken() == (ClockTime{30, 0}));
        QCOMPARE(pictures.camera(2).key, QStringLiteral("a"));
        QCOMPARE(pictures.zoneOf(2), std::optional<qint32>(7200));
        QVERIFY(!pictures.picture(1).takenKnown());
        QVERIFY(pictures.camera(1).key.isEmpty() && !pictures.zoneOf(1));
        QVERIFY(pictures.redo());
        QCOMPARE(shownNames(pictures), (QList<QByteArray>{"p01.jpg", "p03.jpg", "p05.jpg", "p02.jpg", "p06.jpg"}));
        QVERIFY(pictures.undo());
        QVERIFY(pictures.undo());
        QCOMPARE(shownNames(pictures), (QList<QByteArray>{"p01.jpg", "p02.jpg", "p03.jpg", "p05.jpg", "p06.jpg"}));
        QCOMPARE(pickedNames(pictures), QList<QByteArray>{"p02.jpg"});
        QVERIFY(!pictures.undo());

        // Arrivals put in after the steps carried over are one more step on top of them.
        listAgain(pictures, {"p01.jpg", "p02.jpg", "p03.jpg", "p05.jpg", "p06.jpg", "p07.jpg"}, {"p07.jpg"}, true);
        QCOMPARE(pictures.history().size(), 2);
        // Its clock reads before p03's, the one time known, but runs 28 s behind.
        pictures.setTaken(pictures.shown().last(), ClockTime{5, 0}, Camera{QStringLiteral("b"), QStringLiteral("B"), {}});
        QVERIFY(pictures.placeArrivals({{QStringLiteral("b"), 28}}));
        QCOMPARE(shownNames(pictures),
                 (QList<QByteArray>{"p01.jpg", "p02.jpg", "p03.jpg", "p07.jpg", "p05.jpg", "p06.jpg"}));
        QCOMPARE(pictures.history().size(), 1); // what was undone before cannot be redone
        QVERIFY(pictures.undo());
        QCOMPARE(shownNames(pictures).last(), QByteArray("p07.jpg"));

        listAgain(pictures, kept, {}, false);
        QCOMPARE(pictures.history().size(), 0);
        QVERIFY(pictures.selection().isEmpty());
        QVERIFY(!pictures.picture(2).takenKnown());
        QVERIFY(pictures.camera(2).key.isEmpty() && !pictures.zoneOf(2));
    }


    // Renamed files take their pictures with them, ids and places unchanged; pictures of files not
    // renamed keep their paths.
    void renamedFilesFollow()
    {
        PictureOrder pictures;
        show(pictures, {2, 3, 1});
        const QList<PictureOrder::Renamed> renamed =
            pictures.renamed({{"/p/p02.jpg", "/q/img0001.jpg"}, {"/p/p03.jpg", "/p/img0002.jpg"}, {"/p/x.jpg", "/y"}});
        QCOMPARE(renamed.size(), 2);
        QCOMPARE(renamed[0].id, 2);
        QCOMPARE(renamed[0].was, QByteArray("/p/p02.jpg"));
        QCOMPARE(pictures.picture(2).path(), QByteArray("/q/img0001.jpg"));
        QCOMPARE(pictures.picture(3).path(), QByteArray("/p/img0002.jpg"));
        QCOMPARE(pictures.picture(1).path(), QByteArray("/p/p01.jpg"));
        QCOMPARE(pictures.shown(), (QList<PictureId>{2, 3, 1}));
    }
};

QTEST_GUILESS_MAIN(TestPictureOrder)
#include "tst_pictureorder.moc"
