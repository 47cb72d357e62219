#include "settings/Settings.h"
#include "settings/frmOptions.h"
#include "platform/FormGeometry.h"

#include "ScriptedDialogs.h"
#include "TestFiles.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using settings::Store;

namespace {

// The settings in one line: "ShowFileName SelectFolder WidthxHeight ImageErw ThumbnailCacheMiB".
QString shown(const settings::Props& p)
{
    return QString::asprintf("%d %d %dx%d %s %lld%s", p.showfilename, p.selectfolder, int(p.thumbwidth),
                             int(p.thumbheight), qPrintable(p.imageerw), qlonglong(p.thumbnailCacheMiB),
                             p.companions ? "" : " ohne Begleitdateien");
}

template <typename T = QLineEdit> T* control(const QWidget& dialog, const char* name)
{
    T* found = dialog.findChild<T*>(QLatin1StringView(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// The dialog as the user sees it, in one line: "[x] [ ] [x] 100 x 75 (1:1,333) jpg".
QString shown(const QWidget& dialog)
{
    const auto box = [&](const char* name) {
        return control<QCheckBox>(dialog, name)->isChecked() ? QStringLiteral("[x]") : QStringLiteral("[ ]");
    };
    return QStringLiteral("%1 %2 %3 %4 x %5 (1:%6 %7") // the label brings its own ")"
        .arg(box("chkShowFileName"), box("chkSelectFolder"), box("chkCompanions"), control(dialog, "txtWidth")->text(),
             control(dialog, "txtheight")->text(), control<QLabel>(dialog, "lblratio")->text(),
             control(dialog, "txtErw")->text());
}

// Replaces the field's text the way a user does: select everything and type over it.
void typeInto(QLineEdit* field, const QString& text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    // What people and other programs leave in the file, as the main window sees it.
    void reading_data()
    {
        QTest::addColumn<QByteArray>("content"); // "<folder>": the file is a folder
        QTest::addColumn<QString>("props");
        const QByteArray h("[General%20Options]\n");
        QTest::newRow("no file") << QByteArray() << "1 1 100x100 jpg 512";
        QTest::newRow("as written") << h + "ShowFileName=0\nSelectFolder=1\nThumbnailWidth=120px\nThumbnailHeight=100.5\n"
                                           "ImageErw=png\nThumbnailCacheMiB= 64 \n"
                                    << "0 1 120x100 png 64";
        QTest::newRow("words for on are off") << h + "ShowFileName=true\nSelectFolder=yes\nRenameCompanions=-1\n"
                                              << "0 0 100x100 jpg 512 ohne Begleitdateien";
        QTest::newRow("companions off") << h + "RenameCompanions=0\n" << "1 1 100x100 jpg 512 ohne Begleitdateien";
        QTest::newRow("companions on") << h + "RenameCompanions=1\n" << "1 1 100x100 jpg 512";
        QTest::newRow("sizes above the cap") << h + "ThumbnailWidth=501\nThumbnailHeight=40000\n" << "1 1 500x500 jpg 512";
        QTest::newRow("sizes 0 and not a number") << h + "ThumbnailWidth=0\nThumbnailHeight=abc\n" << "1 1 100x100 jpg 512";
        QTest::newRow("sizes rounding to 0 and negative") << h + "ThumbnailWidth=0.5\nThumbnailHeight=-5\n"
                                                          << "1 1 100x100 jpg 512";
        QTest::newRow("unquoted comma") << h + "ThumbnailWidth=1,5\nImageErw=a,b\n" << "1 1 1x100 a,b 512";
        // Unquoted, the INI format takes a ";" for the start of a comment.
        QTest::newRow("list of extensions, quoted") << h + "ImageErw=\"jpg; jpeg;heic\"\n"
                                                    << "1 1 100x100 jpg; jpeg;heic 512";
        QTest::newRow("cache off") << h + "ThumbnailCacheMiB=0\n" << "1 1 100x100 jpg 0";
        QTest::newRow("cache limit negative") << h + "ThumbnailCacheMiB=-1\n" << "1 1 100x100 jpg 512";
        QTest::newRow("cache limit a fraction") << h + "ThumbnailCacheMiB=1.5\n" << "1 1 100x100 jpg 512";
        QTest::newRow("cache limit a petabyte at most") << h + "ThumbnailCacheMiB=99999999999999\n"
                                                        << "1 1 100x100 jpg 1073741824";
        QTest::newRow("garbage") << QByteArray("\x00\x01\xff\xfe[[[=\n=\n\"\"\"\n", 12) << "1 1 100x100 jpg 512";
        QTest::newRow("damaged") << h + "ThumbnailWidth=120\n[broken\n" << "1 1 120x100 jpg 512";
        QTest::newRow("unreadable") << QByteArray("<folder>") << "1 1 100x100 jpg 512";
    }
    void reading()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Tessaline.ini"));
        if (content == "<folder>")
            QDir().mkdir(path);
        else if (!content.isEmpty())
            writeFile(path, content);
        QTEST(shown(settings::readProps(Store(path))), "props");
    }

    void userStoreFile()
    {
        QCOMPARE(Store::user().fileName(),
                 qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tessaline/Tessaline.ini"));
    }

    void writing_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("saved");
        QTest::newRow("texts Qt would otherwise read as values") << "new/Tessaline.ini" << " @Variant(1,5) \"größe\" "
                                                                 << true;
        QTest::newRow("over a damaged file") << "damaged.ini" << "77" << true;
        QTest::newRow("list of extensions") << "list.ini" << "jpg; jpeg ;heic;*" << true;
        QTest::newRow("into a file that is a folder") << "folder.ini" << "77" << false;
    }
    void writing()
    {
        QFETCH(QString, relative);
        QFETCH(QString, text);
        QFETCH(bool, saved);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("damaged.ini")),
                  "[General%20Options]\nThumbnailWidth=120\n[broken\n");
        QDir().mkdir(dir.filePath(QStringLiteral("folder.ini")));
        const Store store(dir.filePath(relative));
        QCOMPARE(store.write({{settings::ThumbnailWidth, text}}), saved);
        QCOMPARE(store.read(settings::ThumbnailWidth) == text, saved);
    }

    // The dialog as it opens on a store, and as it shows sizes typed into it.
    void showing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("locale"); // empty: nothing typed
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("dialog");
        const auto stored = [](const char* what, const QByteArray& content, const char* dialog) {
            QTest::newRow(what) << content << QString() << QString() << QString() << QString(dialog);
        };
        const auto typed = [](const char* what, const char* locale, const char* width, const char* height,
                              const char* dialog) {
            QTest::newRow(what) << QByteArray() << QString(locale) << QString(width) << QString(height)
                                << QString(dialog);
        };
        const QByteArray h("[General%20Options]\n");
        stored("empty store", {}, "[x] [x] [x] 100 x 100 (1:1) jpg");
        stored("words for on show unchecked, texts as stored",
               h + "ShowFileName=true\nSelectFolder=yes\nRenameCompanions=true\nThumbnailWidth=12abc\n"
                   "ThumbnailHeight=99.5\nImageErw=PNG\n",
               "[ ] [ ] [ ] 12abc x 99.5 (1:0.12) PNG");
        stored("stored sizes above the cap are cut",
               h + "ShowFileName=0\nThumbnailWidth=800\nThumbnailHeight=1e4\n",
               "[ ] [x] [x] 500 x 500 (1:1) jpg");
        // The width is loaded before the height, so its ratio against the design height stays.
        stored("stored height 0", h + "ThumbnailWidth=120\nThumbnailHeight=0\n",
               "[x] [x] [x] 120 x 0 (1:1.2) jpg");
        typed("truncated", "de_DE", "200", "300", "[x] [x] [x] 200 x 300 (1:0,666) jpg");
        typed("exact quotient stays exact", "de_DE", "57", "100", "[x] [x] [x] 57 x 100 (1:0,57) jpg");
        typed("width above the cap", "de_DE", "800", "300", "[x] [x] [x] 500 x 300 (1:1,666) jpg");
        typed("height above the cap", "de_DE", "100", "501", "[x] [x] [x] 100 x 500 (1:0,2) jpg");
        typed("height 0 keeps the label", "de_DE", "120", "0", "[x] [x] [x] 120 x 0 (1:1,2) jpg");
        typed("negative width is not cut", "de_DE", "-600", "100", "[x] [x] [x] -600 x 100 (1:-6) jpg");
    }
    void showing()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, locale);
        QFETCH(QString, width);
        QFETCH(QString, height);
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
        QTEST(shown(options), "dialog");
    }

    // OK refuses a size of 0, tells when the store cannot be written, and otherwise stores the
    // texts exactly as typed and closes; the other ways out write nothing.
    void closingSavesOnlyOnOk_data()
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
        row("saved as typed, negative too", "OK", "12abc", "-5.5", "", "%DIR%/Tessaline/Tessaline.ini",
            "[General%20Options]\nImageErw=\nRenameCompanions=0\nSelectFolder=1\nShowFileName=0\n"
            "ThumbnailHeight=-5.5\nThumbnailWidth=12abc\n");
        row("Abbrechen", "cmdCancel", "100", "100", "");
        row("Escape", "Escape", "100", "100", "");
        row("close box", "close", "100", "100", "");
    }
    void closingSavesOnlyOnOk()
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
        QTest::mouseClick(control<QCheckBox>(dialog, "chkCompanions"), Qt::LeftButton);
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
        QFile saved(path);
        QCOMPARE(saved.open(QIODevice::ReadOnly) ? saved.readAll() : QByteArray("<missing>"), content);
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
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order.append(QApplication::focusWidget()->objectName());
            if (auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget()))
                order.last() += u'[' + field->selectedText() + u']';
        }
        QCOMPARE(order, (QStringList{"chkShowFileName", "chkSelectFolder", "chkCompanions", "txtWidth[100]", "txtheight[100]",
                                     "cmdOK", "cmdCancel", "txtErw[]", "chkShowFileName"}));

        QLineEdit* txtheight = control(dialog, "txtheight");
        QTest::mouseClick(txtheight, Qt::LeftButton, {}, QPoint(2, txtheight->height() / 2));
        QTRY_VERIFY(txtheight->hasFocus());
        QCOMPARE(txtheight->selectedText(), QStringLiteral("100"));
    }

    // In the form's own font every caption fits its box, so the form keeps its design size
    // (the size of its first design with one row more, for the companion files).
    void captionsFitTheDesignSize()
    {
        QTemporaryDir dir;
        frmOptions dialog(nullptr, Store(dir.filePath(QStringLiteral("Tessaline.ini"))));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.size(), platform::toPixels({0, 0, 4680, 3060}).size());
        QStringList cut;
        for (const QWidget* w : dialog.findChildren<QWidget*>()) {
            int needed = 0;
            if (const auto* check = qobject_cast<const QCheckBox*>(w))
                needed = check->sizeHint().width();
            else if (const auto* label = qobject_cast<const QLabel*>(w))
                needed = label->fontMetrics().horizontalAdvance(label->text());
            else if (const auto* button = qobject_cast<const QPushButton*>(w))
                needed = button->fontMetrics().horizontalAdvance(button->text());
            if (needed > w->width())
                cut.append(QStringLiteral("%1 %2 > %3").arg(w->objectName()).arg(needed).arg(w->width()));
        }
        QCOMPARE(cut, QStringList());
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
