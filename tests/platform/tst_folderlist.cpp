#include "platform/DirListing.h"
#include "platform/FileNames.h"
#include "platform/FolderList.h"

#include "ScriptedDialogs.h"

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void makeFolder(const QByteArray& path)
{
    QVERIFY2(::mkdir(path.constData(), 0755) == 0, path.constData());
}

// A folder list as narrow as the main window's folder column.
struct Column
{
    Column()
    {
        box.resize(132, 300);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
    }
    QByteArray highlighted() const { return box.currentItem()->data(0, Qt::UserRole).toByteArray(); }
    // The highlighted entry's icon and the start of its name are inside the visible area, and
    // so is one indentation step before it (where there is one), which shows the level above.
    bool highlightInView() const
    {
        const QRect r = box.visualItemRect(box.currentItem());
        const int start = std::min(box.sizeHintForIndex(box.currentIndex()).width(), 60);
        const int before = std::min(box.indentation(), r.left() + box.horizontalScrollBar()->value());
        return box.viewport()->rect().contains(QRect(r.left() - before, r.top(), before + start, r.height()));
    }
    void key(Qt::Key key) { QTest::keyClick(&box, key); }
    platform::DirListBox box;
};

class FakeVolumes final : public platform::VolumeSource
{
public:
    QList<platform::Volume> volumes() override { return list; }
    QList<platform::Volume> list;
};

} // namespace

class TestFolderList : public QObject
{
    Q_OBJECT
private slots:
    // Over 3,800 bytes, in levels of long names.
    void deepFolderStaysInViewAndOpensByKeys()
    {
        QTemporaryDir dir;
        QByteArray deep = platform::encodeName(dir.path());
        for (int level = 1; deep.size() < 3800; ++level) {
            deep += '/' + QByteArray::number(level).rightJustified(150, 'd');
            makeFolder(deep);
        }
        makeFolder(deep + "/erste");
        makeFolder(deep + "/zweite");
        Column c;
        QVERIFY(c.box.setNativePath(deep));
        QVERIFY(c.highlightInView());

        // Each key moves to a listed neighbour or to an end of the list, and the highlight stays in view.
        const QList<std::pair<Qt::Key, QByteArray>> steps = {
            {Qt::Key_Up, platform::parentFolder(deep)}, {Qt::Key_Down, deep},
            {Qt::Key_Down, deep + "/erste"},           {Qt::Key_Down, deep + "/zweite"},
            {Qt::Key_Down, deep + "/zweite"},          {Qt::Key_Home, "/"},
            {Qt::Key_End, deep + "/zweite"},           {Qt::Key_Up, deep + "/erste"}};
        for (const auto& [key, expected] : steps) {
            c.key(key);
            QCOMPARE(c.highlighted(), expected);
            QVERIFY(c.highlightInView());
        }
        c.key(Qt::Key_Return);
        QCOMPARE(c.box.nativePath(), deep + "/erste");
        QVERIFY(c.highlightInView());
    }

    void loopingLinkIsWalkedUntilTheSystemsLimit()
    {
        QTemporaryDir dir;
        const QByteArray t4 = platform::encodeName(dir.path()) + "/t4";
        makeFolder(t4);
        makeFolder(t4 + "/a");
        QVERIFY(::symlink("..", QByteArray(t4 + "/a/b").constData()) == 0);
        QVERIFY(::symlink("a/b", QByteArray(t4 + "/loop2").constData()) == 0);
        ScriptedDialogs dialogs;
        Column c;
        QVERIFY(c.box.setNativePath(t4));

        // Down highlights the first subfolder (a, then b, ...), Enter opens it.
        int opened = 0;
        for (; opened < 200 && dialogs.messages.isEmpty(); ++opened) {
            c.key(Qt::Key_Down);
            c.key(Qt::Key_Return);
        }
        // Linux follows at most 40 links in one path: the 41st b is refused, and the list stays.
        QCOMPARE(opened, 82);
        QCOMPARE(c.box.nativePath(), t4 + QByteArray("/a/b").repeated(40) + "/a");
        QCOMPARE(c.highlighted(), c.box.nativePath() + "/b");
        QCOMPARE(dialogs.messageTexts(), QStringList{QStringLiteral("Der Ordner \"%1\" kann nicht geöffnet werden:\n%2")
                                                         .arg(platform::pathForMessage(c.highlighted()),
                                                              platform::errorText(ELOOP))});
    }

    void vanishedFolderDoubleClicked_data()
    {
        QTest::addColumn<QByteArray>("removed");
        QTest::addColumn<QByteArray>("shownAfter");
        QTest::newRow("its subfolder") << QByteArray("/p/shown/sub") << QByteArray("/p/shown");
        QTest::newRow("the shown folder") << QByteArray("/p/shown") << QByteArray("/p");
    }
    void vanishedFolderDoubleClicked()
    {
        QFETCH(QByteArray, removed);
        QFETCH(QByteArray, shownAfter);
        QTemporaryDir dir;
        const QByteArray root = platform::encodeName(dir.path());
        QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/p/shown/sub")));
        ScriptedDialogs dialogs;
        Column c;
        QVERIFY(c.box.setNativePath(root + "/p/shown"));
        c.key(Qt::Key_Down);
        const QRect r = c.box.visualItemRect(c.box.currentItem());
        const QPoint onName(r.left() + 24, r.center().y());

        // Gone before the watch has told the list.
        QVERIFY(QDir(platform::decodeName(QByteArray(root + removed))).removeRecursively());
        QTest::mouseClick(c.box.viewport(), Qt::LeftButton, {}, onName);
        QTest::mouseDClick(c.box.viewport(), Qt::LeftButton, {}, onName);
        QCOMPARE(dialogs.messageTexts(), QStringList{QStringLiteral("Der Ordner \"%1\" ist nicht mehr vorhanden.")
                                                         .arg(platform::decodeName(QByteArray(root + removed)))});
        QCOMPARE(c.box.nativePath(), root + shownAfter);
        QCOMPARE(c.box.currentItem()->childCount(), 0);
        QVERIFY(c.box.checkPresent()); // what the watch's late news leads to: no second message
        QCOMPARE(dialogs.messages.size(), 1);
    }

    void volumeListFollowsMountsAndUnmounts()
    {
        FakeVolumes table;
        table.list = {{"/", QStringLiteral("/")}, {"/home", QStringLiteral("/home")}};
        platform::DriveListBox box;
        box.setVolumeSource(&table);
        box.showDriveOf("/home/anna");
        QSignalSpy chosen(&box, &platform::DriveListBox::Change);
        table.list.append({"/media/anna/KARTE", QStringLiteral("KARTE")});
        emit table.changed();
        QCOMPARE(box.count(), 3);
        QCOMPARE(box.itemText(2), QStringLiteral("KARTE"));
        QCOMPARE(box.Drive(), QByteArray("/home"));
        table.list.removeFirst();
        emit table.changed();
        QCOMPARE(box.count(), 2);
        QCOMPARE(box.itemText(1), QStringLiteral("KARTE"));
        QCOMPARE(box.Drive(), QByteArray("/home")); // the user's choice stays
        QCOMPARE(chosen.size(), 0);
    }
};

QTEST_MAIN(TestFolderList)
#include "tst_folderlist.moc"
