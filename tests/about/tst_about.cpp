#include "about/SysInfo.h"
#include "about/frmAbout.h"
#include "platform/Programs.h"
#include "platform/Registry.h"

#include "ScriptedDialogs.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using platform::Registry;

namespace {

// The two registry entries that name the system information program.
QString pathEntry(const QString& data)
{
    return u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n\"PATH\"=" + data + u'\n';
}

QString folderEntry(const QString& folder)
{
    return u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\n\"MSINFO\"=\"" + folder +
           u"\"\n";
}

void writeFile(const QString& path, const QByteArray& content, bool executable = true)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner);
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT
private slots:
    void getKeyValue_data()
    {
        QTest::addColumn<QString>("value"); // a line under [HKEY_LOCAL_MACHINE\SOFTWARE\Test]
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("keyVal"); // KeyVal starts as "vorher"
        QTest::newRow("string loses its terminating zero")
            << "\"V\"=\"/usr/bin/hardinfo\"" << true << "/usr/bin/hardinfo";
        QTest::newRow("string without terminator keeps all") << "\"V\"=hex(1):61,62,63" << true << "abc";
        QTest::newRow("only one zero goes")
            << "\"V\"=hex(1):61,62,00,00" << true << QString(u"ab" + QChar(0));
        QTest::newRow("escapes and umlaut")
            << "\"V\"=\"C:\\\\Prüfung\\\\\\\"x\\\"\"" << true << "C:\\Prüfung\\\"x\"";
        QTest::newRow("dword as decimal") << "\"V\"=dword:ffffffff" << true << "4294967295";
        QTest::newRow("other type leaves KeyVal") << "\"V\"=hex:61,62" << true << "vorher";
        QTest::newRow("1024 bytes fit")
            << QString(u"\"V\"=\"" + QString(1023, u'a') + u'"') << true << QString(1023, u'a');
        QTest::newRow("1025 bytes do not")
            << QString(u"\"V\"=\"" + QString(1024, u'a') + u'"') << false << "";
        QTest::newRow("broken lines are skipped") << "\"V\"=\"x\n\"V\"=hex:zz\n; \"V\"=\"y\"" << false << "";
    }
    void getKeyValue()
    {
        QFETCH(QString, value);
        const Registry registry = Registry::fromText(QString(
            u"Windows Registry Editor Version 5.00\r\n\r\n[hkey_local_machine\\software\\test]\r\n" + value));
        const QString key = QStringLiteral("SOFTWARE\\Test"), name = QStringLiteral("V");
        QString keyVal = QStringLiteral("vorher");
        QTEST(platform::GetKeyValue(registry, platform::RegistryRoot::LocalMachine, key, name, keyVal),
              "read");
        QTEST(keyVal, "keyVal");
        QVERIFY(!platform::GetKeyValue(registry, platform::RegistryRoot::CurrentUser, key, name, keyVal));
    }

    // The first system configuration folder with a file wins and the user's own folder never
    // counts; without a file the first installed program of the built-in list is named.
    void systemRegistry_data()
    {
        QTest::addColumn<QStringList>("files"); // folders with a file naming "/<folder>"
        QTest::addColumn<QStringList>("programs");
        QTest::addColumn<QString>("path"); // %BIN%: the folder of the programs
        QTest::newRow("first folder wins")
            << QStringList{"first", "second"} << QStringList{"hardinfo"} << "/first";
        QTest::newRow("user's file does not count") << QStringList{"home"} << QStringList{} << "";
        QTest::newRow("built-in, earliest in its list")
            << QStringList{} << QStringList{"lshw-gtk", "gnome-system-monitor", "kinfocenter"}
            << "%BIN%/kinfocenter";
    }
    void systemRegistry()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, programs);
        QFETCH(QString, path);
        QTemporaryDir dir;
        const QString bin = dir.filePath(QStringLiteral("bin"));
        QDir().mkpath(bin);
        for (const QString& program : programs)
            writeFile(bin + u'/' + program, "#!/bin/sh\n");
        for (const QString& folder : files)
            writeFile(dir.filePath(folder + u"/tessaline/registry.reg"),
                      pathEntry(u"\"/" + folder + u'"').toUtf8());

        const char* names[] = {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "PATH"};
        const QString values[] = {
            dir.filePath(QStringLiteral("home")),
            dir.filePath(QStringLiteral("first")) + u':' + dir.filePath(QStringLiteral("second")), bin};
        QByteArray saved[3];
        for (int i = 0; i < 3; ++i) {
            saved[i] = qgetenv(names[i]);
            qputenv(names[i], values[i].toLocal8Bit());
        }
        const auto restore = qScopeGuard([&] {
            for (int i = 0; i < 3; ++i)
                qputenv(names[i], saved[i]);
        });
        QCOMPARE(about::sysInfoProgram(Registry::system()).value_or(QString()),
                 path.replace(QStringLiteral("%BIN%"), bin));
    }

    void startingPrograms_data()
    {
        QTest::addColumn<QString>("path"); // %DIR% holds "tool" and the not executable "plain"
        QTest::addColumn<bool>("started");
        QTest::newRow("program") << "%DIR%/tool" << true;
        QTest::newRow("not executable") << "%DIR%/plain" << false;
        QTest::newRow("cut short by a NUL") << QString(u"%DIR%/tool" + QChar(0) + u'x') << false;
    }
    void startingPrograms()
    {
        QFETCH(QString, path);
        QFETCH(bool, started);
        QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/with blank XXXXXX"));
        writeFile(dir.filePath(QStringLiteral("tool")), "#!/bin/sh\ntouch \"$(dirname \"$0\")/ran\"\n");
        writeFile(dir.filePath(QStringLiteral("plain")), "#!/bin/sh\n", false);
        QCOMPARE(platform::startProgram(path.replace(QStringLiteral("%DIR%"), dir.path())), started);
        if (started)
            QTRY_VERIFY(QFile::exists(dir.filePath(QStringLiteral("ran"))));
    }

    // %DIR% is a folder that holds MSINFO32.EXE, %EMPTY% one where that name is a folder.
    void systemInformation_data()
    {
        QTest::addColumn<QString>("registry");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QStringList>("started");
        QTest::addColumn<bool>("message");
        const QString folder = folderEntry(QStringLiteral("%DIR%"));
        QTest::newRow("PATH wins over the folder") << pathEntry(QStringLiteral("\"/gone/hardinfo\"")) + folder
                                                   << false << QStringList{"/gone/hardinfo"} << true;
        QTest::newRow("folder holding the program")
            << folder << true << QStringList{"%DIR%/MSINFO32.EXE"} << false;
        QTest::newRow("folder without the program")
            << folderEntry(QStringLiteral("%EMPTY%")) << true << QStringList{} << true;
        QTest::newRow("PATH of another type: empty path")
            << pathEntry(QStringLiteral("hex:2f,62,69,6e")) + folder << false << QStringList{""} << true;
        QTest::newRow("nothing configured") << QString() << true << QStringList{} << true;
    }
    void systemInformation()
    {
        QFETCH(QString, registry);
        QFETCH(bool, starts);
        QFETCH(QStringList, started);
        QFETCH(bool, message);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("with/MSINFO32.EXE")), "#!/bin/sh\n");
        QDir().mkpath(dir.filePath(QStringLiteral("without/MSINFO32.EXE")));
        const auto place = [&](QString text) {
            return text.replace(QStringLiteral("%DIR%"), dir.filePath(QStringLiteral("with")))
                .replace(QStringLiteral("%EMPTY%"), dir.filePath(QStringLiteral("without")));
        };

        ScriptedDialogs answers;
        QStringList startedPrograms;
        frmAbout dialog(nullptr, Registry::fromText(place(registry)), [&](const QString& path) {
            startedPrograms.append(path);
            return starts;
        });
        dialog.show();
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("cmdSysInfo")), Qt::LeftButton);
        for (QString& path : started)
            path = place(path);
        QCOMPARE(startedPrograms, started);
        QCOMPARE(answers.messageTexts(),
                 message ? QStringList{QStringLiteral("Systeminformationen sind momentan nicht verfügbar")}
                         : QStringList());
        QVERIFY(dialog.isVisible());
    }

    void closingKeys()
    {
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
            ScriptedDialogs answers; // a system information message would otherwise wait for a click
            frmAbout dialog(nullptr, Registry(), [](const QString&) { return false; });
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Info zu Tessaline"));
            QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(),
                     QStringLiteral("Version 0.75.0"));
            dialog.show();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            QTest::keyClick(QApplication::focusWidget(), key);
            QTRY_VERIFY2(!dialog.isVisible(), qPrintable(QString::number(key, 16)));
        }
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
