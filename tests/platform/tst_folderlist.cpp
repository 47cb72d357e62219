#include "platform/DirListing.h"
#include "platform/FileNames.h"
#include "platform/FolderList.h"

#include "ScriptedDialogs.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray native(const QTemporaryDir& dir)
{
    return platform::encodeName(dir.path());
}

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
    QTreeWidgetItem* folderItem() const
    {
        QTreeWidgetItem* item = box.topLevelItem(0);
        while (item && item->data(0, Qt::UserRole).toByteArray() != box.nativePath())
            item = item->child(0);
        return item;
    }
    QByteArray highlighted() const
    {
        return box.currentItem() ? box.currentItem()->data(0, Qt::UserRole).toByteArray() : QByteArray();
    }
    // The icon and the start of the name are inside the list's visible area.
    bool inView(const QTreeWidgetItem* item) const
    {
        const QRect r = box.visualItemRect(item);
        const QRect shown = box.viewport()->rect();
        const int start = std::min(box.sizeHintForIndex(box.indexFromItem(item)).width(), 60);
        return r.height() > 0 && shown.contains(QRect(r.left(), r.top(), start, r.height()));
    }
    platform::DirListBox box;
};

class FakeVolumes final : public platform::VolumeSource
{
public:
    QList<platform::Volume> volumes() override { return list; }
    QList<platform::Volume> list;
};

QStringList shownVolumes(const platform::DriveListBox& box)
{
    QStringList roots;
    for (int i = 0; i < box.count(); ++i)
        roots.append(QString::fromUtf8(box.itemData(i).toByteArray()));
    return roots;
}

} // namespace

class TestFolderList : public QObject
{
    Q_OBJECT
private slots:
    void deepFolderStaysInViewAndOpensByKeys_data()
    {
        QTest::addColumn<int>("nameLength");
        QTest::addColumn<int>("pathLength");
        QTest::newRow("12 levels") << 8 << 0;
        QTest::newRow("3,800 bytes") << 150 << 3800;
    }
    void deepFolderStaysInViewAndOpensByKeys()
    {
        QFETCH(int, nameLength);
        QFETCH(int, pathLength);
        QTemporaryDir dir;
        QByteArray deep = native(dir);
        for (int level = 1; level <= 12 || deep.size() < pathLength; ++level) {
            deep += '/' + QByteArray::number(level).rightJustified(nameLength, 'd');
            makeFolder(deep);
        }
        makeFolder(deep + "/erste");
        makeFolder(deep + "/zweite");

        Column c;
        QVERIFY(c.box.setNativePath(deep));
        QTreeWidgetItem* folder = c.folderItem();
        QVERIFY(folder);
        QCOMPARE(c.highlighted(), deep);
        QVERIFY(c.inView(folder));
        QVERIFY(c.inView(folder->child(0)));

        // Up and Down step to the neighbours only, and each stays in view.
        QTest::keyClick(&c.box, Qt::Key_Up);
        QCOMPARE(c.highlighted(), platform::parentFolder(deep));
        QVERIFY(c.inView(c.box.currentItem()));
        QTest::keyClick(&c.box, Qt::Key_Down);
        QTest::keyClick(&c.box, Qt::Key_Down);
        QTest::keyClick(&c.box, Qt::Key_Down);
        QCOMPARE(c.highlighted(), deep + "/zweite");
        QTest::keyClick(&c.box, Qt::Key_Down); // the last entry: nowhere further to go
        QCOMPARE(c.highlighted(), deep + "/zweite");
        QVERIFY(c.inView(c.box.currentItem()));
        QTest::keyClick(&c.box, Qt::Key_Home);
        QCOMPARE(c.highlighted(), QByteArray("/"));
        QTest::keyClick(&c.box, Qt::Key_End);
        QCOMPARE(c.highlighted(), deep + "/zweite");
        QTest::keyClick(&c.box, Qt::Key_PageUp);
        QVERIFY(c.inView(c.box.currentItem()));
        QTest::keyClick(&c.box, Qt::Key_PageDown);
        QTest::keyClick(&c.box, Qt::Key_PageDown);
        QCOMPARE(c.highlighted(), deep + "/zweite");
        QTest::keyClick(&c.box, Qt::Key_Up);
        QTest::keyClick(&c.box, Qt::Key_Return);
        QCOMPARE(c.box.nativePath(), deep + "/erste");
        QVERIFY(c.inView(c.folderItem()));
    }

    void loopingLinkIsWalkedUntilTheSystemsLimit()
    {
        QTemporaryDir dir;
        const QByteArray t4 = native(dir) + "/t4";
        makeFolder(t4);
        makeFolder(t4 + "/a");
        QVERIFY(::symlink("..", QByteArray(t4 + "/a/b").constData()) == 0);
        QVERIFY(::symlink("a/b", QByteArray(t4 + "/loop2").constData()) == 0);
        ScriptedDialogs dialogs;
        Column c;
        QVERIFY(c.box.setNativePath(t4));
        QSignalSpy changes(&c.box, &platform::DirListBox::Change);

        // Down highlights the first subfolder (a, then b, ...), Enter opens exactly that one.
        int opened = 0;
        while (dialogs.messages.isEmpty() && opened < 200) {
            const QByteArray before = c.box.nativePath();
            const QByteArray next = before + (opened % 2 == 0 ? "/a" : "/b");
            QTest::keyClick(&c.box, Qt::Key_Down);
            QCOMPARE(c.highlighted(), next);
            QVERIFY(c.inView(c.box.currentItem()));
            QTest::keyClick(&c.box, Qt::Key_Return);
            if (dialogs.messages.isEmpty()) {
                QCOMPARE(c.box.nativePath(), next);
                ++opened;
            } else {
                QCOMPARE(c.box.nativePath(), before);
            }
        }
        // 40 links in one path are the most Linux follows: the 41st b is refused.
        QCOMPARE(opened, 81);
        QCOMPARE(changes.size(), 81);
        QCOMPARE(dialogs.messages.size(), 1);
        const QString text = dialogs.messages[0].text;
        QVERIFY2(text.startsWith(QStringLiteral("Der Ordner \"")) && text.contains(QStringLiteral("/a/b\"")), qPrintable(text));
        QVERIFY2(text.endsWith(platform::errorText(ELOOP)), qPrintable(text));
        QCOMPARE(c.highlighted(), c.box.nativePath() + "/b");
    }

    void pathTooLongForTheSystemIsReported()
    {
        QTemporaryDir dir;
        QByteArray deep = native(dir);
        while (deep.size() < 3900) {
            deep += '/' + QByteArray(200, 'e');
            makeFolder(deep);
        }
        const int fd = ::open(deep.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QVERIFY(::mkdirat(fd, QByteArray(250, 'z').constData(), 0755) == 0);

        ScriptedDialogs dialogs;
        Column c;
        QVERIFY(c.box.setNativePath(deep));
        QTest::keyClick(&c.box, Qt::Key_Down);
        QTest::keyClick(&c.box, Qt::Key_Return);
        QCOMPARE(c.box.nativePath(), deep);
        QCOMPARE(dialogs.messages.size(), 1);
        const QString text = dialogs.messages[0].text;
        QVERIFY2(text.contains(QString(250, QLatin1Char('z'))), qPrintable(text));
        QVERIFY2(text.endsWith(platform::errorText(ENAMETOOLONG)), qPrintable(text));
        ::unlinkat(fd, QByteArray(250, 'z').constData(), AT_REMOVEDIR); // out of the temporary folder's reach
        ::close(fd);
    }

    void vanishedFolderDoubleClicked_data()
    {
        QTest::addColumn<QByteArray>("removed");
        QTest::addColumn<QByteArray>("named");
        QTest::addColumn<QByteArray>("shownAfter");
        QTest::newRow("its subfolder") << QByteArray("/p/shown/sub") << QByteArray("/p/shown/sub") << QByteArray("/p/shown");
        QTest::newRow("the shown folder") << QByteArray("/p/shown") << QByteArray("/p/shown") << QByteArray("/p");
    }
    void vanishedFolderDoubleClicked()
    {
        QFETCH(QByteArray, removed);
        QFETCH(QByteArray, named);
        QFETCH(QByteArray, shownAfter);
        QTemporaryDir dir;
        const QByteArray root = native(dir);
        QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/p/shown/sub")));
        ScriptedDialogs dialogs;
        Column c;
        QVERIFY(c.box.setNativePath(root + "/p/shown"));
        QTreeWidgetItem* sub = c.folderItem()->child(0);
        const QRect r = c.box.visualItemRect(sub);
        const QPoint onName(r.left() + 24, r.center().y());

        // Gone before the watch has told the list.
        QVERIFY(QDir(platform::decodeName(QByteArray(root + removed))).removeRecursively());
        QTest::mouseClick(c.box.viewport(), Qt::LeftButton, {}, onName);
        QTest::mouseDClick(c.box.viewport(), Qt::LeftButton, {}, onName);
        QCOMPARE(dialogs.messageTexts(),
                 QStringList{QStringLiteral("Der Ordner \"%1\" ist nicht mehr vorhanden.").arg(platform::decodeName(QByteArray(root + named)))});
        QCOMPARE(c.box.nativePath(), root + shownAfter);
        QCOMPARE(c.folderItem()->childCount(), 0);
        QVERIFY(c.box.checkPresent()); // what the watch's late news leads to: no second message
        QCOMPARE(dialogs.messages.size(), 1);
    }

    void volumeListFollowsMountsAndUnmounts()
    {
        FakeVolumes table;
        table.list = {{"/", QStringLiteral("/")}, {"/home", QStringLiteral("/home")}};
        platform::DriveListBox box;
        box.setVolumeSource(&table);
        QSignalSpy read(&box, &platform::DriveListBox::volumesRead);
        QSignalSpy chosen(&box, &platform::DriveListBox::Change);
        box.showDriveOf("/home/anna");
        QCOMPARE(shownVolumes(box), (QStringList{"/", "/home"}));

        table.list.append({"/media/anna/KARTE", QStringLiteral("/media/anna/KARTE")});
        emit table.changed();
        QCOMPARE(shownVolumes(box), (QStringList{"/", "/home", "/media/anna/KARTE"}));
        QCOMPARE(box.Drive(), QByteArray("/home"));
        table.list.removeAt(2);
        emit table.changed();
        QCOMPARE(shownVolumes(box), (QStringList{"/", "/home"}));
        QCOMPARE(read.size(), 2);
        QCOMPARE(chosen.size(), 0); // the user's choice stays; nothing is chosen for them
    }

    void systemVolumesSeeAMountAtOnce()
    {
        QTemporaryDir dir;
        const QByteArray card = native(dir) + "/karte";
        makeFolder(card);
        platform::SystemVolumes system;
        QSignalSpy changed(&system, &platform::VolumeSource::changed);
        if (::mount("none", card.constData(), "tmpfs", 0, nullptr) != 0)
            QSKIP("mounting needs root");
        const auto listed = [&] {
            const QList<platform::Volume> volumes = system.volumes();
            return std::any_of(volumes.cbegin(), volumes.cend(), [&](const platform::Volume& v) { return v.rootPath == card; });
        };
        QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), 3000);
        QVERIFY(listed());
        changed.clear();
        QVERIFY(::umount(card.constData()) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), 3000);
        QVERIFY(!listed());
    }

    void filesystemsThatHoldFiles_data()
    {
        QTest::addColumn<QByteArray>("root");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<bool>("offered");
        QTest::newRow("root") << QByteArray("/") << QByteArray("ext4") << true;
        QTest::newRow("card") << QByteArray("/media/anna/KARTE") << QByteArray("vfat") << true;
        QTest::newRow("card under /run/media") << QByteArray("/run/media/anna/KARTE") << QByteArray("exfat") << true;
        QTest::newRow("RAM disk") << QByteArray("/mnt/ram") << QByteArray("tmpfs") << true;
        QTest::newRow("user's run-time folder") << QByteArray("/run/user/1000") << QByteArray("tmpfs") << false;
        QTest::newRow("shared memory") << QByteArray("/dev/shm") << QByteArray("tmpfs") << false;
        QTest::newRow("snap") << QByteArray("/snap/core/1") << QByteArray("squashfs") << false;
        QTest::newRow("automount point") << QByteArray("/net") << QByteArray("autofs") << false;
    }
    void filesystemsThatHoldFiles()
    {
        QFETCH(QByteArray, root);
        QFETCH(QByteArray, type);
        QFETCH(bool, offered);
        QCOMPARE(platform::holdsUserFiles(root, type), offered);
    }
};

QTEST_MAIN(TestFolderList)
#include "tst_folderlist.moc"
