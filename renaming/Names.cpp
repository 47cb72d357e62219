#include "renaming/Names.h"

#include <QStringBuilder>

#include <numeric>

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

QByteArray companionName(const QByteArray& pictureName, const Companion& companion)
{
    const QByteArray name = fileNameOf(companion.path);
    const QByteArray own = name.mid(name.lastIndexOf('.'));
    if (companion.afterWholeName)
        return pictureName + own;
    const qsizetype dot = pictureName.lastIndexOf('.');
    return (dot > 0 ? pictureName.left(dot) : pictureName) + own;
}

Numbering::Numbering(const QList<QByteArray>& pictures, const platform::ExtensionPattern& extensions,
                     const QList<QList<Companion>>& companions)
{
    const qsizetype files = pictures.size() + std::accumulate(companions.cbegin(), companions.cend(), qsizetype(0),
                                                              [](qsizetype n, const auto& list) { return n + list.size(); });
    m_sources.reserve(files);
    m_extensions.reserve(files);
    m_companionOf.reserve(files);
    m_afterWholeName.reserve(files);
    for (qsizetype k = 0; k < pictures.size(); ++k) {
        const qsizetype picture = m_sources.size();
        m_sources.append(pictures[k]);
        m_extensions.append(keptExtension(extensions, fileNameOf(pictures[k])));
        m_companionOf.append(-1);
        m_afterWholeName.append(false);
        if (k >= companions.size())
            continue;
        for (const Companion& c : companions[k]) {
            m_sources.append(c.path);
            m_extensions.append(QByteArray());
            m_companionOf.append(picture);
            m_afterWholeName.append(c.afterWholeName);
            ++m_companions;
        }
    }
}

QList<QByteArray> Numbering::names(const QByteArray& prefix) const
{
    QList<QByteArray> names;
    names.reserve(m_sources.size());
    int number = 0;
    for (qsizetype k = 0; k < m_sources.size(); ++k) {
        if (const qsizetype picture = m_companionOf[k]; picture >= 0)
            names.append(companionName(names[picture], {m_sources[k], m_afterWholeName[k]}));
        else
            names.append(newName(prefix, ++number, m_extensions[k], m_sources[k]));
    }
    return names;
}

QList<Move> Numbering::moves(const QByteArray& prefix) const
{
    const QList<QByteArray> given = names(prefix);
    QList<Move> moves;
    moves.reserve(given.size());
    for (qsizetype k = 0; k < given.size(); ++k)
        moves.append({m_sources[k], given[k], m_companionOf[k]});
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
