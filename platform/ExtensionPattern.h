#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

namespace platform {

// The extension setting ("ImageErw") as the listing and the renaming read it: one or more
// entries separated by ";" ("jpg;jpeg;heic"), each matched against a file's extension, the part
// of its name after its last dot (after as many dots as the entry has parts, for an entry such as
// "tar.gz"): letter case ignored (ASCII letters; cameras write .JPG), "*" standing for any run of
// characters and "?" for exactly one. Neither stands for a dot, so "jp*" does not take the
// sidecar file IMG_1.JPG.xmp that a raw developer leaves next to a photo. A name without a dot
// has no extension and matches nothing. Blanks around an entry are not part of it and empty
// entries are left out; a setting with no entry at all is the one empty entry, which matches
// names that end in a dot, as the pattern "*." always has. Works on the file system's bytes;
// Qt Core only, so that the renaming can share it.
class ExtensionPattern
{
public:
    explicit ExtensionPattern(const QByteArray& setting);

    // The entries as spelt in the setting, in its order.
    const QList<QByteArray>& entries() const { return m_entries; }
    // One entry without a wildcard: every file gets that extension when renamed.
    bool isSingleExtension() const;

    struct Match
    {
        qsizetype entry = 0;       // the first entry that matches
        qsizetype extensionAt = 0; // where the part after the dot that it matched begins
    };
    // The first entry that matches the name, and where the extension it matched begins;
    // nothing when no entry matches.
    std::optional<Match> match(QByteArrayView name) const;
    bool matches(QByteArrayView name) const { return match(name).has_value(); }

    static bool hasWildcard(QByteArrayView entry);

private:
    QList<QByteArray> m_entries;
};

// Whether `text` as a whole matches `pattern`, ASCII letters compared without regard to case,
// "*" any run of characters (also none), "?" exactly one.
bool wildcardMatch(QByteArrayView pattern, QByteArrayView text);

} // namespace platform
