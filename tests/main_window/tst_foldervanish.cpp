#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/FileNames.h"
#include "platform/FolderList.h"

#include "ScriptedDialogs.h"
#include "TestFiles.h"

#include <QApplication>
#include <QMenu>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>
#include <sys/stat.h>

namespace {

enum class Notice { Watch, Rebuild, Menu };

QString gone(const QString& folder)
{
    return QStringLiteral("Der Ordner \"%1\" ist nicht mehr vorhanden.").arg(folder);
}

// The files the view shows, by full path.
QStringList shownFiles(const frmmain& w)
{
    QStringList paths;
    for (qsizetype k = 0; k + 1 < w.order.size(); ++k)
        paths.append(w.picScroll->element(w.order[k]).ToolTipText());
    return paths;
}

} // namespace

class TestFolderVanish : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void shownFolderGoes_data()
    {
        QTest::addColumn<bool>("renamed");
        QTest::addColumn<Notice>("notice");
        QTest::newRow("removed, seen by the watch") << false << Notice::Watch;
        QTest::newRow("renamed, seen by the watch") << true << Notice::Watch;
        QTest::newRow("removed, seen by the options' rebuild") << false << Notice::Rebuild;
        QTest::newRow("renamed, seen when a menu opens") << true << Notice::Menu;
    }
    void shownFolderGoes()
    {
        QFETCH(bool, renamed);
        QFETCH(Notice, notice);
        QTemporaryDir root;
        const QString parent = root.path() + QStringLiteral("/p");
        const QString shown = parent + QStringLiteral("/shown");
        QVERIFY(QDir().mkpath(shown));
        touch(platform::encodeName(shown) + "/a.jpg");
        touch(platform::encodeName(parent) + "/b.jpg");
        ScriptedDialogs dialogs;
        frmmain w;
        w.show();
        QSignalSpy built(&w, &frmmain::viewBuilt);
        w.openFolder(shown);
        QVERIFY(built.wait());
        built.clear();

        if (renamed)
            QVERIFY(QDir().rename(shown, parent + QStringLiteral("/umbenannt")));
        else
            QVERIFY(QDir(shown).removeRecursively());
        if (notice == Notice::Rebuild)
            w.makeview();
        else if (notice == Notice::Menu)
            emit w.mnuFile->aboutToShow();
        if (notice != Notice::Watch)
            QCOMPARE(dialogs.messages.size(), 1); // at once, not by the watch

        QTRY_COMPARE(dialogs.messageTexts(), QStringList{gone(shown)});
        QCOMPARE(w.DirSelect->Path(), parent);
        QTRY_COMPARE(built.size(), 1);
        QCOMPARE(shownFiles(w), QStringList{parent + QStringLiteral("/b.jpg")});
        // Later looks find nothing more to say.
        emit w.mnuHelp->aboutToShow();
        QVERIFY(w.DirSelect->checkPresent());
        QCOMPARE(dialogs.messages.size(), 1);
    }

    void cardPulledWhileShown()
    {
        QTemporaryDir root;
        const QByteArray mnt = platform::encodeName(root.path()) + "/mnt";
        const QByteArray card = mnt + "/karte";
        QVERIFY(QDir().mkpath(platform::decodeName(card)));
        ScriptedDialogs dialogs;
        frmmain w;
        w.show();
        if (::mount("none", card.constData(), "tmpfs", 0, nullptr) != 0)
            QSKIP("mounting needs root");
        const auto unmount = qScopeGuard([&] { ::umount2(card.constData(), MNT_DETACH); });
        QTRY_VERIFY_WITH_TIMEOUT(w.DrvSelect->findData(card) >= 0, 3000);

        QVERIFY(::mkdir(QByteArray(card + "/DCIM").constData(), 0755) == 0);
        touch(card + "/DCIM/a.jpg");
        QSignalSpy built(&w, &frmmain::viewBuilt);
        w.openFolder(platform::decodeName(QByteArray(card + "/DCIM")));
        QVERIFY(built.wait());
        QCOMPARE(w.DrvSelect->Drive(), card);

        QVERIFY(::umount(card.constData()) == 0);
        QTRY_COMPARE(dialogs.messageTexts(), QStringList{gone(platform::decodeName(QByteArray(card + "/DCIM")))});
        // Not the empty mount point the card leaves behind.
        QCOMPARE(w.DirSelect->nativePath(), mnt);
        QTRY_COMPARE(built.size(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(w.DrvSelect->findData(card) < 0, 3000);
        QCOMPARE(dialogs.messages.size(), 1);
    }
};

QTEST_MAIN(TestFolderVanish)
#include "tst_foldervanish.moc"
