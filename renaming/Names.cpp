#include "renaming/Names.h"

#include <QStringBuilder>

namespace renaming {

QByteArray numberText(int i)
{
    return QByteArray::number(i).rightJustified(4, '0');
}

QByteArray prefixedName(const QByteArray& prefix, int i, const QByteArray& extension)
{
    return prefix + numberText(i) + '.' + extension;
}

QByteArray keptExtension(const platform::ExtensionPattern& extensions, const QByteArray& name)
{
    const std::optional<platform::ExtensionPattern::Match> m = extensions.match(name);
    if (!m)
        return name.mid(name.lastIndexOf('.') + 1);
    const QByteArray& entry = extensions.entries()[m->entry];
    return platform::ExtensionPattern::hasWildcard(entry) ? name.mid(m->extensionAt) : entry;
}

QByteArray numberedName(int i, const QByteArray& oldName)
{
    return numberText(i) + ' ' + oldName;
}

QByteArray newName(const QByteArray& prefix, int i, const QByteArray& extension, const QByteArray& oldPath)
{
    return prefix.isEmpty() ? numberedName(i, fileNameOf(oldPath)) : prefixedName(prefix, i, extension);
}

Numbering::Numbering(QList<QByteArray> sources, const platform::ExtensionPattern& extensions)
    : m_sources(std::move(sources))
{
    m_extensions.reserve(m_sources.size());
    for (const QByteArray& source : std::as_const(m_sources))
        m_extensions.append(keptExtension(extensions, fileNameOf(source)));
}

QList<QByteArray> Numbering::names(const QByteArray& prefix) const
{
    QList<QByteArray> names;
    names.reserve(m_sources.size());
    for (qsizetype k = 0; k < m_sources.size(); ++k)
        names.append(newName(prefix, static_cast<int>(k + 1), m_extensions[k], m_sources[k]));
    return names;
}

QList<Move> Numbering::moves(const QByteArray& prefix) const
{
    const QList<QByteArray> given = names(prefix);
    QList<Move> moves;
    moves.reserve(given.size());
    for (qsizetype k = 0; k < given.size(); ++k)
        moves.append({m_sources[k], given[k]});
    return moves;
}

QByteArray fileNameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray joinPath(const QByteArray& folder, const QByteArray& name)
{
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

} // namespace renaming
