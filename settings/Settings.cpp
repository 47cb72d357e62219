#include "settings/Settings.h"

#include "platform/Numeric.h"
#include "platform/OwnFolders.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace settings {

namespace {

const QString Section = QStringLiteral("General Options");

} // namespace

bool readFlag(QStringView stored)
{
    return stored == u"1";
}

QString flagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

std::int16_t usableThumbSize(QStringView stored)
{
    const double value = platform::Val(stored);
    // Compared before rounding, so that a number too large for 16 bits still counts as large.
    if (value > MaxThumbSize)
        return MaxThumbSize;
    const std::optional<std::int16_t> size = platform::toInt16(value);
    if (!size || *size < 1)
        return DefaultThumbSize;
    return *size;
}

std::int64_t cacheLimitMiB(QStringView stored)
{
    constexpr std::int64_t kDefault = 512;
    // A petabyte, so that the limit in bytes cannot overflow.
    constexpr std::int64_t kLargest = std::int64_t(1) << 30;
    bool ok = false;
    const qlonglong value = stored.trimmed().toLongLong(&ok);
    if (!ok || value < 0)
        return kDefault;
    return std::min<std::int64_t>(value, kLargest);
}

bool exceedsThumbSizeCap(QStringView typed)
{
    return platform::Val(typed) > MaxThumbSize;
}

bool isZeroThumbSize(QStringView typed)
{
    return platform::Val(typed) == 0.0;
}

std::optional<QString> ratioText(QStringView width, QStringView height, const QLocale& locale)
{
    const double h = platform::Val(height);
    if (h == 0.0)
        return std::nullopt;
    // Scaling the width before dividing keeps exact quotients exact: 57 / 100 * 1000 comes out
    // a hair below 570 in binary and would be cut to 0.569.
    const double thousandths = std::floor(platform::Val(width) * 1000.0 / h);
    return platform::numberToText(thousandths / 1000.0, locale) + u')';
}

Store Store::user()
{
    const QSettings located(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tessaline"),
                            QStringLiteral("Tessaline"));
    return Store(located.fileName());
}

Store::Store(QString fileName) : m_fileName(std::move(fileName)) {}

QString Store::read(const Setting& setting) const
{
    QSettings file(m_fileName, QSettings::IniFormat);
    file.beginGroup(Section);
    const QVariant value = file.value(setting.key.toString());
    if (!value.isValid())
        return setting.fallback.toString();
    // An unquoted comma in a hand-written file makes Qt split the text into a list; the text
    // as written is what counts.
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

bool Store::write(const QList<std::pair<Setting, QString>>& values) const
{
    // QSettings keeps the first error it meets, so a damaged file would make even a successful
    // write look failed (and hide a real write failure). The first object takes the parse error;
    // the second shares its parsed copy and starts clean, so its status speaks of the write.
    // QSettings would make its folder with the umask's mode.
    platform::makeOwnFolder(QFile::encodeName(QFileInfo(m_fileName).absolutePath()));
    const QSettings parsed(m_fileName, QSettings::IniFormat);
    QSettings file(m_fileName, QSettings::IniFormat);
    file.beginGroup(Section);
    for (const auto& [setting, text] : values)
        file.setValue(setting.key.toString(), text);
    file.endGroup();
    file.sync();
    return file.status() == QSettings::NoError;
}

Props readProps(const Store& store)
{
    Props props;
    props.showfilename = readFlag(store.read(ShowFileName));
    props.selectfolder = readFlag(store.read(SelectFolder));
    props.companions = readFlag(store.read(RenameCompanions));
    props.thumbwidth = usableThumbSize(store.read(ThumbnailWidth));
    props.thumbheight = usableThumbSize(store.read(ThumbnailHeight));
    props.imageerw = store.read(ImageErw);
    props.thumbnailCacheMiB = cacheLimitMiB(store.read(ThumbnailCacheMiB));
    return props;
}

Props readProps()
{
    return readProps(Store::user());
}

} // namespace settings
