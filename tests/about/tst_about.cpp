#include "ScriptedDialogs.h"
#include "about/SysInfo.h"
#include "about/frmAbout.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using platform::GetKeyValue, platform::Registry, platform::RegistryRoot;

class TestAbout : public QObject
{
    Q_OBJECT
    const QString m_tools = QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools");
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    void put(const QString& name, const QString& content) // a program, or the text a program reads
    {
        QDir().mkpath(QFileInfo(path(name)).path());
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content.toUtf8()) >= 0 &&
                file.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    }
private slots:
    // A line under [HKEY_LOCAL_MACHINE\SOFTWARE\Test]; the value read starts as "vorher".
    void getKeyValue_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("keyVal"); // empty: not read
        QTest::newRow("no terminator") << "\"V\"=hex(1):61,62,63" << QString("abc");
        QTest::newRow("one zero goes") << "\"V\"=hex(1):61,62,00,00" << QString(u"ab" + QChar(0));
        QTest::newRow("other type") << "\"V\"=hex:61,62" << QString("vorher");
        QTest::newRow("1024 fit") << "\"V\"=\"" + QString(1023, u'a') + '"' << QString(1023, u'a');
        QTest::newRow("1025 do not") << "\"V\"=\"" + QString(1024, u'a') + '"' << "";
        QTest::newRow("broken") << "\"V\"=\"x\n\"V\"=hex:zz\n; \"V\"=\"y\"" << QString();
    }
    void getKeyValue()
    {
        QFETCH(QString, value);
        QFETCH(QString, keyVal);
        const Registry reg = Registry::fromText(value.prepend("[hkey_local_machine\\software\\test]\n"));
        QString read = QStringLiteral("vorher");
        QCOMPARE(GetKeyValue(reg, RegistryRoot::LocalMachine, "SOFTWARE\\Test", "V", read),
                 !keyVal.isEmpty());
        QCOMPARE(read, keyVal);
    }

    void startingPrograms()
    {
        put("tool", "#!/bin/sh\ntouch \"$(dirname \"$0\")/ran\"\n");
        QVERIFY(!platform::startProgram(path("tool") + QChar(0) + u'x'));
        QVERIFY(platform::startProgram(path("tool")));
        QTRY_VERIFY(QFile::exists(path("ran")));
    }

    // "with" holds MSINFO32.EXE, in "without" that name is a folder; only .EXE files start.
    void systemInformation()
    {
        put("with/MSINFO32.EXE", "");
        QDir().mkpath(path("without/MSINFO32.EXE"));
        const QString folder = m_tools + " Location]\n\"MSINFO\"=\"%1\"\n";
        ScriptedDialogs answers;
        QStringList started;
        const auto start = [&](const QString& p) { return started += p, p.endsWith(".EXE"); };
        for (const QString& registry :
             {QString(m_tools + "\\MSINFO]\n\"PATH\"=\"/gone\"\n" + folder.arg(path("with"))),
              folder.arg(path("with")), folder.arg(path("without"))}) {
            frmAbout dialog(nullptr, Registry::fromText(registry), start);
            dialog.show();
            QTest::mouseClick(dialog.findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
        }
        QCOMPARE(started, (QStringList{"/gone", path("with/MSINFO32.EXE")}));
        QCOMPARE(answers.messageTexts().size(), 2);
    }

    // Last, as it moves PATH: the user's own file never counts; the built-in list's earliest program does.
    void systemRegistry()
    {
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "PATH"})
            qputenv(name, path(name).toLocal8Bit());
        put("XDG_CONFIG_HOME/tessaline/registry.reg", m_tools + "\\MSINFO]\n\"PATH\"=\"/home\"\n");
        for (const char* program : {"PATH/lshw-gtk", "PATH/gnome-system-monitor", "PATH/kinfocenter"})
            put(program, "");
        QCOMPARE(about::sysInfoProgram(Registry::system()), path("PATH/kinfocenter"));
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
