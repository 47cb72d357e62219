#include "ordering/Companions.h"

#include "platform/FileNames.h"
#include "renaming/FileOps.h"

#include <QSet>
#include <QStringList>

#include <algorithm>

namespace ordering {

CompanionsFound findCompanions(const QByteArray& folder, const QList<QByteArray>& shown,
                               const QList<QByteArray>& others)
{
    CompanionsFound found;
    if (shown.isEmpty() || others.isEmpty())
        return found;
    struct Claim
    {
        qsizetype picture;
        bool wholeName;
    };
    // Most folders have a single claim for each stem: pictures with one companion form or
    // another stem; a list only where two pictures share a stem.
    QHash<QByteArray, QList<Claim>> claims;
    claims.reserve(shown.size() * 2);
    QSet<QByteArray> shownNames;
    shownNames.reserve(shown.size());
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const QByteArray& name = shown[i];
        shownNames.insert(name);
        const QByteArray whole = renaming::foldedName(name);
        claims[whole].append({i, true});
        const qsizetype dot = name.lastIndexOf('.');
        if (dot > 0) {
            const QByteArray base = renaming::foldedName(name.left(dot));
            if (base != whole)
                claims[base].append({i, false});
        }
    }

    QList<std::pair<QByteArray, renaming::Companion>> taken;
    for (const QByteArray& name : others) {
        const qsizetype dot = name.lastIndexOf('.');
        if (name.startsWith('.') || dot <= 0 || dot == name.size() - 1 || shownNames.contains(name))
            continue;
        const auto it = claims.constFind(renaming::foldedName(name.left(dot)));
        if (it == claims.cend())
            continue;
        const QList<Claim>& list = *it;
        const bool one = std::all_of(list.cbegin(), list.cend(),
                                     [&](const Claim& c) { return c.picture == list.first().picture; });
        if (one) {
            // A picture without an extension is claimed once, as its whole name and stem are one.
            const QByteArray& picture = shown[list.first().picture];
            taken.append({picture, {folder + name, list.first().wholeName && picture.lastIndexOf('.') > 0}});
            continue;
        }
        CompanionsFound::Unclaimed unclaimed{name, {}};
        for (const Claim& c : list)
            if (!unclaimed.pictures.contains(shown[c.picture]))
                unclaimed.pictures.append(shown[c.picture]);
        std::sort(unclaimed.pictures.begin(), unclaimed.pictures.end());
        found.unclaimed.append(std::move(unclaimed));
    }
    std::sort(taken.begin(), taken.end(), [](const auto& a, const auto& b) { return a.second.path < b.second.path; });
    for (auto& [picture, companion] : taken)
        found.byPicture[picture].append(std::move(companion));
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
