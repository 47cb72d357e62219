#include "clocks/ClocksDialog.h"
#include "ordering/PictureOrder.h"
#include "platform/FileNames.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QTest>

using namespace ordering;
using clocks::ClocksDialog;
using clocks::Timeline;

Q_DECLARE_METATYPE(ordering::ClockOffsets)

namespace {

qint64 at(int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2023, 7, 12), QTime(hour, minute, second), Qt::UTC).toSecsSinceEpoch();
}

struct Shot
{
    const char* device;
    qint64 time;
    std::optional<qint32> zone = std::nullopt;
};

// "cam" (three photos), "phone" (two, zoned) and one naming no device, listed by name p1, p2, ...
void show(PictureOrder& order, const QList<Shot>& shots, const QString& camLabel = QStringLiteral("Canon EOS R6"))
{
    ListedBatch batch;
    for (qsizetype i = 0; i < shots.size(); ++i) {
        const QByteArray name = "p" + QByteArray::number(i + 1) + ".jpg";
        batch.files.append({"/p/" + name, {}, Placement::kUnkept, QString::fromLatin1(name)});
    }
    order.clear();
    order.add(batch);
    order.finishListing();
    for (PictureId id = 1; id <= shots.size(); ++id) {
        const Shot& s = shots[id - 1];
        const QString key = QString::fromLatin1(s.device);
        const QString label = key == u"cam" ? camLabel : key == u"phone" ? QStringLiteral("Apple iPhone 13") : QString();
        order.setTaken(id, ClockTime{s.time, 0}, {key == u"none" ? QString() : key, label, s.zone});
    }
}

const QList<Shot> kTrip{{"cam", at(10, 0), 3600},      {"phone", at(11, 5), 7200}, {"cam", at(10, 10), 3600},
                        {"phone", at(11, 15), 7200},  {"cam", at(10, 20), 3600},  {"none", at(9, 0)}};

template <typename T>
T* child(const ClocksDialog& d, const QString& name)
{
    T* w = d.findChild<T*>(name);
    Q_ASSERT(w);
    return w;
}

QString text(const ClocksDialog& d, const QString& name)
{
    return child<QLabel>(d, name)->text();
}

// Types into a field as the user does: everything in it replaced.
void type(QLineEdit* box, const QString& keys)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, keys);
}

QPushButton* okButton(const ClocksDialog& d)
{
    for (QPushButton* b : d.findChildren<QPushButton*>())
        if (b->text() == u"OK" || b->text() == u"&OK")
            return b;
    return nullptr;
}

} // namespace

class TestClocksDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    // The reference (most photos) first and at zero; a folder without kept offsets starts from
    // the zones, one with kept offsets from them; the first and last times with the offsets.
    void rowsAndStartingOffsets_data()
    {
        QTest::addColumn<ClockOffsets>("kept");
        QTest::addColumn<QString>("phoneFirst");
        QTest::addColumn<QString>("phoneSign");
        QTest::addColumn<int>("phoneHours");
        QTest::addColumn<int>("phoneMinutes");
        QTest::newRow("proposed by the zones") << ClockOffsets{} << "12.07.2023 10:05:00" << "\u2212" << 1 << 0;
        QTest::newRow("kept") << ClockOffsets{{QStringLiteral("phone"), -3900}} << "12.07.2023 10:00:00" << "\u2212"
                              << 1 << 5;
        QTest::newRow("kept for another device only")
            << ClockOffsets{{QStringLiteral("none"), 60}, {QStringLiteral("gone"), 60}} << "12.07.2023 10:05:00"
            << "\u2212" << 1 << 0;
        QTest::newRow("kept forward") << ClockOffsets{{QStringLiteral("phone"), 90061}} << "13.07.2023 12:06:01" << "+"
                                      << 1 << 1;
    }
    void rowsAndStartingOffsets()
    {
        QFETCH(ClockOffsets, kept);
        QFETCH(QString, phoneFirst);
        QFETCH(QString, phoneSign);
        QFETCH(int, phoneHours);
        QFETCH(int, phoneMinutes);
        PictureOrder order;
        show(order, kTrip);
        ClocksDialog d(order, kept);
        QCOMPARE(text(d, "lblDevice0"), "Canon EOS R6");
        QCOMPARE(text(d, "lblCount0"), "3");
        QCOMPARE(text(d, "lblFirst0"), "12.07.2023 10:00:00");
        QCOMPARE(text(d, "lblLast0"), "12.07.2023 10:20:00");
        QCOMPARE(child<QLineEdit>(d, "txtHours0")->text().toInt(), 0);
        QCOMPARE(text(d, "lblDevice1"), "Apple iPhone 13");
        QCOMPARE(text(d, "lblCount1"), "2");
        QCOMPARE(text(d, "lblFirst1"), phoneFirst);
        QCOMPARE(child<QComboBox>(d, "cboSign1")->currentText(), phoneSign);
        QCOMPARE(child<QLineEdit>(d, "txtHours1")->text().toInt(), phoneHours);
        QCOMPARE(child<QLineEdit>(d, "txtMinutes1")->text().toInt(), phoneMinutes);
        QCOMPARE(text(d, "lblDevice2"), "Ohne Kameraangabe");
        QCOMPARE(text(d, "lblCount2"), "1");
        QCOMPARE(d.findChild<QLabel*>("lblDevice3"), nullptr);
    }

    // Control characters, bytes that are not UTF-8, markup and a long name: seen as text, cut.
    void hostileNamesShownAsText()
    {
        PictureOrder order;
        const QString hostile = platform::decodeName("<b>Ca\x01non\xff</b> ") + QString(100, u'x');
        show(order, kTrip, hostile);
        ClocksDialog d(order, {});
        const QLabel* name = child<QLabel>(d, "lblDevice0");
        QCOMPARE(name->textFormat(), Qt::PlainText);
        QVERIFY2(name->text().startsWith(u"<b>Ca\\u0001non\u00ff</b> xx"), qPrintable(name->text()));
        QCOMPARE(name->text().size(), 48);
        QVERIFY(name->text().endsWith(u'\u2026'));
        QVERIFY(!name->text().contains(QChar(1)));
    }

    // Files made to name a device each: the rows scroll, and the dialog still fits a screen.
    void manyDevicesFitTheScreen()
    {
        PictureOrder order;
        ListedBatch batch;
        for (int i = 0; i < 300; ++i) {
            const QByteArray name = "/p/" + QByteArray::number(i) + ".jpg";
            batch.files.append({name, {}, Placement::kUnkept, QString::fromLatin1(name)});
        }
        order.add(batch);
        order.finishListing();
        for (PictureId id = 1; id <= 300; ++id)
            order.setTaken(id, ClockTime{at(10, 0) + id, 0}, {QString::number(id), QString::number(id), std::nullopt});
        ClocksDialog d(order, {});
        QCOMPARE(d.groups().size(), 300);
        QVERIFY(d.findChild<QLineEdit*>("txtSeconds299"));
        QVERIFY2(d.sizeHint().height() < 900, qPrintable(QString::number(d.sizeHint().height())));
    }

    // Typed offsets move the device's marks and first and last times at once, and tell how many
    // photos would change places; the reference and the others stay.
    void typingMovesTheTimeline()
    {
        PictureOrder order;
        show(order, kTrip);
        ClocksDialog d(order, {});
        d.resize(900, 400);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        Timeline* timeline = child<Timeline>(d, "timeline");
        const QPoint camBefore = timeline->markAt({0, 1});
        const QPoint phoneBefore = timeline->markAt({1, 0});
        QCOMPARE(d.preview(), (DisplayOrder{6, 1, 2, 3, 4, 5}));
        QCOMPARE(text(d, "lblMoved"), "6 Bilder kämen an einen anderen Platz.");
        // The phone 10:05 and 10:15 -> 10:00 and 10:10: beside the camera's photos of those times.
        type(child<QLineEdit>(d, "txtMinutes1"), "5");
        QCOMPARE(text(d, "lblFirst1"), "12.07.2023 10:00:00");
        QCOMPARE(text(d, "lblLast1"), "12.07.2023 10:10:00");
        QCOMPARE(text(d, "lblFirst0"), "12.07.2023 10:00:00");
        QCOMPARE(d.preview(), (DisplayOrder{6, 1, 2, 3, 4, 5}));
        QCOMPARE(timeline->markAt({0, 1}), camBefore);
        type(child<QLineEdit>(d, "txtSeconds1"), "1");
        QCOMPARE(d.preview(), (DisplayOrder{6, 2, 1, 4, 3, 5}));
        QVERIFY2(timeline->markAt({1, 0}).x() < phoneBefore.x(), "the phone's marks moved back");
        QCOMPARE(timeline->markAt({1, 0}).x(), timeline->markAt({0, 0}).x());
        QCOMPARE(timeline->markAt({1, 0}).y(), phoneBefore.y());
        // Forward, over the camera's last photo.
        child<QComboBox>(d, "cboSign1")->setCurrentIndex(0);
        QCOMPARE(text(d, "lblFirst1"), "12.07.2023 12:10:01");
        QCOMPARE(d.preview(), (DisplayOrder{6, 1, 3, 5, 2, 4}));
        QCOMPARE(text(d, "lblMoved"), "5 Bilder kämen an einen anderen Platz.");
        QCOMPARE(d.offsets(), (ClockOffsets{{QStringLiteral("phone"), 3901}}));
    }

    // What is no offset is refused in the dialog with a message, and nothing is handed over;
    // ten years are an offset.
    void refusesWhatIsNoOffset_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("keys"); // typed into it
        QTest::addColumn<QString>("message");
        QTest::newRow("an empty field") << "txtHours1" << "" << "keine ganze Zahl";
        QTest::newRow("letters") << "txtHours1" << "x" << "keine ganze Zahl";
        QTest::newRow("more than ten years") << "txtDays0" << "3654" << "größer als zehn Jahre";
        QTest::newRow("more than ten years with the hour") << "txtDays1" << "3653" << "größer als zehn Jahre";
        QTest::newRow("more than ten years in minutes") << "txtMinutes0" << "5260321" << "größer als zehn Jahre";
        QTest::newRow("ten years") << "txtDays0" << "3653" << "";
        QTest::newRow("ten years back") << "txtDays1" << "3652" << "";
        QTest::newRow("ten years in minutes") << "txtMinutes0" << "5260320" << "";
    }
    void refusesWhatIsNoOffset()
    {
        QFETCH(QString, field);
        QFETCH(QString, keys);
        QFETCH(QString, message);
        PictureOrder order;
        show(order, kTrip);
        ClocksDialog d(order, {});
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        type(child<QLineEdit>(d, field), keys);
        QVERIFY2(text(d, "lblClocksMessage").contains(message),
                 qPrintable(text(d, "lblClocksMessage") + u'|' + child<QLineEdit>(d, field)->text()));
        bool accepted = false;
        connect(&d, &QDialog::accepted, this, [&] { accepted = true; });
        QVERIFY(okButton(d));
        QTest::mouseClick(okButton(d), Qt::LeftButton);
        if (message.isEmpty()) {
            QVERIFY(accepted);
            QVERIFY(d.offsets());
            return;
        }
        QVERIFY(!accepted);
        QVERIFY(d.isVisible());
        QVERIFY(!d.offsets());
        QVERIFY(text(d, "lblClocksMessage").contains(message));
    }

    // Two marks of two devices clicked in the timeline: "Gleicher Moment" sets the second's
    // offset so that both show one time. A third click starts a new pair; two of one device make
    // none.
    void pairInTheTimeline()
    {
        PictureOrder order;
        show(order, kTrip);
        ClocksDialog d(order, {{QStringLiteral("cam"), 60}});
        d.resize(900, 400);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        Timeline* timeline = child<Timeline>(d, "timeline");
        QPushButton* same = child<QPushButton>(d, "btnSameMoment");
        QVERIFY(!same->isEnabled());
        QTest::mouseClick(timeline, Qt::LeftButton, {}, timeline->markAt({0, 2}));
        QTest::mouseClick(timeline, Qt::LeftButton, {}, timeline->markAt({0, 1}));
        QVERIFY(!same->isEnabled());
        QTest::mouseClick(timeline, Qt::LeftButton, {}, timeline->markAt({1, 0}) + QPoint(2, 3));
        QVERIFY(same->isEnabled());
        QVERIFY(text(d, "lblPair").contains(u"p3.jpg (Canon EOS R6, 12.07.2023 10:10:00) und p2.jpg (Apple iPhone 13, 12.07.2023 11:05:00)"));
        QTest::mouseClick(same, Qt::LeftButton);
        // Camera 10:10 + 1 min = 10:11 is the phone's 11:05: -54 minutes.
        QCOMPARE(child<QComboBox>(d, "cboSign1")->currentIndex(), 1);
        QCOMPARE(child<QLineEdit>(d, "txtMinutes1")->text().toInt(), 54);
        QCOMPARE(d.offsets()->value(QStringLiteral("phone")), -54 * 60);
        QCOMPARE(timeline->markAt({1, 0}).x(), timeline->markAt({0, 1}).x());
        // Nothing near a mark: no pick.
        QTest::mouseClick(timeline, Qt::LeftButton, {}, QPoint(timeline->width() - 2, 2));
        QVERIFY(same->isEnabled());
    }
};

QTEST_MAIN(TestClocksDialog)
#include "tst_clocksdialog.moc"
