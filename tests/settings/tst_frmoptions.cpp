#include "settings/frmOptions.h"

#include "ScriptedDialogs.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"

using settings::Store;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

template <typename T = QLineEdit> T* control(const QWidget& dialog, const char* name)
{
    T* found = dialog.findChild<T*>(QLatin1StringView(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// The dialog as the user sees it, in one line: "[x] [ ] 100 x 75 (1:1,333) jpg".
QString shown(const QWidget& dialog)
{
    const auto box = [&](const char* name) {
        return control<QCheckBox>(dialog, name)->isChecked() ? QStringLiteral("[x]") : QStringLiteral("[ ]");
    };
    return QStringList{box("chkShowFileName"), box("chkSelectFolder"), control(dialog, "txtWidth")->text(), "x",
                       control(dialog, "txtheight")->text(), "(1:" + control<QLabel>(dialog, "lblratio")->text(),
                       control(dialog, "txtErw")->text()}
        .join(u' ');
}

// Replaces the field's text the way a user does: select everything and type over it.
void typeInto(QLineEdit* field, const QString& text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

} // namespace

class TestFrmOptions : public QObject
{
    Q_OBJECT
private slots:
    // The dialog as it opens on a store, and as it shows sizes typed into it.
    void showing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("locale"); // empty: nothing typed
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("dialog");
        const QByteArray h("[General%20Options]\n");
        QTest::newRow("empty store") << QByteArray() << "" << "" << "" << "[x] [x] 100 x 100 (1:1) jpg";
        QTest::newRow("words for on show unchecked, texts as stored")
            << h + "ShowFileName=true\nSelectFolder=yes\nThumbnailWidth=12abc\nThumbnailHeight=99.5\nImageErw=PNG\n"
            << "" << "" << "" << "[ ] [ ] 12abc x 99.5 (1:0.12) PNG";
        QTest::newRow("stored sizes above the cap are cut")
            << h + "ShowFileName=0\nThumbnailWidth=800\nThumbnailHeight=1e4\n" << "" << "" << ""
            << "[ ] [x] 500 x 500 (1:1) jpg";
        // The width is loaded before the height, so its ratio against the design height stays.
        QTest::newRow("stored height 0") << h + "ThumbnailWidth=120\nThumbnailHeight=0\n" << "" << "" << ""
                                         << "[x] [x] 120 x 0 (1:1.2) jpg";
        const auto typed = [](const char* what, const char* locale, const char* width, const char* height,
                              const char* dialog) {
            QTest::newRow(what) << QByteArray() << locale << width << height << dialog;
        };
        typed("point", "en_US", "100", "75", "[x] [x] 100 x 75 (1:1.333) jpg");
        typed("truncated", "de_DE", "200", "300", "[x] [x] 200 x 300 (1:0,666) jpg");
        typed("exact quotient stays exact", "de_DE", "57", "100", "[x] [x] 57 x 100 (1:0,57) jpg");
        typed("width above the cap", "de_DE", "800", "300", "[x] [x] 500 x 300 (1:1,666) jpg");
        typed("height above the cap", "de_DE", "100", "501", "[x] [x] 100 x 500 (1:0,2) jpg");
        typed("height 0 keeps the label", "de_DE", "120", "0", "[x] [x] 120 x 0 (1:1,2) jpg");
    }
    void showing()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, locale);
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(QString, dialog);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Tessaline.ini"));
        if (!content.isEmpty())
            writeFile(path, content);
        frmOptions options(nullptr, Store(path));
        if (!locale.isEmpty()) {
            options.setLocale(QLocale(locale));
            typeInto(control(options, "txtWidth"), width);
            typeInto(control(options, "txtheight"), height);
        }
        QCOMPARE(shown(options), dialog);
    }

    // OK refuses a size of 0, tells when the store cannot be written, and otherwise stores the
    // texts exactly as typed and closes; the other ways out write nothing.
    void closing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("file");    // %DIR%/blocker is a file, not a folder
        QTest::addColumn<QString>("message"); // empty: closed
        QTest::addColumn<QByteArray>("content");
        const QString ini = QStringLiteral("%DIR%/Tessaline.ini");
        const auto row = [&](const char* what, const char* how, const char* width, const char* height,
                             const QString& message, const QString& file = {},
                             const char* content = "<missing>") {
            QTest::newRow(what) << QString(how) << QString(width) << QString(height)
                                << (file.isEmpty() ? ini : file) << message << QByteArray(content);
        };
        const QString zero = QStringLiteral("Bildergrößen sollten nicht 0 Pixel sein.");
        row("width 0", "OK", "0", "100", zero);
        row("height not a number", "OK", "100", "abc", zero);
        const QString blocked = QStringLiteral("%DIR%/blocker/Tessaline.ini");
        row("cannot be saved", "OK", "100", "100",
            "Die Einstellungen konnten nicht gespeichert werden:\n" + blocked, blocked);
        row("saved as typed", "OK", "12abc", "99.5", "", "%DIR%/Tessaline/Tessaline.ini",
            "[General%20Options]\nImageErw=\nSelectFolder=1\nShowFileName=0\n"
            "ThumbnailHeight=99.5\nThumbnailWidth=12abc\n");
        row("Abbrechen", "cmdCancel", "100", "100", "");
        row("Escape", "Escape", "100", "100", "");
        row("close box", "close", "100", "100", "");
    }
    void closing()
    {
        QFETCH(QString, how);
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(QString, file);
        QFETCH(QString, message);
        QFETCH(QByteArray, content);

        ScriptedDialogs answers;
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("blocker")), "a file where a folder should be");
        const QString path = file.replace(QStringLiteral("%DIR%"), dir.path());
        frmOptions dialog(nullptr, Store(path));
        dialog.show();
        control<QCheckBox>(dialog, "chkShowFileName")->setChecked(false);
        typeInto(control(dialog, "txtWidth"), width);
        typeInto(control(dialog, "txtheight"), height);
        typeInto(control(dialog, "txtErw"), QString());
        if (how == u"cmdCancel")
            QTest::mouseClick(control<QPushButton>(dialog, "cmdCancel"), Qt::LeftButton);
        else if (how == u"close")
            dialog.close();
        else
            QTest::keyClick(control(dialog, "txtErw"), how == u"OK" ? Qt::Key_Return : Qt::Key_Escape);

        message.replace(QStringLiteral("%DIR%"), dir.path());
        QCOMPARE(answers.messageTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(dialog.isVisible(), !message.isEmpty());
        QCOMPARE(readFile(path), content);
    }

    // The tab order, and typing into a size field replaces its text however the field got the
    // focus, while the extension field keeps its text unselected.
    void keyboardAndFocus()
    {
        QTemporaryDir dir;
        frmOptions dialog(nullptr, Store(dir.filePath(QStringLiteral("Tessaline.ini"))));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QStringList order{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 7; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order.append(QApplication::focusWidget()->objectName());
            if (auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget()))
                order.last() += u'[' + field->selectedText() + u']';
        }
        QCOMPARE(order, (QStringList{"chkShowFileName", "chkSelectFolder", "txtWidth[100]", "txtheight[100]",
                                     "cmdOK", "cmdCancel", "txtErw[]", "chkShowFileName"}));

        QLineEdit* txtheight = control(dialog, "txtheight");
        QTest::mouseClick(txtheight, Qt::LeftButton, {}, QPoint(2, txtheight->height() / 2));
        QTRY_VERIFY(txtheight->hasFocus());
        QCOMPARE(txtheight->selectedText(), QStringLiteral("100"));
    }
};

QTEST_MAIN(TestFrmOptions)
#include "tst_frmoptions.moc"
