#include "platform/Registry.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <array>

namespace platform {

namespace {

constexpr qsizetype ValueBufferSize = 1024;

std::optional<RegistryRoot> rootNamed(QStringView name)
{
    static constexpr std::array<std::pair<QStringView, RegistryRoot>, 5> roots{{
        {u"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
        {u"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
        {u"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
        {u"HKEY_USERS", RegistryRoot::Users},
        {u"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig},
    }};
    for (const auto& [rootName, root] : roots) {
        if (name.compare(rootName, Qt::CaseInsensitive) == 0)
            return root;
    }
    return std::nullopt;
}

// A quoted text at the start of `text` with \\ and \" as escapes; the text after the closing
// quote goes to `rest`.
std::optional<QString> quoted(QStringView text, QStringView* rest)
{
    if (!text.startsWith(u'"'))
        return std::nullopt;
    QString result;
    for (qsizetype i = 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'"') {
            *rest = text.mid(i + 1);
            return result;
        }
        if (c == u'\\' && i + 1 < text.size() && (text[i + 1] == u'\\' || text[i + 1] == u'"'))
            ++i;
        result += text[i];
    }
    return std::nullopt;
}

std::optional<QByteArray> hexBytes(QStringView list)
{
    QByteArray bytes;
    for (QStringView part : list.split(u',')) {
        part = part.trimmed();
        if (part.isEmpty())
            continue;
        bool ok = false;
        const uint byte = part.toUInt(&ok, 16);
        if (!ok || byte > 0xff)
            return std::nullopt;
        bytes.append(static_cast<char>(byte));
    }
    return bytes;
}

std::optional<RegistryValue> parseData(QStringView data)
{
    QStringView rest;
    if (const std::optional<QString> text = quoted(data, &rest)) {
        if (!rest.trimmed().isEmpty())
            return std::nullopt;
        QByteArray bytes = text->toUtf8();
        bytes.append('\0');
        return RegistryValue{static_cast<std::uint32_t>(RegistryType::String), bytes};
    }
    if (data.startsWith(u"dword:", Qt::CaseInsensitive)) {
        const QStringView digits = data.mid(6).trimmed();
        bool ok = false;
        const uint number = digits.toUInt(&ok, 16);
        if (!ok || digits.size() > 8)
            return std::nullopt;
        QByteArray bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[i] = static_cast<char>((number >> (8 * i)) & 0xffu);
        return RegistryValue{static_cast<std::uint32_t>(RegistryType::DWord), bytes};
    }
    if (data.startsWith(u"hex", Qt::CaseInsensitive)) {
        std::uint32_t type = static_cast<std::uint32_t>(RegistryType::Binary);
        QStringView list = data.mid(3);
        if (list.startsWith(u'(')) {
            const qsizetype close = list.indexOf(u')');
            bool ok = false;
            type = close > 0 ? list.mid(1, close - 1).toUInt(&ok, 16) : 0;
            if (!ok)
                return std::nullopt;
            list = list.mid(close + 1);
        }
        if (!list.startsWith(u':'))
            return std::nullopt;
        const std::optional<QByteArray> bytes = hexBytes(list.mid(1));
        if (!bytes)
            return std::nullopt;
        return RegistryValue{type, *bytes};
    }
    return std::nullopt;
}

} // namespace

Registry Registry::fromText(QStringView text)
{
    Registry registry;
    std::optional<RegistryRoot> root;
    QString keyName;
    for (QStringView line : text.split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            const QStringView path = line.mid(1, line.size() - 2);
            const qsizetype slash = path.indexOf(u'\\');
            root = rootNamed(slash < 0 ? path : path.left(slash));
            keyName = slash < 0 ? QString() : path.mid(slash + 1).toString();
            continue;
        }
        if (!root)
            continue;
        QString valueName;
        QStringView rest;
        if (line.startsWith(u'@')) {
            rest = line.mid(1);
        } else if (const std::optional<QString> name = quoted(line, &rest)) {
            valueName = *name;
        } else {
            continue;
        }
        rest = rest.trimmed();
        if (!rest.startsWith(u'='))
            continue;
        if (const std::optional<RegistryValue> value = parseData(rest.mid(1).trimmed()))
            registry.setValue(*root, keyName, valueName, *value);
    }
    return registry;
}

Registry Registry::fromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return fromText(QString::fromUtf8(file.readAll()));
}

Registry Registry::system()
{
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    folders.removeAll(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    for (const QString& folder : std::as_const(folders)) {
        const QString path = folder + QStringLiteral("/tessaline/registry.reg");
        if (QFileInfo(path).isFile())
            return fromFile(path);
    }
    return builtInDefault();
}

Registry Registry::builtInDefault()
{
    // Programs that show what the machine is made of and runs, those that do only that first,
    // then the desktops' system monitors.
    static constexpr std::array<QStringView, 10> candidates{
        u"hardinfo",
        u"kinfocenter",
        u"cpu-x",
        u"gnome-system-monitor",
        u"mate-system-monitor",
        u"plasma-systemmonitor",
        u"ksysguard",
        u"xfce4-taskmanager",
        u"lxtask",
        u"lshw-gtk",
    };
    Registry registry;
    for (QStringView name : candidates) {
        const QString path = QStandardPaths::findExecutable(name.toString());
        if (path.isEmpty())
            continue;
        QByteArray data = path.toUtf8();
        data.append('\0');
        registry.setValue(RegistryRoot::LocalMachine, u"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", u"PATH",
                          {static_cast<std::uint32_t>(RegistryType::String), data});
        break;
    }
    return registry;
}

QString Registry::address(RegistryRoot root, QStringView keyName, QStringView valueName)
{
    return QString::number(static_cast<std::uint32_t>(root)) + u'\\' + keyName.toString().toCaseFolded() +
           QChar(0) + valueName.toString().toCaseFolded();
}

void Registry::setValue(RegistryRoot root, QStringView keyName, QStringView valueName, RegistryValue value)
{
    m_values.insert(address(root, keyName, valueName), std::move(value));
}

std::optional<RegistryValue> Registry::value(RegistryRoot root, QStringView keyName,
                                             QStringView valueName) const
{
    const auto found = m_values.constFind(address(root, keyName, valueName));
    if (found == m_values.constEnd())
        return std::nullopt;
    return *found;
}

bool GetKeyValue(const Registry& registry, RegistryRoot KeyRoot, const QString& KeyName,
                 const QString& SubKeyRef, QString& KeyVal)
{
    const std::optional<RegistryValue> value = registry.value(KeyRoot, KeyName, SubKeyRef);
    if (!value || value->data.size() > ValueBufferSize) {
        KeyVal.clear();
        return false;
    }
    switch (static_cast<RegistryType>(value->type)) {
    case RegistryType::String: {
        QByteArray kept = value->data;
        if (kept.endsWith('\0'))
            kept.chop(1);
        KeyVal = QString::fromUtf8(kept);
        break;
    }
    case RegistryType::DWord: {
        std::uint32_t number = 0;
        for (qsizetype i = 0; i < value->data.size() && i < 4; ++i)
            number |= std::uint32_t(static_cast<unsigned char>(value->data[i])) << (8 * i);
        KeyVal = QString::number(number);
        break;
    }
    default:
        break;
    }
    return true;
}

} // namespace platform
