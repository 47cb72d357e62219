#include "platform/CommandLine.h"

#include <QProcess>
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

    // What the program itself prints, where, and its exit status, as a terminal sees them: in
    // German like the window, and never a window for a refused argument.
    void program_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString usage = QStringLiteral(
            "Aufruf: tessaline [ORDNER]\n"
            "Bringt die Bilder eines Ordners von Hand in eine Reihenfolge und benennt sie so um,\n"
            "dass ihre Namen diese Reihenfolge tragen.\n"
            "\n"
            "  ORDNER          diesen Ordner beim Start öffnen\n"
            "  -h, --help      diesen Text zeigen und beenden\n"
            "  -v, --version   die Version zeigen und beenden\n"
            "  --              was folgt, ist der Ordner, auch wenn es mit - beginnt\n");
        const QString hint = QStringLiteral("\"tessaline --help\" zeigt, wie Tessaline aufgerufen wird.\n");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << usage << QString();
        QTest::newRow("-h, before a bad option") << QStringList{"-h", "--frobnicate"} << 0 << usage << QString();
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "Tessaline 0.75.0\n" << QString();
        QTest::newRow("-v") << QStringList{"-v"} << 0 << "Tessaline 0.75.0\n" << QString();
        QTest::newRow("a file") << QStringList{"/etc/hostname"} << 2 << QString()
                                << "tessaline: \"/etc/hostname\" ist kein Ordner\n" + hint;
        QTest::newRow("a name that is not there") << QStringList{"/nicht/da"} << 2 << QString()
                                                  << "tessaline: \"/nicht/da\" ist kein Ordner\n" + hint;
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << QString()
                                        << "tessaline: unbekannte Option \"--frobnicate\"\n" + hint;
        QTest::newRow("a control character shown as such")
            << QStringList{"--a\u001b[2Jb"} << 2 << QString()
            << "tessaline: unbekannte Option \"--a\\u001B[2Jb\"\n" + hint;
        QTest::newRow("two folders") << QStringList{"/", "/tmp"} << 2 << QString()
                                     << "tessaline: es kann nur ein Ordner geöffnet werden\n" + hint;
    }
    void program()
    {
        QFETCH(QStringList, args);
        QProcess tessaline;
        tessaline.start(QStringLiteral(TESSALINE_PROGRAM), args);
        QVERIFY(tessaline.waitForFinished(30000));
        QCOMPARE(tessaline.exitStatus(), QProcess::NormalExit);
        QTEST(tessaline.exitCode(), "status");
        QTEST(QString::fromUtf8(tessaline.readAllStandardOutput()), "out");
        QTEST(QString::fromUtf8(tessaline.readAllStandardError()), "err");
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
