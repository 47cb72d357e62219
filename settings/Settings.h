#pragma once

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <utility>

namespace settings {

// The user settings as the main window uses them.
struct Props
{
    bool showfilename = true;
    bool selectfolder = true;
    bool companions = true; // a picture's companions are renamed with it
    std::int16_t thumbwidth = 100;
    std::int16_t thumbheight = 100;
    QString imageerw = QStringLiteral("jpg");
    std::int64_t thumbnailCacheMiB = 512;
};

// A stored setting: its key in the section "General Options" and the text a read returns when
// the key is absent.
struct Setting
{
    QStringView key;
    QStringView fallback;
};

inline constexpr Setting ShowFileName{u"ShowFileName", u"1"};
inline constexpr Setting SelectFolder{u"SelectFolder", u"1"};
// A picture's RAW twin and sidecars are renamed with it, and its box carries a mark for them.
inline constexpr Setting RenameCompanions{u"RenameCompanions", u"1"};
inline constexpr Setting ThumbnailWidth{u"ThumbnailWidth", u"100"};
inline constexpr Setting ThumbnailHeight{u"ThumbnailHeight", u"100"};
inline constexpr Setting ImageErw{u"ImageErw", u"jpg"};
// The size limit of the thumbnail cache in MiB; no control in the options dialog.
inline constexpr Setting ThumbnailCacheMiB{u"ThumbnailCacheMiB", u"512"};

// Thumbnails are between 1 and MaxThumbSize pixels on each side; sizes that cannot be used
// become DefaultThumbSize (see usableThumbSize).
inline constexpr std::int16_t MaxThumbSize = 500;
inline constexpr std::int16_t DefaultThumbSize = 100;

// A stored flag is on exactly for the text "1"; "true", "yes" and "-1" are off.
bool readFlag(QStringView stored);
// How a flag is stored: "1" or "0".
QString flagText(bool on);

// The thumbnail size the main window works with: the leading number of the text, rounded half
// to even ("120px" -> 120, "99.5" -> 100, "100.5" -> 100), when it lies in 1..MaxThumbSize; a
// larger number (also one beyond 16 bits) gives MaxThumbSize, and anything that does not read as
// a positive size (0, negative, not a number, 0.5 and less, which round to 0) gives
// DefaultThumbSize.
// The options dialog keeps typed sizes at or below MaxThumbSize and refuses 0, but the store
// can hold anything: edited by hand, written by an older version, or a negative typed size.
std::int16_t usableThumbSize(QStringView stored);

// The thumbnail cache's limit: a whole number of MiB, 0 switching the cache off; anything else
// (empty, negative, a fraction, not a number) is the default, 512.
std::int64_t cacheLimitMiB(QStringView stored);

// The options dialog's checks on a typed size.
bool exceedsThumbSizeCap(QStringView typed);
bool isZeroThumbSize(QStringView typed);

// The text after "(Verhältnis: 1:" for the typed sizes: width / height truncated (not
// rounded) to three decimals in the locale's notation, followed by ")", e.g. "1,333)" for
// 100 and 75 with a German locale.
// Empty when the height reads as 0, so that the label keeps what it showed.
std::optional<QString> ratioText(QStringView width, QStringView height, const QLocale& locale);

// The per-user settings file. Every value is a string; keys live in the section
// "General Options" (which Qt writes as [General%20Options]).
class Store
{
public:
    // The user's store: Tessaline/Tessaline.ini in the user's configuration folder
    // ($XDG_CONFIG_HOME, usually ~/.config).
    static Store user();

    // A store kept in the given INI file.
    explicit Store(QString fileName);

    const QString& fileName() const { return m_fileName; }

    // The stored text, or the setting's default when the key is absent. A file that cannot be
    // read, or the parts of a damaged file that cannot be parsed, read as absent.
    QString read(const Setting& setting) const;

    // Writes the values in the given order and flushes them to disk. False when they could
    // not be saved (a folder that cannot be created or written, a file that is not a file).
    bool write(const QList<std::pair<Setting, QString>>& values) const;

private:
    QString m_fileName;
};

// The settings as the main window uses them, with unusable sizes replaced by usableThumbSize.
Props readProps(const Store& store);
Props readProps();

} // namespace settings
