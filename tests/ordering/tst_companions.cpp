#include "ordering/Companions.h"

#include <QStringList>
#include <QTest>

#include <algorithm>

using ordering::CompanionsFound;
using ordering::findCompanions;
using renaming::Companion;

namespace {

const QByteArray kFolder("/photos/");

// Each picture with companions as "IMG.JPG: IMG.CR2 +IMG.JPG.xmp" ("+": named after the whole
// name), sorted, then each file that goes with several as "?IMG.xmp (A.JPG B.HEIC)".
QStringList described(const CompanionsFound& found, const QList<QByteArray>& shown)
{
    QStringList lines;
    qsizetype last = -1;
    for (const CompanionsFound::Found& f : found.companions) {
        if (f.picture < 0 || f.picture >= shown.size() || f.picture < last)
            return {QStringLiteral("picture out of order: %1").arg(f.picture)};
        if (f.picture != last)
            lines.append(QString::fromUtf8(shown[f.picture]) + QLatin1Char(':'));
        last = f.picture;
        const Companion& c = f.companion;
        if (!c.path.startsWith(kFolder))
            return {QStringLiteral("path outside the folder: ") + QString::fromUtf8(c.path)};
        lines.last() += QLatin1Char(' ') + (c.afterWholeName ? QStringLiteral("+") : QString()) +
                        QString::fromUtf8(c.path.mid(kFolder.size()));
    }
    std::sort(lines.begin(), lines.end());
    for (const CompanionsFound::Unclaimed& u : found.unclaimed) {
        QStringList pictures;
        for (const QByteArray& p : u.pictures)
            pictures.append(QString::fromUtf8(p));
        lines.append(QStringLiteral("?%1 (%2)").arg(QString::fromUtf8(u.name), pictures.join(QLatin1Char(' '))));
    }
    return lines;
}

QList<Companion> companionsNamed(const QList<QByteArray>& names)
{
    QList<Companion> list;
    for (const QByteArray& n : names)
        list.append({kFolder + n, false});
    return list;
}

} // namespace

class TestCompanions : public QObject
{
    Q_OBJECT
private slots:
    // Which files go with which picture: the base name with another extension or the whole name
    // with one more, letter case aside; a shown file, a hidden one, a near name never; a file two
    // pictures could claim goes with neither.
    void rules_data()
    {
        QTest::addColumn<QList<QByteArray>>("shown");
        QTest::addColumn<QList<QByteArray>>("others");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* what, const QList<QByteArray>& shown, const QList<QByteArray>& others,
                            const QStringList& expected) { QTest::newRow(what) << shown << others << expected; };
        row("RAW twin and sidecars of both forms", {"IMG_0001.JPG"},
            {"IMG_0001.CR2", "IMG_0001.xmp", "IMG_0001.JPG.xmp", "IMG_0001.pp3"},
            {"IMG_0001.JPG: IMG_0001.CR2 +IMG_0001.JPG.xmp IMG_0001.pp3 IMG_0001.xmp"});
        row("letter case ignored", {"IMG_0001.JPG"}, {"img_0001.cr2", "Img_0001.XMP", "img_0001.jpg.XMP"},
            {"IMG_0001.JPG: Img_0001.XMP img_0001.cr2 +img_0001.jpg.XMP"});
        row("letters beyond ASCII folded", {"\xc3\x84pfel.jpg"}, {"\xc3\xa4pfel.xmp", "\xc3\xa4PFEL.jpg.xmp"},
            {"\xc3\x84pfel.jpg: +\xc3\xa4PFEL.jpg.xmp \xc3\xa4pfel.xmp"});
        row("names that are not UTF-8", {"M\xfc.jpg"}, {"M\xfc.cr2", "m\xfc.xmp"}, {"M\xfc.jpg: M\xfc.cr2 m\xfc.xmp"});
        row("a clip's thumbnail, proxy and subtitles", {"MVI_0001.MP4"}, {"MVI_0001.THM", "MVI_0001.LRV", "MVI_0001.SRT"},
            {"MVI_0001.MP4: MVI_0001.LRV MVI_0001.SRT MVI_0001.THM"});
        row("a phone's edits", {"IMG_0001.HEIC", "IMG_E0001.HEIC"}, {"IMG_0001.AAE", "IMG_E0001.AAE"},
            {"IMG_0001.HEIC: IMG_0001.AAE", "IMG_E0001.HEIC: IMG_E0001.AAE"});
        row("near names are not companions", {"IMG_0001.JPG"},
            {"IMG_00011.CR2", "IMG_000.CR2", "IMG_0001", "IMG_0001.", "IMG_0001.JPG.xmp.bak", "IMG_0001 .xmp",
             "xIMG_0001.xmp", "IMG_0001.JP.xmp"},
            {});
        row("hidden files are not companions", {"IMG_0001.JPG"}, {".IMG_0001.xmp", "._IMG_0001.JPG", ".IMG_0001.JPG.xmp"},
            {});
        row("no pictures", {}, {"IMG_0001.xmp"}, {});
        row("no other files", {"IMG_0001.JPG"}, {}, {});
        row("a base name with dots", {"2024.05.01 Feier.jpg"}, {"2024.05.01 Feier.xmp", "2024.05.01.xmp"},
            {"2024.05.01 Feier.jpg: 2024.05.01 Feier.xmp"});
        row("a picture without an extension", {"scan"}, {"scan.xmp", "scan.d.xmp"}, {"scan: scan.xmp"});
        row("two pictures, one sidecar: neither's", {"IMG_0001.JPG", "IMG_0001.HEIC"},
            {"IMG_0001.xmp", "IMG_0001.JPG.xmp", "IMG_0001.HEIC.aae"},
            {"IMG_0001.HEIC: +IMG_0001.HEIC.aae", "IMG_0001.JPG: +IMG_0001.JPG.xmp",
             "?IMG_0001.xmp (IMG_0001.HEIC IMG_0001.JPG)"});
        row("two pictures in other letters", {"a.jpg", "A.jpg"}, {"a.xmp", "A.JPG.xmp"},
            {"?A.JPG.xmp (A.jpg a.jpg)", "?a.xmp (A.jpg a.jpg)"});
        row("claimed by one picture's base name and another's whole name", {"x.jpg", "x.jpg.png"}, {"x.jpg.xmp", "x.png"},
            {"x.jpg: x.png", "?x.jpg.xmp (x.jpg x.jpg.png)"});
    }
    void rules()
    {
        QFETCH(QList<QByteArray>, shown);
        QFETCH(QList<QByteArray>, others);
        const CompanionsFound found = findCompanions(kFolder, shown, others);
        QCOMPARE(found.pictures, shown.size());
        QTEST(described(found, shown), "expected");
    }

    // The box's mark names the kind of the first companion (a raw file before a sidecar) and how
    // many more there are, in a few letters.
    void mark_data()
    {
        QTest::addColumn<QList<QByteArray>>("companions");
        QTest::addColumn<QString>("mark");
        QTest::newRow("none") << QList<QByteArray>{} << QString();
        QTest::newRow("a raw file") << QList<QByteArray>{"a.CR2"} << "RAW";
        QTest::newRow("a raw file in small letters") << QList<QByteArray>{"a.nef"} << "RAW";
        QTest::newRow("a sidecar") << QList<QByteArray>{"a.xmp"} << "XMP";
        QTest::newRow("a raw file after a sidecar") << QList<QByteArray>{"a.jpg.xmp", "a.dng"} << "RAW +1";
        QTest::newRow("three") << QList<QByteArray>{"a.aae", "a.pp3", "a.xmp"} << "AAE +2";
        QTest::newRow("a long extension") << QList<QByteArray>{"a.backup"} << "BACK";
    }
    void mark()
    {
        QFETCH(QList<QByteArray>, companions);
        QTEST(ordering::companionMark(companionsNamed(companions)), "mark");
    }

    // Names in the tooltip and in the rename's words are plain text, one to a line.
    void texts()
    {
        QCOMPARE(ordering::pictureToolTip("/photos/<b>a</b>.jpg", {}), QStringLiteral("/photos/<b>a</b>.jpg"));
        QCOMPARE(ordering::pictureToolTip("/photos/a.jpg", companionsNamed({"a.CR2", "a\u202e.xmp"})),
                 QStringLiteral("/photos/a.jpg\n\nBegleitdateien:\na.CR2\na\\u202E.xmp"));
        QCOMPARE(ordering::pictureToolTip("/photos/a.jpg", companionsNamed({"a\n.CR2"})),
                 QStringLiteral("/photos/a.jpg\n\nBegleitdatei:\na\\u000A.CR2"));

        QCOMPARE(ordering::unclaimedText({}), QString());
        QCOMPARE(ordering::unclaimedText({{"a.xmp", {"a.heic", "a.jpg"}}}),
                 QStringLiteral("Eine Begleitdatei gehört zu mehreren Bildern und behält ihren Namen:\n"
                                "\"a.xmp\" (zu \"a.heic\", \"a.jpg\")"));
        QList<CompanionsFound::Unclaimed> six;
        for (char c = 'a'; c <= 'f'; ++c)
            six.append({QByteArray(1, c) + ".xmp", {QByteArray(1, c) + ".jpg", QByteArray(1, c) + ".heic"}});
        const QString text = ordering::unclaimedText(six);
        QVERIFY(text.startsWith(QStringLiteral("6 Begleitdateien gehören zu mehreren Bildern und behalten ihre Namen:\n")));
        QVERIFY(text.contains(QStringLiteral("\"e.xmp\"")));
        QVERIFY(!text.contains(QStringLiteral("\"f.xmp\"")));
        QVERIFY(text.endsWith(QStringLiteral("\n… und 1 weitere")));
    }
};

QTEST_GUILESS_MAIN(TestCompanions)
#include "tst_companions.moc"
