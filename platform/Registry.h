#pragma once
// Read-only key/value store standing in for the system registry.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace platform {

// The root keys, by the handle values the registry gives them.
enum class RegistryRoot : std::uint32_t
{
    ClassesRoot = 0x80000000u,
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
    Users = 0x80000003u,
    CurrentConfig = 0x80000005u,
};

// The value types that readers tell apart; the store keeps any type number it is given.
enum class RegistryType : std::uint32_t
{
    String = 1,
    ExpandString = 2,
    Binary = 3,
    DWord = 4,
};

struct RegistryValue
{
    std::uint32_t type = 0;
    // The bytes as stored: a string value ends with its terminating zero.
    QByteArray data;
};

// The program's registry: a small store of typed values under keys, read from a UTF-8 file in
// the export syntax of the Windows registry editor, for example
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO]
//   "PATH"="/usr/bin/hardinfo"
//
// String values ("text", with \\ and \" as escapes), dword:0000002a and
// hex(N):61,62,00 (any type, bytes as given; hex: is type 3) are understood, each on one line;
// comment lines start with ";" or "#", and lines that mean nothing here are skipped. Key and
// value names ignore letter case, as in the registry. Strings are kept in UTF-8 with their
// terminating zero.
class Registry
{
public:
    Registry() = default;

    static Registry fromText(QStringView text);
    // Empty when the file cannot be read.
    static Registry fromFile(const QString& path);

    // The file tessaline/registry.reg from the first of the system configuration folders
    // ($XDG_CONFIG_DIRS, /etc/xdg when unset) that has one; without such a file,
    // builtInDefault().
    static Registry system();

    // What the program assumes where no file is configured: the system information program
    // is the first of a list of known ones that is installed (found on $PATH), given as the
    // "PATH" value of the key that names it; empty when none is installed.
    static Registry builtInDefault();

    void setValue(RegistryRoot root, QStringView keyName, QStringView valueName, RegistryValue value);
    std::optional<RegistryValue> value(RegistryRoot root, QStringView keyName, QStringView valueName) const;

private:
    static QString address(RegistryRoot root, QStringView keyName, QStringView valueName);

    QHash<QString, RegistryValue> m_values;
};

// Reads one value as text into KeyVal, as the about box has always read the registry: a
// string loses its terminating zero (one character, and only a zero); a dword becomes its
// decimal number; a value of any other type leaves KeyVal unchanged and still counts as read.
// A missing key or value, or one longer than 1024 bytes, empties KeyVal and gives false.
bool GetKeyValue(const Registry& registry, RegistryRoot KeyRoot, const QString& KeyName,
                 const QString& SubKeyRef, QString& KeyVal);

} // namespace platform
