#include "about/SysInfo.h"
#include "about/frmAbout.h"
#include "platform/Programs.h"
#include "platform/Registry.h"

#include "ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using platform::GetKeyValue;
using platform::Registry;
using platform::RegistryRoot;

namespace {

const QString NotAvailable = QStringLiteral("Systeminformationen sind momentan nicht verfügbar");

// The two registry entries that name the system information program.
QString pathEntry(const QString& data)
{
    return QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n\"PATH\"=") +
           data + u'\n';
}

QString folderEntry(const QString& folder)
{
    return QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\n\"MSINFO\"=\"") +
           folder + QStringLiteral("\"\n");
}

void writeFile(const QString& path, const QByteArray& content, bool executable = true)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
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
        QTest::addColumn<QString>("values"); // lines under [HKEY_LOCAL_MACHINE\SOFTWARE\Test]
        QTest::addColumn<QString>("valueName");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("keyVal"); // KeyVal starts as "vorher"

        QTest::newRow("string loses its terminating zero") << "\"V\"=\"/usr/bin/hardinfo\""
                                                           << "V" << true << "/usr/bin/hardinfo";
        QTest::newRow("string without terminator keeps all") << "\"V\"=hex(1):61,62,63"
                                                             << "V" << true << "abc";
        QTest::newRow("only one zero goes") << "\"V\"=hex(1):61,62,00,00"
                                            << "V" << true << QString(QStringLiteral("ab") + QChar(0));
        QTest::newRow("escapes and umlaut") << "\"V\"=\"C:\\\\Prüfung\\\\\\\"x\\\"\""
                                            << "V" << true << "C:\\Prüfung\\\"x\"";
        QTest::newRow("dword as decimal") << "\"V\"=dword:ffffffff"
                                          << "V" << true << "4294967295";
        QTest::newRow("other type leaves KeyVal") << "\"V\"=hex:61,62"
                                                  << "V" << true << "vorher";
        QTest::newRow("1024 bytes fit")
            << QString(u"\"V\"=\"" + QString(1023, u'a') + u"\"") << "V" << true << QString(1023, u'a');
        QTest::newRow("1025 bytes do not")
            << QString(u"\"V\"=\"" + QString(1024, u'a') + u"\"") << "V" << false << "";
        QTest::newRow("broken lines are skipped") << "\"V\"=\"x\n\"V\"=hex:zz\n; \"V\"=\"y\""
                                                  << "V" << false << "";
    }
    void getKeyValue()
    {
        QFETCH(QString, values);
        QFETCH(QString, valueName);
        QFETCH(bool, read);
        QFETCH(QString, keyVal);

        const Registry registry = Registry::fromText(
            QString(u"Windows Registry Editor Version 5.00\r\n\r\n[hkey_local_machine\\software\\test]\r\n" +
                    values));
        QString value = QStringLiteral("vorher");
        QCOMPARE(GetKeyValue(registry, RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Test"),
                             valueName, value),
                 read);
        QCOMPARE(value, keyVal);
        QVERIFY(!GetKeyValue(registry, RegistryRoot::CurrentUser, QStringLiteral("SOFTWARE\\Test"), valueName,
                             value));
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
            writeFile(dir.filePath(folder + QStringLiteral("/tessaline/registry.reg")),
                      pathEntry(u"\"/" + folder + u'"').toUtf8(), false);

        const QByteArray environment[] = {qgetenv("XDG_CONFIG_HOME"), qgetenv("XDG_CONFIG_DIRS"),
                                          qgetenv("PATH")};
        const auto restore = qScopeGuard([&] {
            qputenv("XDG_CONFIG_HOME", environment[0]);
            qputenv("XDG_CONFIG_DIRS", environment[1]);
            qputenv("PATH", environment[2]);
        });
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("home")).toLocal8Bit());
        qputenv("XDG_CONFIG_DIRS",
                (dir.filePath(QStringLiteral("first")) + u':' + dir.filePath(QStringLiteral("second")))
                    .toLocal8Bit());
        qputenv("PATH", bin.toLocal8Bit());
        QCOMPARE(about::sysInfoProgram(Registry::system()).value_or(QString()),
                 QString(path).replace(QStringLiteral("%BIN%"), bin));
    }

    void startingPrograms_data()
    {
        QTest::addColumn<QString>("path"); // %DIR% holds "tool" and the not executable "plain"
        QTest::addColumn<bool>("started");
        QTest::newRow("program") << "%DIR%/tool" << true;
        QTest::newRow("not executable") << "%DIR%/plain" << false;
        QTest::newRow("cut short by a NUL")
            << QString(QStringLiteral("%DIR%/tool") + QChar(0) + u'x') << false;
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

        QTest::newRow("PATH wins over the folder")
            << pathEntry(QStringLiteral("\"/gone/hardinfo\"")) + folderEntry(QStringLiteral("%DIR%")) << false
            << QStringList{"/gone/hardinfo"} << true;
        QTest::newRow("folder holding the program")
            << folderEntry(QStringLiteral("%DIR%")) << true << QStringList{"%DIR%/MSINFO32.EXE"} << false;
        QTest::newRow("folder without the program")
            << folderEntry(QStringLiteral("%EMPTY%")) << true << QStringList{} << true;
        QTest::newRow("PATH of another type: empty path")
            << pathEntry(QStringLiteral("hex:2f,62,69,6e")) + folderEntry(QStringLiteral("%DIR%")) << false
            << QStringList{""} << true;
        QTest::newRow("PATH too long: the folder")
            << pathEntry(u'"' + QString(1100, u'a') + u'"') + folderEntry(QStringLiteral("%DIR%")) << true
            << QStringList{"%DIR%/MSINFO32.EXE"} << false;
        QTest::newRow("nothing configured") << QString() << true << QStringList{} << true;
    }
    void systemInformation()
    {
        QFETCH(QString, registry);
        QFETCH(bool, starts);
        QFETCH(QStringList, started);
        QFETCH(bool, message);

        QTemporaryDir dir;
        const QString withProgram = dir.filePath(QStringLiteral("with"));
        const QString without = dir.filePath(QStringLiteral("without"));
        writeFile(withProgram + QStringLiteral("/MSINFO32.EXE"), "#!/bin/sh\n");
        QDir().mkpath(without + QStringLiteral("/MSINFO32.EXE"));
        const auto place = [&](QString text) {
            return text.replace(QStringLiteral("%DIR%"), withProgram)
                .replace(QStringLiteral("%EMPTY%"), without);
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
        QCOMPARE(answers.messageTexts(), message ? QStringList{NotAvailable} : QStringList());
        QVERIFY(dialog.isVisible());
    }

    void closingKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Escape") << int(Qt::Key_Escape);
        QTest::newRow("Enter") << int(Qt::Key_Return);
    }
    void closingKeys()
    {
        QFETCH(int, key);
        ScriptedDialogs answers;
        frmAbout dialog(nullptr, Registry(), [](const QString&) { return false; });
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Info zu Tessaline"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(),
                 QStringLiteral("Version 0.75.0"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(answers.messageTexts(), QStringList());
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
