#include "ordering/Companions.h"

#include "platform/FileNames.h"
#include "renaming/FileOps.h"

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace ordering {

namespace {

// The first `length` bytes of a name as a folder that ignores case compares them, into `folded`,
// whose room is used again: most names are ASCII, folded without a copy of their own.
void foldStart(const QByteArray& name, qsizetype length, QByteArray& folded)
{
    folded.resize(length);
    char* out = folded.data();
    for (qsizetype i = 0; i < length; ++i) {
        const char c = name[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            folded = renaming::foldedName(name.left(length));
            return;
        }
        out[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
}

} // namespace

CompanionsFound findCompanions(const QByteArray& folder, const QList<QByteArray>& shown,
                               const QList<QByteArray>& others)
{
    CompanionsFound found;
    found.pictures = shown.size();
    if (shown.isEmpty() || others.isEmpty())
        return found;
    // Each stem a picture lends its companions: its name without its extension, and its whole
    // name. A stem two pictures lend belongs to neither; the few such are kept aside with all
    // their pictures.
    struct Claim
    {
        qsizetype picture;
        bool wholeName;
        bool shared;
    };
    QHash<QByteArray, Claim> claims;
    QHash<QByteArray, QList<qsizetype>> shared;
    claims.reserve(shown.size() * 2);
    QByteArray key;
    const auto claim = [&](const QByteArray& name, qsizetype length, qsizetype picture, bool wholeName) {
        foldStart(name, length, key);
        const auto it = claims.find(key);
        if (it == claims.end()) {
            claims.insert(QByteArray(key.constData(), key.size()), Claim{picture, wholeName, false});
            return;
        }
        if (it->picture == picture)
            return;
        QList<qsizetype>& all = shared[key];
        if (!it->shared)
            all.append(it->picture);
        all.append(picture);
        it->shared = true;
    };
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const QByteArray& name = shown[i];
        claim(name, name.size(), i, true);
        // A picture without an extension lends one stem.
        if (const qsizetype dot = name.lastIndexOf('.'); dot > 0)
            claim(name, dot, i, false);
    }

    std::vector<qsizetype> counts(size_t(shown.size()) + 1, 0);
    struct Taken
    {
        qsizetype picture;
        qsizetype other;
        bool wholeName;
    };
    std::vector<Taken> taken;
    taken.reserve(size_t(others.size()));
    for (qsizetype k = 0; k < others.size(); ++k) {
        const QByteArray& name = others[k];
        const qsizetype dot = name.lastIndexOf('.');
        // A hidden file's stem starts with a dot, as no picture shown does.
        if (dot <= 0 || dot == name.size() - 1)
            continue;
        foldStart(name, dot, key);
        const auto it = claims.constFind(key);
        if (it == claims.cend())
            continue;
        if (!it->shared) {
            taken.push_back({it->picture, k, it->wholeName});
            ++counts[size_t(it->picture) + 1];
            continue;
        }
        CompanionsFound::Unclaimed unclaimed{name, {}};
        for (const qsizetype p : shared.value(key))
            unclaimed.pictures.append(shown[p]);
        std::sort(unclaimed.pictures.begin(), unclaimed.pictures.end());
        found.unclaimed.append(std::move(unclaimed));
    }

    // In the order of the pictures without a sort of them all: most have one or two companions.
    for (size_t i = 1; i < counts.size(); ++i)
        counts[i] += counts[i - 1];
    std::vector<const Taken*> placed(taken.size());
    for (const Taken& t : taken)
        placed[size_t(counts[size_t(t.picture)]++)] = &t;
    found.companions.reserve(qsizetype(taken.size()));
    qsizetype from = 0;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const qsizetype to = counts[size_t(i)];
        std::sort(placed.begin() + from, placed.begin() + to,
                  [&](const Taken* a, const Taken* b) { return others[a->other] < others[b->other]; });
        // A picture without an extension lends its whole name as its stem.
        const bool hasExtension = shown[i].lastIndexOf('.') > 0;
        for (qsizetype j = from; j < to; ++j) {
            const Taken& t = *placed[size_t(j)];
            found.companions.append({i, {folder + others[t.other], t.wholeName && hasExtension}});
        }
        from = to;
    }
    std::sort(found.unclaimed.begin(), found.unclaimed.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    return found;
}

namespace {

bool isRaw(const QByteArray& extension)
{
    // The raw formats of the cameras in use, and Adobe's.
    static const QSet<QByteArray> raw{"3fr", "arw", "cr2", "cr3", "crw", "dcr", "dng", "erf", "fff", "iiq", "k25",
                                      "kdc", "mef", "mos", "mrw", "nef", "nrw", "orf", "ori", "pef", "raf", "raw",
                                      "rw2", "rwl", "sr2", "srf", "srw", "x3f"};
    return raw.contains(extension.toLower());
}

QByteArray extensionOf(const renaming::Companion& c)
{
    return c.path.mid(c.path.lastIndexOf('.') + 1);
}

QString nameText(const QByteArray& path)
{
    return platform::displayName(platform::decodeName(renaming::fileNameOf(path)));
}

} // namespace

QString companionMark(const QList<renaming::Companion>& companions)
{
    if (companions.isEmpty())
        return {};
    const auto raw = std::find_if(companions.cbegin(), companions.cend(),
                                  [](const renaming::Companion& c) { return isRaw(extensionOf(c)); });
    const QString first = raw != companions.cend()
                              ? QStringLiteral("RAW")
                              : platform::displayName(platform::decodeName(extensionOf(companions.first()))).toUpper();
    // A long extension would cover the picture; its start says enough.
    QString mark = first.left(4);
    if (companions.size() > 1)
        mark += QStringLiteral(" +%1").arg(companions.size() - 1);
    return mark;
}

QString pictureToolTip(const QByteArray& path, const QList<renaming::Companion>& companions)
{
    QString text = platform::displayName(platform::decodeName(path));
    if (companions.isEmpty())
        return text;
    text += companions.size() == 1 ? QStringLiteral("\n\nBegleitdatei:") : QStringLiteral("\n\nBegleitdateien:");
    for (const renaming::Companion& c : companions)
        text += QLatin1Char('\n') + nameText(c.path);
    return text;
}

QString unclaimedText(const QList<CompanionsFound::Unclaimed>& unclaimed)
{
    if (unclaimed.isEmpty())
        return {};
    constexpr qsizetype kNamed = 5;
    QString text = unclaimed.size() == 1
                       ? QStringLiteral("Eine Begleitdatei gehört zu mehreren Bildern und behält ihren Namen:")
                       : QStringLiteral("%1 Begleitdateien gehören zu mehreren Bildern und behalten ihre Namen:")
                             .arg(unclaimed.size());
    for (qsizetype i = 0; i < std::min(kNamed, unclaimed.size()); ++i) {
        QStringList pictures;
        for (const QByteArray& p : unclaimed[i].pictures)
            pictures.append(QStringLiteral("\"%1\"").arg(nameText(p)));
        text += QStringLiteral("\n\"%1\" (zu %2)").arg(nameText(unclaimed[i].name), pictures.join(QStringLiteral(", ")));
    }
    if (unclaimed.size() > kNamed)
        text += QStringLiteral("\n… und %1 weitere").arg(unclaimed.size() - kNamed);
    return text;
}

} // namespace ordering
