#include "platform/Dialogs.h"
#include "platform/QtTranslation.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <functional>
#include <memory>

namespace {

// Hands the next modal dialog to `act` once it is shown; the real dialogs run their own event
// loop, so the test has to reach them from inside it.
void onNextDialog(std::function<void(QWidget*)> act)
{
    auto* poll = new QTimer(qApp);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act = std::move(act)] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        // Keys reach a dialog's shortcuts only in the active window, as they would for a user.
        dialog->activateWindow();
        if (QTest::qWaitForWindowActive(dialog))
            act(dialog);
        // Keys that did not answer leave the dialog open: cancel it, so that the test fails on
        // the answer instead of hanging.
        QTimer::singleShot(5000, dialog, &QWidget::close);
    });
    poll->start();
}

QStringList buttonTexts(QWidget* dialog)
{
    QStringList texts;
    if (auto* box = dialog->findChild<QDialogButtonBox*>())
        for (QAbstractButton* button : box->buttons())
            texts.append(button->text());
    texts.sort();
    return texts;
}

// Qt's German catalogue for one test, taken out again afterwards so that the next test starts
// from Qt's own texts.
struct German
{
    German() : translator(platform::installQtTranslation()) {}
    ~German()
    {
        if (translator)
            QCoreApplication::removeTranslator(translator.get());
    }
    Q_DISABLE_COPY_MOVE(German)
    std::unique_ptr<QTranslator> translator;
};

#define REQUIRE_GERMAN(german)                                                                             \
    if (!(german).translator)                                                                             \
        QSKIP("Qt's German catalogue is not installed (Debian: qt6-translations-l10n)");

} // namespace

class TestQtTranslation : public QObject
{
    Q_OBJECT
private slots:
    // A missing or broken catalogue installs nothing and leaves Qt's English texts.
    void englishWhenTheCatalogueCannotBeRead_data()
    {
        QTest::addColumn<QByteArray>("content"); // what the folder holds as qtbase_de.qm
        QTest::newRow("no catalogue") << QByteArray();
        QTest::newRow("damaged catalogue") << QByteArray("\x3c\xb8\x64\x18\xca\xef\x9c\x95\xcd\x21\x1c\xbf\x60\xa1\xbd\xdd"
                                                         "\x42\xff\xff\xff\xff",
                                                         21);
    }
    void englishWhenTheCatalogueCannotBeRead()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        if (!content.isEmpty()) {
            QFile file(dir.filePath(QStringLiteral("qtbase_de.qm")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        QCOMPARE(platform::installQtTranslation(dir.path()), nullptr);
        QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Yes"));
    }

    // The program's questions ask before anything irreversible happens, with Nein as the
    // default, so that a hurried Enter changes nothing; Alt and the underlined letter answer.
    void questionAnsweredByKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("yes");
        QTest::newRow("Alt+J") << int(Qt::Key_J) << int(Qt::AltModifier) << true;
        QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier) << false;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << int(Qt::NoModifier) << false;
    }
    void questionAnsweredByKeys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        German german;
        REQUIRE_GERMAN(german);
        QStringList buttons;
        onNextDialog([&](QWidget* dialog) {
            buttons = buttonTexts(dialog);
            QTest::keyClick(dialog, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        });
        const bool yes = platform::dialogs().question(nullptr, QStringLiteral("Rückgängig machen?"));
        QCOMPARE(buttons, QStringList({QStringLiteral("&Ja"), QStringLiteral("&Nein")}));
        QTEST(yes, "yes");
    }

    // The prompt for a text and the folder browser, each confirmed and cancelled: German labels
    // and buttons, and the answer or the empty text of a cancel.
    void promptAndFolderBrowserInGerman_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::newRow("confirmed") << true;
        QTest::newRow("cancelled") << false;
    }
    void promptAndFolderBrowserInGerman()
    {
        QFETCH(bool, confirm);
        German german;
        REQUIRE_GERMAN(german);
        const Qt::Key answer = confirm ? Qt::Key_Return : Qt::Key_Escape;

        QStringList buttons;
        onNextDialog([&](QWidget* dialog) {
            buttons = buttonTexts(dialog);
            QTest::keyClick(dialog, answer);
        });
        const QString prefix = platform::dialogs().inputBox(nullptr, QStringLiteral("Dateiprefix"), QStringLiteral("img"));
        QCOMPARE(buttons, QStringList({QStringLiteral("Abbrechen"), QStringLiteral("OK")}));
        QCOMPARE(prefix, confirm ? QStringLiteral("img") : QString());

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QStringList labels;
        bool qtsOwn = false;
        onNextDialog([&](QWidget* dialog) {
            // The desktop's dialog would speak the system's language.
            auto* fileDialog = qobject_cast<QFileDialog*>(dialog);
            qtsOwn = fileDialog && fileDialog->testOption(QFileDialog::DontUseNativeDialog);
            for (const char* name : {"lookInLabel", "fileNameLabel"})
                if (auto* label = dialog->findChild<QLabel*>(QLatin1String(name)))
                    labels.append(label->text());
            buttons = buttonTexts(dialog);
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (name)
                name->setText(dir.path());
            QTest::keyClick(name ? static_cast<QWidget*>(name) : dialog, answer);
        });
        const QString folder = platform::dialogs().browseForFolder(nullptr, QStringLiteral("Zielordner"), QString());
        QVERIFY(qtsOwn);
        QCOMPARE(labels, QStringList({QStringLiteral("Suchen in:"), QStringLiteral("Verzeichnis:")}));
        QCOMPARE(buttons, QStringList({QStringLiteral("&Auswählen"), QStringLiteral("Abbrechen")}));
        QCOMPARE(folder, confirm ? dir.path() : QString());
    }
};

QTEST_MAIN(TestQtTranslation)
#include "tst_qttranslation.moc"
