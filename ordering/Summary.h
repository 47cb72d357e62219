#pragma once

#include "platform/SkippedFiles.h"

#include <QString>
#include <QStringList>

// What the window says about the folder shown and about a renaming run, so that nothing of the
// folder is left out without a word.
namespace ordering {

// "284 Bilder", "1 Bild", "Keine Bilder"; numbers with German digit grouping.
QString picturesText(qsizetype pictures);
// "16 weitere Fotos (.heic)", "1 weiteres Foto und 2 Videos (.heic, .mov)"; empty when none.
QString skippedText(const platform::SkippedFiles& skipped);
// The status line of a folder whose files are all listed: "284 Bilder · 16 weitere Fotos (.heic)
// nicht angezeigt".
QString shownLine(qsizetype pictures, const platform::SkippedFiles& skipped);
// While the folder is listed, and while the times are read.
QString listingLine(qsizetype listedSoFar);
QString readingTimesLine(qsizetype done, qsizetype of);
// The message after a renaming run (`undo`: after its undo) that renamed `renamed` pictures and
// the `companions` that went with them (their new names, as shown), with the files of the folder
// that kept their names because the view did not show them.
QString finishedText(qsizetype renamed, const QStringList& companions, const platform::SkippedFiles& skipped,
                     bool undo);

} // namespace ordering
