#include "main_window/CommandLine.h"

#include <QTemporaryDir>
#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void helpAndVersion()
    {
        QCOMPARE(parseCommandLine({QStringLiteral("--help")}).action, CommandLine::Action::Help);
        const CommandLine v = parseCommandLine({QStringLiteral("--version")});
        QCOMPARE(v.action, CommandLine::Action::Version);
        QCOMPARE(v.message, QStringLiteral("Tessaline 0.75.0\n"));
    }

    void folderIsTaken()
    {
        QTemporaryDir dir;
        const CommandLine c = parseCommandLine({dir.path()});
        QCOMPARE(c.action, CommandLine::Action::Run);
        QCOMPARE(c.folder, dir.path());
    }

    void toolkitOptionsAreLeftAlone()
    {
        QTemporaryDir dir;
        const CommandLine c = parseCommandLine(
            {QStringLiteral("-platform"), QStringLiteral("offscreen"), dir.path(), QStringLiteral("-reverse")});
        QCOMPARE(c.action, CommandLine::Action::Run);
        QCOMPARE(c.folder, dir.path());
    }

    void errors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("mentions");
        QTemporaryDir dir;
        QTest::newRow("missing") << QStringList{QStringLiteral("/no/such/folder")} << "is not a folder";
        QTest::newRow("a file") << QStringList{QStringLiteral("/etc/hostname")} << "is not a folder";
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--frobnicate")} << "unknown option";
        QTest::newRow("two folders") << QStringList{QStringLiteral("/"), QStringLiteral("/tmp")} << "only one";
    }
    void errors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, mentions);
        const CommandLine c = parseCommandLine(args);
        QCOMPARE(c.action, CommandLine::Action::Error);
        QVERIFY2(c.message.contains(mentions), qPrintable(c.message));
    }

    void folderNamedLikeAnOptionAfterDoubleDash()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("--help")));
        const QString path = dir.path() + QStringLiteral("/--help");
        const CommandLine c = parseCommandLine({QStringLiteral("--"), path});
        QCOMPARE(c.action, CommandLine::Action::Run);
        QCOMPARE(c.folder, path);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
