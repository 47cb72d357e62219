#include "renaming/Preview.h"

#include <algorithm>

namespace renaming {

Preview::Preview(Renamer renamer, Numbering numbering, QByteArray targetFolder, QString note)
    : m_renamer(std::move(renamer)), m_numbering(std::move(numbering)),
      m_survey(m_renamer.survey(m_numbering.sources(), targetFolder, m_numbering.companionOf())),
      m_note(std::move(note))
{
}

void Preview::setPrefix(const QByteArray& prefix)
{
    m_names = m_numbering.names(prefix);
    m_checked = m_renamer.check(m_survey, m_names);
    m_problemOf.fill(-1, m_names.size());
    for (qsizetype p = m_checked.problems.size() - 1; p >= 0; --p) {
        if (const qsizetype move = m_checked.problems[p].move; move >= 0)
            m_problemOf[move] = p;
    }
    m_keeping = std::count(m_checked.unchanged.cbegin(), m_checked.unchanged.cend(), true);
    m_companionsRenamed = 0;
    for (qsizetype i = 0; i < m_names.size(); ++i)
        m_companionsRenamed += m_numbering.companionOf()[i] >= 0 && !m_checked.unchanged[i];
}

platform::RenameRow Preview::row(qsizetype i) const
{
    platform::RenameRow row;
    const QByteArray& source = m_numbering.sources()[i];
    row.oldName = m_renamer.shown(fileNameOf(source));
    row.parent = m_numbering.companionOf()[i];
    row.kind = row.parent >= 0 ? platform::RenameRow::Kind::Companion : platform::RenameRow::Kind::Picture;
    if (i >= m_names.size())
        return row;
    row.newName = m_renamer.shown(m_names[i]);
    row.keepsName = m_checked.unchanged[i];
    if (const qsizetype p = m_problemOf[i]; p >= 0)
        row.problem = m_checked.problems[p].text;
    return row;
}

QString Preview::countText() const
{
    const qsizetype renamed = m_names.size() - m_keeping;
    QString text = renamed == 1 ? QStringLiteral("1 Datei wird umbenannt")
                                : QStringLiteral("%1 Dateien werden umbenannt").arg(renamed);
    if (m_companionsRenamed == 1)
        text += QStringLiteral(" (darunter 1 Begleitdatei)");
    else if (m_companionsRenamed > 1)
        text += QStringLiteral(" (darunter %1 Begleitdateien)").arg(m_companionsRenamed);
    if (m_keeping == 1)
        text += QStringLiteral(", 1 behält ihren Namen");
    else if (m_keeping > 1)
        text += QStringLiteral(", %1 behalten ihren Namen").arg(m_keeping);
    if (!m_note.isEmpty())
        text += QStringLiteral("\n") + m_note;
    return text;
}

QString Preview::problemText() const
{
    if (m_checked.problems.isEmpty())
        return {};
    QString text = m_checked.problems.first().text;
    if (m_checked.problems.size() > 1)
        text += QStringLiteral("\n… und %1 weitere").arg(m_checked.problems.size() - 1);
    return text;
}

} // namespace renaming
