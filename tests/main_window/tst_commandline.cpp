#include "main_window/CommandLine.h"

#include <QTemporaryDir>
#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void accepted_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<CommandLine::Action>("action");
        QTest::addColumn<QString>("folder");
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("--help")));
        const QString dir = m_dir.path();
        const QString dashed = dir + QStringLiteral("/--help");
        QTest::newRow("help") << QStringList{"--help"} << CommandLine::Action::Help << QString();
        QTest::newRow("version") << QStringList{"--version"} << CommandLine::Action::Version << QString();
        QTest::newRow("folder") << QStringList{dir} << CommandLine::Action::Run << dir;
        QTest::newRow("toolkit options left alone")
            << QStringList{"-platform", "offscreen", dir, "-reverse"} << CommandLine::Action::Run << dir;
        QTest::newRow("folder named like an option after --")
            << QStringList{"--", dashed} << CommandLine::Action::Run << dashed;
    }
    void accepted()
    {
        QFETCH(QStringList, args);
        QFETCH(CommandLine::Action, action);
        QFETCH(QString, folder);
        const CommandLine c = parseCommandLine(args);
        QCOMPARE(c.action, action);
        QCOMPARE(c.folder, folder);
        if (action == CommandLine::Action::Version)
            QCOMPARE(c.message, QStringLiteral("Tessaline 0.75.0\n"));
    }

    void errors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("a file") << QStringList{"/etc/hostname"} << "is not a folder";
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "unknown option";
        QTest::newRow("two folders") << QStringList{"/", "/tmp"} << "only one";
    }
    void errors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, mentions);
        const CommandLine c = parseCommandLine(args);
        QCOMPARE(c.action, CommandLine::Action::Error);
        QVERIFY2(c.message.contains(mentions), qPrintable(c.message));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
