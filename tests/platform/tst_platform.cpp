#include "platform/Dialogs.h"
#include "platform/DirListing.h"
#include "platform/ExtensionPattern.h"
#include "platform/FileNames.h"
#include "platform/FolderList.h"
#include "platform/Numeric.h"

#include "ScriptedDialogs.h"
#include "TestFiles.h"

#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <cerrno>
#include <cstdio>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

namespace {

template <typename... Parts> QString text(const Parts&... parts)
{
    return (QString() + ... + QString(parts));
}

QSet<QByteArray> listAll(const QByteArray& folder, const QString& extension)
{
    QSet<QByteArray> names;
    platform::ImageFileEnumerator files(folder, extension);
    while (const auto name = files.next())
        names.insert(*name);
    return names;
}

void makeFolder(const QByteArray& path)
{
    QVERIFY2(::mkdir(path.constData(), 0755) == 0, path.constData());
}

// A folder list as narrow as the main window's folder column.
struct Column
{
    Column()
    {
        box.resize(132, 300);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
    }
    QByteArray highlighted() const { return box.currentItem()->data(0, Qt::UserRole).toByteArray(); }
    // The highlighted entry's icon and the start of its name are inside the visible area, and
    // so is one indentation step before it (where there is one), which shows the level above.
    bool highlightInView() const
    {
        const QRect r = box.visualItemRect(box.currentItem());
        const int start = std::min(box.sizeHintForIndex(box.currentIndex()).width(), 60);
        const int before = std::min(box.indentation(), r.left() + box.horizontalScrollBar()->value());
        return box.viewport()->rect().contains(QRect(r.left() - before, r.top(), before + start, r.height()));
    }
    void key(Qt::Key key) { QTest::keyClick(&box, key); }
    platform::DirListBox box;
};

class FakeVolumes final : public platform::VolumeSource
{
public:
    QList<platform::Volume> volumes() override { return list; }
    QList<platform::Volume> list;
};

} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { platform::setEntryTypesUnknown(false); }

    // Valid sequences become their characters wherever they stand, also as a name's last bytes;
    // each byte that forms no sequence becomes a character of its own, and the bytes come back.
    void decodesText_data()
    {
        QTest::addColumn<QByteArray>("native");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* what, const QByteArray& native, const QString& text) {
            QTest::newRow(what) << native << text;
        };
        row("two bytes at the end", "Caf\xc3\xa9", QStringLiteral("Caf\u00e9"));
        row("four bytes at the end", "smile \xf0\x9f\x98\x80", QString::fromUcs4(U"smile \U0001F600"));
        row("four bytes, low half like a kept byte", "\xf0\x90\x82\x80.jpg", QString::fromUcs4(U"\U00010080.jpg"));
        row("three bytes cut short at the end", "a\xe2\x82", text("a", QChar(0xDCE2), QChar(0xDC82)));
        row("four bytes cut short at the end", "a\xf0\x9f\x98", text("a", QChar(0xDCF0), QChar(0xDC9F), QChar(0xDC98)));
        row("latin-1", "M\xfcnchen.jpg", text("M", QChar(0xDCFC), "nchen.jpg"));
        row("lone continuation byte", "a\x80z.jpg", text("a", QChar(0xDC80), "z.jpg"));
        row("overlong slash", "a\xc0\xaf.jpg", text("a", QChar(0xDCC0), QChar(0xDCAF), ".jpg"));
        row("encoded surrogate", "\xed\xb2\x80.jpg", text(QChar(0xDCED), QChar(0xDCB2), QChar(0xDC80), ".jpg"));
        row("byte order mark at the start", "\xef\xbb\xbf" "a.jpg", text(QChar(0xFEFF), "a.jpg"));
        row("byte order mark after a bad byte", "\xff\xef\xbb\xbf" "a.jpg", text(QChar(0xDCFF), QChar(0xFEFF), "a.jpg"));
        row("four bytes, then a bad byte", "\xf0\x9f\x98\x80\xff", text(QString::fromUcs4(U"\U0001F600"), QChar(0xDCFF)));
        row("byte order mark first", "\xef\xbb\xbfphoto.jpg", text(QChar(0xFEFF), "photo.jpg"));
        row("byte order mark after a bad byte", "\xff\xef\xbb\xbf.jpg", text(QChar(0xDCFF), QChar(0xFEFF), ".jpg"));
    }
    void decodesText()
    {
        QFETCH(QByteArray, native);
        QFETCH(QString, text);
        QCOMPARE(platform::decodeName(native), text);
        QCOMPARE(platform::encodeName(text), native);
    }

    // Names are shown as they are, unless a character in them shows nothing or rearranges what
    // follows: such a character appears as its escape, so that two names that differ look
    // different. Within emoji sequences and the scripts that need them, joiners and selectors are
    // part of the name as meant. Bytes that are not UTF-8 appear as Latin-1 letters.
    void displayName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        const auto same = [](const char* what, const QString& name) { QTest::newRow(what) << name << name; };
        const auto row = [](const char* what, const QString& name, const QString& shown) {
            QTest::newRow(what) << name << shown;
        };
        const auto u = [](const char32_t* text) { return QString::fromUcs4(text); };
        same("ascii", "img0001.jpg");
        same("markup is text", "<a href=\"file:///etc/passwd\">click &amp; me</a>.jpg");
        same("umlauts", u(U"M\u00fcller Stra\u00dfe.jpg"));
        same("decomposed accent", u(U"cafe\u0301.jpg"));
        same("two spaces", "a  b (1).jpg");
        same("cjk", u(U"\u6771\u4eac\u30bf\u30ef\u30fc \uc11c\uc6b8.jpg"));
        same("hebrew", u(U"\u05e9\u05dc\u05d5\u05dd.jpg"));
        same("emoji", u(U"\U0001F600.jpg"));
        same("family", u(U"\U0001F468\u200D\U0001F469\u200D\U0001F467.jpg"));
        same("rainbow flag", u(U"\U0001F3F3\uFE0F\u200D\U0001F308.jpg"));
        same("skin tone and joiner", u(U"\U0001F9D1\U0001F3FD\u200D\U0001F4BB.jpg"));
        same("heart with selector", u(U"\u2764\uFE0F.jpg"));
        same("keycap", u(U"1\uFE0F\u20E3.jpg"));
        same("flag of england", u(U"\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F.jpg"));
        same("persian non-joiner", u(U"\u0645\u06cc\u200C\u062e\u0648\u0627\u0647\u0645.jpg"));
        same("arabic vowel sign before a non-joiner", u(U"\u0628\u064E\u200C\u062A.jpg"));
        same("sinhala joiner", u(U"\u0DC1\u0DCA\u200D\u0DBB\u0DD3.jpg"));
        same("ideographic variation", u(U"\u845B\U000E0100.jpg"));
        same("hangul filler in a syllable", u(U"\u1100\u1160\u11A8.jpg"));
        same("backslash", R"(a\b.jpg)");
        row("zero-width space", u(U"\u200Bimg0001.jpg"), R"(\u200Bimg0001.jpg)");
        row("right-to-left override", u(U"\u202Egpj.2000gmi.jpg"), R"(\u202Egpj.2000gmi.jpg)");
        row("isolates", u(U"\u2066a\u2069.jpg"), R"(\u2066a\u2069.jpg)");
        row("byte order mark", QChar(0xFEFF) + QString("a.jpg"), R"(\uFEFFa.jpg)");
        row("soft hyphen", u(U"im\u00ADg.jpg"), R"(im\u00ADg.jpg)");
        row("word joiner", u(U"a\u2060b.jpg"), R"(a\u2060b.jpg)");
        row("arabic letter mark", u(U"a\u061Cb.jpg"), R"(a\u061Cb.jpg)");
        row("newline", "a\nb.jpg", R"(a\u000Ab.jpg)");
        row("carriage return, tab, escape, delete", "\r\t\x1b\x7f.jpg", R"(\u000D\u0009\u001B\u007F.jpg)");
        row("next line", u(U"a\u0085.jpg"), R"(a\u0085.jpg)");
        row("line separator", u(U"a\u2028b.jpg"), R"(a\u2028b.jpg)");
        row("joiner between latin letters", u(U"i\u200Dmg.jpg"), R"(i\u200Dmg.jpg)");
        row("non-joiner between latin letters", u(U"i\u200Cmg.jpg"), R"(i\u200Cmg.jpg)");
        row("joiner before an emoji only", u(U"\u200D\U0001F600.jpg"), R"(\u200D)" + u(U"\U0001F600.jpg"));
        row("joiner after an emoji only", u(U"\U0001F600\u200D.jpg"), u(U"\U0001F600") + R"(\u200D.jpg)");
        row("non-joiner between arabic and latin", u(U"\u0645\u200Cm.jpg"), u(U"\u0645") + R"(\u200Cm.jpg)");
        row("selector after a letter", u(U"a\uFE0F.jpg"), R"(a\uFE0F.jpg)");
        row("selector after a digit", u(U"1\uFE0F.jpg"), R"(1\uFE0F.jpg)");
        row("grapheme joiner", u(U"a\u034Fb.jpg"), R"(a\u034Fb.jpg)");
        row("hangul filler", u(U"\u3164.jpg"), R"(\u3164.jpg)");
        row("hangul fillers alone", u(U"\u115F\u1160.jpg"), R"(\u115F\u1160.jpg)");
        row("tag without a flag", u(U"a\U000E0041.jpg"), R"(a\U000E0041.jpg)");
        row("tags not cancelled", u(U"\U0001F3F4\U000E0067\U000E0062.jpg"),
            u(U"\U0001F3F4") + R"(\U000E0067\U000E0062.jpg)");
        row("language tag", u(U"\U000E0001a.jpg"), R"(\U000E0001a.jpg)");
        row("unassigned ignorable", u(U"a\u2065.jpg"), R"(a\u2065.jpg)");
        row("lone surrogate", QString(QChar(0xD800)) + "a.jpg", R"(\uD800a.jpg)");
        row("backslash before u", R"(\u200Bimg0001.jpg)", R"(\\u200Bimg0001.jpg)");
        row("backslash before an escape", "\\" + u(U"\u200Bimg0001.jpg"), R"(\\\u200Bimg0001.jpg)");
        row("two backslashes", R"(a\\b.jpg)", R"(a\\\b.jpg)");
        row("backslash at the end", R"(a.jpg\)", R"(a.jpg\)");
        row("latin-1", platform::decodeName("M\xfcnchen.jpg"), u(U"M\u00fcnchen.jpg"));
        row("byte without a latin-1 letter", platform::decodeName("a\x85.jpg"), u(U"a\uFFFD.jpg"));
        row("latin-1 soft hyphen", platform::decodeName("a\xad.jpg"), R"(a\u00AD.jpg)");
    }
    void displayName()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        QCOMPARE(platform::displayName(name), shown);
    }

    // Names that would look alike if the invisible were not shown, and their escapes typed out
    // as text: no two look the same.
    void lookalikesShownApart()
    {
        const QStringList names{"img0001.jpg",
                                QString::fromUcs4(U"\u200Bimg0001.jpg"),
                                R"(\u200Bimg0001.jpg)",
                                R"(\\u200Bimg0001.jpg)",
                                "\\" + QString::fromUcs4(U"\u200Bimg0001.jpg"),
                                QString::fromUcs4(U"img0001.jpg\u200B"),
                                QString::fromUcs4(U"img0001.jpg\u200C"),
                                R"(img0001.jpg\)",
                                R"(img0001.jpg\\)",
                                QString::fromUcs4(U"img0001.jpg\\\u200B"),
                                QString::fromUcs4(U"\U000E0041img0001.jpg")};
        QSet<QString> shown;
        for (const QString& name : names)
            shown.insert(platform::displayName(name));
        QCOMPARE(shown.size(), names.size());
    }

    // A tooltip shows the text itself: markup, entities and line breaks as they were given.
    void toolTipsArePlainText()
    {
        QCOMPARE(platform::plainToolTip(QString()), QString());
        const QString text = "<b>bold</b> <img src=\"/dev/zero\"> &amp; &lt;\n<a href=\"file:///etc/passwd\">x</a>  two";
        QTextDocument shown;
        shown.setHtml(platform::plainToolTip(text));
        QCOMPARE(shown.toPlainText(), text);
    }

    // The extension setting: which entry a name matches first ("-" none), and the extension it
    // matched there, as the name spells it.
    void extensionPattern_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char* setting, const char* name, const char* expected) {
            QTest::addRow("%s ~ %s", setting, name) << QByteArray(setting) << QByteArray(name) << QByteArray(expected);
        };
        row("jpg", "IMG_1.JPG", "0 JPG");
        row("jpg", "a.jpeg", "-");
        row("jpg", "jpg", "-");
        row("jpg", "a.jpg.txt", "-");
        row("jp?", "a.jpg", "0 jpg");
        row("jp?", "a.jp", "-");
        row("jp?", "a.jpeg", "-");
        row("jp*", "a.jp", "0 jp");
        row("jp*", "b.JPEG", "0 JPEG");
        row("jp*", "IMG_1.JPG.xmp", "-");
        row("*", "noext", "-");
        row("*", "archive.tar.gz", "0 gz");
        row("*", "x.", "0 ");
        row("?", "a.", "-");
        row("tar.gz", "a.tar.gz", "0 tar.gz");
        row("tar.gz", "tar.gz", "-");
        row("tar.*", "a.TAR.xz", "0 TAR.xz");
        row(" jpg ; jpeg ;heic", "c.HEIC", "2 HEIC");
        row("jpg;;jpeg", "b.jpeg", "1 jpeg");
        row("jp*;jpg", "a.JPG", "0 JPG");
        row("jpg;jp*", "a.JPG", "0 JPG");
        row("jpg;", "x.", "-");
        row(";", "x.", "0 ");
        row("", "a.jpg", "-");
        row("\xe9t\xe9", "a.\xe9T\xe9", "0 \xe9T\xe9");
    }
    void extensionPattern()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QByteArray, name);
        const auto m = platform::ExtensionPattern(setting).match(name);
        QTEST(m ? QByteArray::number(m->entry) + ' ' + name.mid(m->extensionAt) : QByteArray("-"), "expected");
    }

    // Only one plain extension names what renaming appends.
    void singleExtension()
    {
        for (const char* single : {"jpg", " jpg;", "", ";"})
            QVERIFY2(platform::ExtensionPattern(single).isSingleExtension(), single);
        for (const char* several : {"jpg;jpeg", "jp?", "*"})
            QVERIFY2(!platform::ExtensionPattern(several).isSingleExtension(), several);
        QCOMPARE(platform::ExtensionPattern(" jpg ; jpeg ;heic;").entries(), (QList<QByteArray>{"jpg", "jpeg", "heic"}));
    }

    // Pictures are regular files (or links to them) with the extension in any case; subfolders are
    // sorted, letter case aside, in code-unit order whatever the user's language (German collation
    // would put Äpfel first), without hidden ones.
    void listsPicturesAndSubfolders()
    {
        QTemporaryDir dir;
        const QByteArray d = platform::encodeName(dir.path()) + '/';
        for (const char* name : {"a.jpg", "B.JPG", "c.Jpg", "M\xfcnchen.jpg", "d.jpeg", "e.png", "jpg",
                                 ".hidden.jpg", "f.jpg.txt", "g.heic", ".jpg"})
            touch(d + name);
        for (const char* name : {"folder.jpg", "b", "Z", "c10", "c9", ".git", "\xc3\x84pfel"})
            makeFolder(d + name);
        QVERIFY(::mkfifo(QByteArray(d + "fifo.jpg").constData(), 0644) == 0);
        for (const char* target : {"a.jpg", "nowhere.jpg", "folder.jpg", "fifo.jpg"})
            QVERIFY(::symlink(target, QByteArray(d + "link-to-" + target).constData()) == 0);

        const QSet<QByteArray> expected{"a.jpg", "B.JPG", "c.Jpg", "M\xfcnchen.jpg", "link-to-a.jpg"};
        // Also where the file system does not say what each entry is.
        for (const bool unknown : {true, false}) {
            platform::setEntryTypesUnknown(unknown);
            QCOMPARE(listAll(d, QStringLiteral("jpg")), expected);
            QCOMPARE(platform::subfolderNames(d), (QList<QByteArray>{"b", "c10", "c9", "folder.jpg",
                                                                     "link-to-folder.jpg", "Z", "\xc3\x84pfel"}));
        }
        QCOMPARE(listAll(d, QStringLiteral("JPG")), expected);
        QCOMPARE(listAll(d, QStringLiteral("png")), QSet<QByteArray>{"e.png"});
        QCOMPARE(listAll(d, QStringLiteral("jpg;jpeg;heic")), (expected + QSet<QByteArray>{"d.jpeg", "g.heic"}));
        QCOMPARE(listAll(d, QStringLiteral("jp*")), (expected + QSet<QByteArray>{"d.jpeg"}));
        QCOMPARE(listAll(d, QStringLiteral("*")),
                 (expected + QSet<QByteArray>{"d.jpeg", "e.png", "f.jpg.txt", "g.heic"}));
        ::unlink(QByteArray(d + "M\xfcnchen.jpg").constData()); // a name QTemporaryDir cannot remove
        platform::ImageFileEnumerator missing("/no/such/folder/", QStringLiteral("jpg"));
        QVERIFY(!missing.isOpen() && !missing.errorText().isEmpty() && !missing.next());
    }

    // Subfolders made or renamed (their number stays) while their folder is shown.
    void folderListFollowsTheDisk()
    {
        QTemporaryDir dir;
        const QByteArray root = platform::encodeName(dir.path()) + "/shown";
        makeFolder(root);
        makeFolder(root + "/a");
        Column c;
        QVERIFY(c.box.setNativePath(root));
        // The look that coming to the window brings, taken now: from here on only the watch tells.
        QVERIFY(QTest::qWaitForWindowActive(&c.box) && c.box.checkPresent());
        const auto listed = [&] { // below the highlighted folder itself
            QStringList names;
            for (int k = 0; k < c.box.currentItem()->childCount(); ++k)
                names.append(c.box.currentItem()->child(k)->text(0));
            return names;
        };
        makeFolder(root + "/b");
        QTRY_COMPARE(listed(), (QStringList{"a", "b"}));
        QCOMPARE(::rename(QByteArray(root + "/a").constData(), QByteArray(root + "/c").constData()), 0);
        QTRY_COMPARE(listed(), (QStringList{"b", "c"}));
    }

    void longPathsShortenedForMessagesAndWrappedForToolTips()
    {
        QCOMPARE(platform::pathForMessage("/home/anna/Bilder/Reisen/2019/Italien/Toskana/Florenz/Uffizien/"
                                          "Erster Tag/Vormittag/Kamera A/Serie 1/Panorama"),
                 QStringLiteral("/home/anna/Bilder/Reisen/2019/\u2026/Florenz/Uffizien/Erster Tag/Vormittag/"
                                "Kamera A/Serie 1/Panorama"));
        const QByteArray longName = "/tmp/" + QByteArray(120, 'n'); // nothing to leave out but the name
        QCOMPARE(platform::pathForMessage(longName), QString::fromLatin1(longName));
        // A line may be exactly as wide as allowed.
        QCOMPARE(platform::wrappedPath("/home/anna/Bilder/Urlaub", 11),
                 QStringLiteral("/home/anna/\nBilder/\nUrlaub"));
        QCOMPARE(platform::wrappedPath("/abcdefghijklmnopq", 8), QStringLiteral("/\nabcdefgh\nijklmnop\nq"));
    }

    void val_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("unit after number") << "120px" << 120.0;
        QTest::newRow("comma is not a decimal point") << "99,5" << 99.0;
        QTest::newRow("negative") << "-5" << -5.0;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("exponent without digits") << "5e" << 5.0;
        QTest::newRow("not a number") << "abc" << 0.0;
    }
    void val()
    {
        QFETCH(QString, text);
        QTEST(platform::Val(text), "expected");
    }

    // Halves round to the even neighbour; what does not fit into 16 bits has no value.
    void toInt16_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("expected"); // -1: none
        QTest::newRow("100.5") << 100.5 << 100;
        QTest::newRow("-2.5") << -2.5 << -2;
        QTest::newRow("lowest") << -32768.5 << -32768;
        QTest::newRow("too high") << 32767.5 << -1;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << -1;
    }
    void toInt16()
    {
        QFETCH(double, value);
        const std::optional<std::int16_t> result = platform::toInt16(value);
        QTEST(result ? int(*result) : -1, "expected");
    }

    void numberToTextWithoutGroups()
    {
        QCOMPARE(platform::numberToText(1.333, QLocale("en_US")), QStringLiteral("1.333"));
        QCOMPARE(platform::numberToText(12345.5, QLocale("de_DE")), QStringLiteral("12345,5"));
    }

    // Over 3,800 bytes, in levels of long names.
    void deepFolderStaysInViewAndOpensByKeys()
    {
        QTemporaryDir dir;
        QByteArray deep = platform::encodeName(dir.path());
        for (int level = 1; deep.size() < 3800; ++level) {
            deep += '/' + QByteArray::number(level).rightJustified(150, 'd');
            makeFolder(deep);
        }
        makeFolder(deep + "/erste");
        makeFolder(deep + "/zweite");
        Column c;
        QVERIFY(c.box.setNativePath(deep));
        QVERIFY(c.highlightInView());

        // Each key moves to a listed neighbour or to an end of the list, and the highlight stays in view.
        const QList<std::pair<Qt::Key, QByteArray>> steps = {
            {Qt::Key_Up, platform::parentFolder(deep)}, {Qt::Key_Down, deep},
            {Qt::Key_Down, deep + "/erste"},           {Qt::Key_Down, deep + "/zweite"},
            {Qt::Key_Down, deep + "/zweite"},          {Qt::Key_Home, "/"},
            {Qt::Key_End, deep + "/zweite"},           {Qt::Key_Up, deep + "/erste"}};
        for (const auto& [key, expected] : steps) {
            c.key(key);
            QCOMPARE(c.highlighted(), expected);
            QVERIFY(c.highlightInView());
        }
        c.key(Qt::Key_Return);
        QCOMPARE(c.box.nativePath(), deep + "/erste");
        QVERIFY(c.highlightInView());
    }

    // Linux follows at most 40 links in one path: the 41st is refused, and the list stays.
    void loopingLinkRefusedAtTheSystemsLimit()
    {
        QTemporaryDir dir;
        const QByteArray root = platform::encodeName(dir.path());
        makeFolder(root + "/a");
        QVERIFY(::symlink("..", QByteArray(root + "/a/b").constData()) == 0);
        const QByteArray deepest = root + QByteArray("/a/b").repeated(40) + "/a";
        ScriptedDialogs dialogs;
        Column c;
        QVERIFY(c.box.setNativePath(deepest));
        c.key(Qt::Key_Down);
        c.key(Qt::Key_Return);
        QCOMPARE(c.box.nativePath(), deepest);
        QCOMPARE(dialogs.messageTexts(),
                 QStringList{QStringLiteral("Der Ordner \"%1\" kann nicht geöffnet werden:\n%2")
                                 .arg(platform::pathForMessage(deepest + "/b"), platform::errorText(ELOOP))});
    }

    void vanishedFolderDoubleClicked_data()
    {
        QTest::addColumn<QByteArray>("removed");
        QTest::addColumn<QByteArray>("shownAfter");
        QTest::newRow("its subfolder") << QByteArray("/p/shown/sub") << QByteArray("/p/shown");
        QTest::newRow("the shown folder") << QByteArray("/p/shown") << QByteArray("/p");
    }
    void vanishedFolderDoubleClicked()
    {
        QFETCH(QByteArray, removed);
        QTemporaryDir dir;
        const QByteArray root = platform::encodeName(dir.path());
        QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/p/shown/sub")));
        ScriptedDialogs dialogs;
        Column c;
        QVERIFY(c.box.setNativePath(root + "/p/shown"));
        c.key(Qt::Key_Down);
        const QRect r = c.box.visualItemRect(c.box.currentItem());
        const QPoint onName(r.left() + 24, r.center().y());

        // Gone before the watch has told the list.
        QVERIFY(QDir(platform::decodeName(QByteArray(root + removed))).removeRecursively());
        QTest::mouseClick(c.box.viewport(), Qt::LeftButton, {}, onName);
        QTest::mouseDClick(c.box.viewport(), Qt::LeftButton, {}, onName);
        QCOMPARE(dialogs.messageTexts(),
                 QStringList{QStringLiteral("Der Ordner \"%1\" ist nicht mehr vorhanden.")
                                 .arg(platform::decodeName(QByteArray(root + removed)))});
        QTEST(c.box.nativePath().mid(root.size()), "shownAfter");
        QCOMPARE(c.box.currentItem()->childCount(), 0);
        QVERIFY(c.box.checkPresent()); // what the watch's late news leads to: no second message
        QCOMPARE(dialogs.messages.size(), 1);
    }

    // The mount table alone says which volumes there are: a mount that no longer answers must
    // not be asked anything.
    void volumesFromTheMountTable()
    {
        const QByteArray table = "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
                                 "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
                                 "30 27 0:23 / /run/user/1000 rw - tmpfs tmpfs rw\n"
                                 "31 27 8:17 / /run/media/anna/My\\040Card rw master:3 - exfat /dev/sdb1 rw\n"
                                 "32 27 0:40 / /mnt/ram rw - tmpfs tmpfs rw\n"
                                 "33 27 0:41 / /mnt/hung rw - fuse.sshfs host: rw\n"
                                 "34 33 0:42 / /mnt/hung rw - nfs4 server:/ rw\n"
                                 "35 27 254:0 /home /srv/bind\\134x rw - ext4 /dev/vda rw\n"
                                 "36 27 0:43 / /dev/shm rw - tmpfs tmpfs rw\n"
                                 "37 27 0:44 / /snap/core/1 ro - squashfs /dev/loop1 ro\n"
                                 "cut short\n"
                                 "38 27 0:45 / /mnt/no-type rw -\n";
        QList<QByteArray> roots;
        for (const platform::Volume& v : platform::volumesFromMountInfo(table))
            roots.append(v.rootPath);
        QCOMPARE(roots, (QList<QByteArray>{"/", "/mnt/hung", "/mnt/ram", "/run/media/anna/My Card", "/srv/bind\\x"}));
    }

    void volumeListFollowsMountsAndUnmounts()
    {
        FakeVolumes table;
        table.list = {{"/", QStringLiteral("/")}, {"/home", QStringLiteral("/home")}};
        platform::DriveListBox box;
        box.setVolumeSource(&table);
        box.showDriveOf("/home/anna");
        QSignalSpy chosen(&box, &platform::DriveListBox::Change);
        table.list.append({"/media/anna/KARTE", QStringLiteral("KARTE")});
        emit table.changed();
        QCOMPARE(box.count(), 3);
        QCOMPARE(box.itemText(2), QStringLiteral("KARTE"));
        QCOMPARE(box.Drive(), QByteArray("/home"));
        table.list.removeFirst();
        emit table.changed();
        QCOMPARE(box.count(), 2);
        QCOMPARE(box.itemText(1), QStringLiteral("KARTE"));
        QCOMPARE(box.Drive(), QByteArray("/home")); // the user's choice stays
        QCOMPARE(chosen.size(), 0);
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
