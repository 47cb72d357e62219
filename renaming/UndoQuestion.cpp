#include "renaming/Names.h"
#include "renaming/Renamer.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace renaming {

// The files of a run go back together from one folder to another; a record that was written by
// hand or damaged can hold files of several folders, and the question names every one.
QString Renamer::undoQuestion(const UndoPreview& preview) const
{
    constexpr qsizetype kShown = 12;
    struct Group
    {
        QByteArray now;
        QByteArray back;
        QList<const Renamed*> moves;
    };
    QList<Group> groups;
    QHash<QByteArray, qsizetype> groupOf;
    QSet<QByteArray> folders;
    for (const Renamed& m : preview.moves) {
        const QByteArray now = folderOf(m.from);
        const QByteArray back = folderOf(m.to);
        folders.insert(now);
        folders.insert(back);
        const QByteArray key = now + '\0' + back;
        auto it = groupOf.constFind(key);
        if (it == groupOf.cend()) {
            it = groupOf.insert(key, groups.size());
            groups.append({now, back, {}});
        }
        groups[*it].moves.append(&m);
    }

    QString text = QStringLiteral("Die letzte Umbenennung rückgängig machen?\n\n");
    if (groups.size() == 1) {
        const Group& g = groups.first();
        text += QStringLiteral("%1 Dateien in \"%2\" bekommen wieder ihre vorigen Namen")
                    .arg(preview.moves.size())
                    .arg(shown(g.now));
        if (g.now != g.back)
            text += QStringLiteral(" und kommen zurück nach \"%1\"").arg(shown(g.back));
    } else {
        text += QStringLiteral("%1 Dateien in %2 Ordnern bekommen wieder ihre vorigen Namen")
                    .arg(preview.moves.size())
                    .arg(folders.size());
    }
    const auto companions = std::count_if(preview.moves.cbegin(), preview.moves.cend(), [](const Renamed& m) { return m.companion; });
    if (companions == 1)
        text += QStringLiteral(" (darunter 1 Begleitdatei)");
    else if (companions > 1)
        text += QStringLiteral(" (darunter %1 Begleitdateien)").arg(companions);
    text += QLatin1Char(':');
    qsizetype left = kShown;
    for (const Group& g : groups) {
        text += QStringLiteral("\n");
        if (groups.size() > 1) {
            text += g.now == g.back ? QStringLiteral("\nIn \"%1\":").arg(shown(g.now))
                                    : QStringLiteral("\nIn \"%1\", zurück nach \"%2\":").arg(shown(g.now), shown(g.back));
        }
        const qsizetype listed = std::min(left, g.moves.size());
        for (qsizetype i = 0; i < listed; ++i) {
            text += QLatin1Char('\n') + shown(fileNameOf(g.moves[i]->from)) + QStringLiteral(" \u2192 ") +
                    shown(fileNameOf(g.moves[i]->to));
        }
        left -= listed;
        if (g.moves.size() > listed)
            text += QStringLiteral("\n\u2026 und %1 weitere").arg(g.moves.size() - listed);
    }
    return text;
}


} // namespace renaming
