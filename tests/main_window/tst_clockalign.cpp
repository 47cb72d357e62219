#include "clocks/ClocksDialog.h"
#include "imaging/PhotoMetadata.h"
#include "main_window/frmmain.h"
#include "ordering/OrderStore.h"
#include "renaming/Renamer.h"

#include "ExifSamples.h"
#include "ImagingTestSupport.h"
#include "TestFiles.h"
#include "ThumbnailTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct TripPhoto
{
    const char* name;
    const char* make;
    const char* model;
    const char* serial;
    const char* taken;
    const char* zone;
};

// A trip of three devices, the story every ten minutes from 10:00: the camera's clock is right
// (its zone +01:00), the phone's runs an hour ahead (+02:00, it moved to the trip's zone), the
// second camera's runs a quarter of an hour ahead and tells no zone. PXL_4b shows the moment of
// IMG_4. Their names sort otherwise.
const QList<TripPhoto> kTrip{
    {"IMG_1.jpg", "Canon", "Canon EOS R6", "", "2023:07:12 10:00:00", "+01:00"},
    {"PXL_2.jpg", "Google", "Pixel 7", "", "2023:07:12 11:10:00", "+02:00"},
    {"DSC_3.jpg", "NIKON CORPORATION", "NIKON D850", "3012345", "2023:07:12 10:35:00", ""},
    {"IMG_4.jpg", "Canon", "Canon EOS R6", "", "2023:07:12 10:30:00", "+01:00"},
    {"PXL_4b.jpg", "Google", "Pixel 7", "", "2023:07:12 11:30:00", "+02:00"},
    {"PXL_5.jpg", "Google", "Pixel 7", "", "2023:07:12 11:40:00", "+02:00"},
    {"IMG_6.jpg", "Canon", "Canon EOS R6", "", "2023:07:12 10:50:00", "+01:00"},
};
const QStringList kStory{"IMG_1.jpg", "PXL_2.jpg", "DSC_3.jpg", "IMG_4.jpg", "PXL_4b.jpg", "PXL_5.jpg", "IMG_6.jpg"};
const QStringList kByName{"DSC_3.jpg", "IMG_1.jpg", "IMG_4.jpg", "IMG_6.jpg", "PXL_2.jpg", "PXL_4b.jpg", "PXL_5.jpg"};

QByteArray photoOf(const TripPhoto& p, int width)
{
    QList<std::pair<const char*, const char*>> tags{{"Exif.Image.Make", p.make},
                                                    {"Exif.Image.Model", p.model},
                                                    {"Exif.Photo.DateTimeOriginal", p.taken}};
    if (*p.serial)
        tags.append(std::pair{"Exif.Photo.BodySerialNumber", p.serial});
    if (*p.zone)
        tags.append(std::pair{"Exif.Photo.OffsetTimeOriginal", p.zone});
    return withExif(encodeJpeg(pattern(width, 8)), exifTiff(tags));
}

QByteArray digestOf(const QDir& dir)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        hash.addData(name.toUtf8());
        hash.addData(f.readAll());
    }
    return hash.result();
}

clocks::ClocksDialog* openDialog(frmmain& w)
{
    w.mnuAlignClocks->trigger();
    clocks::ClocksDialog* dialog = nullptr;
    const bool open =
        QTest::qWaitFor([&] { return (dialog = w.findChild<clocks::ClocksDialog*>()) && dialog->isVisible(); }, 10000);
    return open ? dialog : nullptr;
}

void type(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

// Clicks on the photo at display position `position`, with Ctrl to add it.
void pick(frmmain& w, const QString& name, bool add)
{
    const qsizetype position = shownNames(w).indexOf(name) + 1;
    QTest::mouseClick(w.picScroll, Qt::LeftButton, add ? Qt::ControlModifier : Qt::NoModifier, at(w, position));
}

} // namespace

class TestClockAlign : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        m_state = std::make_unique<QTemporaryDir>();
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state->path()));
        m_dir = std::make_unique<QTemporaryDir>();
        int width = 8;
        for (const TripPhoto& p : kTrip)
            writeFile(m_dir->filePath(QString::fromLatin1(p.name)), photoOf(p, width++));
        m_folder = QFile::encodeName(m_dir->path()) + '/';
    }

    // Not before a folder is shown. Aligned by typing: the phone comes proposed by its zone, the
    // second camera's quarter of an hour is typed; OK orders by the story as one step, which
    // undo takes back. The offsets are kept: after a restart the dialog shows them and "Nach
    // Aufnahmezeit" uses them, "Nach Dateiname" leaves them. No photo file is touched.
    void alignedByTypingAndKept()
    {
        const QByteArray before = digestOf(QDir(m_dir->path()));
        {
            frmmain w;
            w.imageerw = QStringLiteral("jpg");
            QVERIFY(!w.mnuAlignClocks->isEnabled());
            QVERIFY(!w.mnuSameMoment->isEnabled());
            QVERIFY(openView(w, m_dir->path()));
            QVERIFY(w.mnuAlignClocks->isEnabled());
            QCOMPARE(shownNames(w), kByName);
            clocks::ClocksDialog* dialog = openDialog(w);
            QVERIFY(dialog);
            QCOMPARE(dialog->groups().size(), 3);
            QCOMPARE(dialog->findChild<QLabel*>("lblDevice0")->text(), "Canon EOS R6");
            QCOMPARE(dialog->findChild<QLabel*>("lblDevice1")->text(), "Google Pixel 7");
            QCOMPARE(dialog->findChild<QLabel*>("lblDevice2")->text(), "NIKON D850 (3012345)");
            QCOMPARE(dialog->findChild<QLineEdit*>("txtHours1")->text(), "1");
            dialog->findChild<QComboBox*>("cboSign2")->setCurrentIndex(1);
            type(dialog->findChild<QLineEdit*>("txtMinutes2"), "15");
            QCOMPARE(shownNames(w), kByName); // nothing before OK
            QTest::keyClick(dialog->findChild<QLineEdit*>("txtMinutes2"), Qt::Key_Return);
            QTRY_VERIFY(!w.findChild<clocks::ClocksDialog*>());
            QCOMPARE(shownNames(w), kStory);
            QCOMPARE(w.mnuUndoOrder->text(), "&Rückgängig: Nach Aufnahmezeit ordnen");
            w.mnuUndoOrder->trigger();
            QCOMPARE(shownNames(w), kByName);
            w.mnuRedoOrder->trigger();
            QCOMPARE(shownNames(w), kStory);
            w.mnuOrderByName->trigger();
            QCOMPARE(shownNames(w), kByName);
        }
        const ordering::OrderStore store(renaming::defaultStateFolder());
        QCOMPARE(store.loadClocks(m_folder).offsets.size(), 2);
        frmmain w;
        w.imageerw = QStringLiteral("jpg");
        QVERIFY(openView(w, m_dir->path()));
        w.mnuOrderByTime->trigger();
        QCOMPARE(shownNames(w), kStory);
        clocks::ClocksDialog* dialog = openDialog(w);
        QVERIFY(dialog);
        QCOMPARE(dialog->findChild<QLineEdit*>("txtMinutes2")->text(), "15");
        QCOMPARE(dialog->findChild<QComboBox*>("cboSign2")->currentIndex(), 1);
        dialog->reject();
        QTRY_VERIFY(!w.findChild<clocks::ClocksDialog*>());
        w.waitForKeptOrder();
        QCOMPARE(digestOf(QDir(m_dir->path())), before);
    }

    // Two photos of two devices picked, the phone's second: "Gleicher Moment" sets the phone's
    // clock from them and orders by time as one step; with the camera's picked second, the
    // camera's clock is set instead. Two of one device, one photo or three: not enabled.
    void sameMomentFromTwoPicked_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("device"); // whose offset is set
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<QStringList>("expected");
        // The second camera's quarter of an hour is not set: its photo stands after IMG_4.
        QTest::newRow("phone picked second")
            << "IMG_4.jpg" << "PXL_4b.jpg" << "Pixel 7" << qint64(-3600)
            << QStringList{"IMG_1.jpg", "PXL_2.jpg", "IMG_4.jpg", "PXL_4b.jpg", "DSC_3.jpg", "PXL_5.jpg", "IMG_6.jpg"};
        // Or, on the phone's clock, before all.
        QTest::newRow("camera picked second")
            << "PXL_4b.jpg" << "IMG_4.jpg" << "Canon EOS R6" << qint64(3600)
            << QStringList{"DSC_3.jpg", "IMG_1.jpg", "PXL_2.jpg", "IMG_4.jpg", "PXL_4b.jpg", "PXL_5.jpg", "IMG_6.jpg"};
    }
    void sameMomentFromTwoPicked()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, device);
        QFETCH(qint64, offset);
        QFETCH(QStringList, expected);
        frmmain w;
        w.imageerw = QStringLiteral("jpg");
        QVERIFY(openView(w, m_dir->path()));
        pick(w, "IMG_1.jpg", false);
        QVERIFY(!w.mnuSameMoment->isEnabled());
        pick(w, "IMG_4.jpg", true);
        QVERIFY(!w.mnuSameMoment->isEnabled()); // one device
        pick(w, "PXL_2.jpg", true);
        QVERIFY(!w.mnuSameMoment->isEnabled()); // three
        pick(w, first, false);
        pick(w, second, true);
        QVERIFY(w.mnuSameMoment->isEnabled());
        w.mnuSameMoment->trigger();
        QCOMPARE(shownNames(w), expected);
        QCOMPARE(w.mnuUndoOrder->text(), "&Rückgängig: Nach Aufnahmezeit ordnen");
        w.waitForKeptOrder();
        const ordering::ClockOffsets kept = ordering::OrderStore(renaming::defaultStateFolder()).loadClocks(m_folder).offsets;
        QCOMPARE(kept.size(), 1);
        QVERIFY2(kept.firstKey().contains(device), qPrintable(kept.firstKey()));
        QCOMPARE(kept.first(), offset);
        w.mnuUndoOrder->trigger();
        QCOMPARE(shownNames(w), kByName);
    }

    // The offsets of one folder are not those of the next one shown, whose devices are the same.
    void offsetsBelongToTheirFolder()
    {
        const ordering::OrderStore store(renaming::defaultStateFolder());
        const QString phone = imaging::deviceOf(QStringLiteral("Google"), QStringLiteral("Pixel 7"), {})->key;
        QVERIFY(store.writeClocks(m_folder, {{phone, -3600}}));
        QTemporaryDir other;
        for (const QString& name : QDir(m_dir->path()).entryList(QDir::Files))
            QVERIFY(QFile::copy(m_dir->filePath(name), other.filePath(name)));
        frmmain w;
        w.imageerw = QStringLiteral("jpg");
        QVERIFY(openView(w, m_dir->path()));
        w.mnuOrderByTime->trigger();
        QCOMPARE(shownNames(w).first(3), (QStringList{"IMG_1.jpg", "PXL_2.jpg", "IMG_4.jpg"}));
        QVERIFY(build(w, other.path()));
        w.mnuOrderByTime->trigger();
        QCOMPARE(shownNames(w).first(3), (QStringList{"IMG_1.jpg", "IMG_4.jpg", "DSC_3.jpg"}));
    }

    // A kept-offsets file that is not whole is set aside without a word: the clocks read as
    // they are.
    void damagedOffsetsSetAside()
    {
        const ordering::OrderStore store(renaming::defaultStateFolder());
        QVERIFY(store.writeClocks(m_folder, {{QStringLiteral("x"), 60}}));
        const QByteArray path = store.clocksPathFor(m_folder);
        writeFile(QFile::decodeName(path), "Tessaline clock offsets 1\nfolder /elsewhere/\nend 0 00\n");
        frmmain w;
        w.imageerw = QStringLiteral("jpg");
        QVERIFY(openView(w, m_dir->path()));
        w.mnuOrderByTime->trigger();
        QCOMPARE(shownNames(w), (QStringList{"IMG_1.jpg", "IMG_4.jpg", "DSC_3.jpg", "IMG_6.jpg", "PXL_2.jpg",
                                             "PXL_4b.jpg", "PXL_5.jpg"}));
        QVERIFY(QFile::exists(QFile::decodeName(path + ".damaged")));
        QVERIFY(!QFile::exists(QFile::decodeName(path)));
        QVERIFY(w.sbrStatus->currentMessage().isEmpty());
    }

private:
    std::unique_ptr<QTemporaryDir> m_state;
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_folder;
};

QTEST_MAIN(TestClockAlign)
#include "tst_clockalign.moc"
