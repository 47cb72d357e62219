#pragma once

#include "platform/RenamePreview.h"
#include "renaming/Names.h"
#include "renaming/Renamer.h"

#include <QList>

namespace renaming {

// The renames a numbering would make with the prefix typed so far, and what would stop them, for
// the renaming prompt. The files and folders are surveyed once, when the preview is made; each
// prefix then costs the names and their check (the run's own, see Renamer::check), and the rows
// are made as the prompt shows them.
class Preview final : public platform::RenamePreview
{
public:
    // note: said below the count (files that keep their names for a reason of their own).
    Preview(Renamer renamer, Numbering numbering, QByteArray targetFolder, QString note = {});

    void setPrefix(const QByteArray& prefix) override;
    qsizetype rowCount() const override { return m_numbering.size(); }
    platform::RenameRow row(qsizetype i) const override;
    QString countText() const override;
    QString problemText() const override;

    // The new names for the prefix last set, in the order of the numbering.
    const QList<QByteArray>& names() const { return m_names; }
    const Checked& checked() const { return m_checked; }

private:
    Renamer m_renamer;
    Numbering m_numbering;
    Survey m_survey;
    QList<QByteArray> m_names;
    Checked m_checked;
    QList<qsizetype> m_problemOf; // for each file, its first problem; -1 for none
    qsizetype m_keeping = 0;
    qsizetype m_companionsRenamed = 0;
    QString m_note;
};

} // namespace renaming
