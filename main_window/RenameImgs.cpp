// Renaming the shown files in the display order, and undoing the last run: the main window's
// side of it. The file work is the renaming library's.
#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "ordering/Summary.h"
#include "platform/Dialogs.h"
#include "platform/DirListing.h"
#include "platform/FileNames.h"
#include "platform/FolderList.h"
#include "platform/Screen.h"
#include "platform/WorkProgress.h"
#include "renaming/Names.h"
#include "renaming/Preview.h"
#include "renaming/Renamer.h"


namespace {

QString shownPath(const QByteArray& path)
{
    return platform::displayName(platform::decodeName(path));
}

} // namespace

renaming::Renamer frmmain::renamer() const
{
    renaming::Renamer r;
    r.setDisplayName([](const QByteArray& path) { return platform::displayName(platform::decodeName(path)); });
    return r;
}

void frmmain::mnuRenameImgs_Click()
{
    // Never a part of a folder: what is not listed yet would keep its name between the numbers.
    if (m_listing.running())
        return;
    QByteArray target;
    if (selectfolder) {
        // Opened at the folder shown: the files stay where they are unless the user goes elsewhere.
        const QString folder = platform::dialogs().browseForFolder(
            this, QStringLiteral("Bitte wählen Sie den Zielordner aus."), platform::decodeName(DirSelect->nativePath()));
        if (folder.isEmpty())
            return;
        target = platform::encodeName(folder);
    } else {
        target = DirSelect->nativePath();
    }
    const platform::ExtensionPattern extensions(platform::encodeName(imageerw));
    // Several extensions or a wildcard: there is no one extension to name.
    const QString appended = extensions.isSingleExtension()
                                 ? QStringLiteral("'xxxx.") + shownPath(extensions.entries().first()) +
                                       QStringLiteral("' wird automatisch angehängt")
                                 : QStringLiteral("jede Datei behält ihre Erweiterung");
    const QString prompt = QStringLiteral("Dateiprefix (") + appended +
                           QStringLiteral(")\nLeer lassen, um die Nummerierung vorne an den Dateinamen anzuhängen");
    // The files are numbered in the order shown when the prompt opens, the order its list shows;
    // one coming later would leave the view in another order than the names.
    cancelOrdering();
    const QList<int>& order = m_order.shown();
    QList<QByteArray> sources;
    QList<QList<renaming::Companion>> companionLists;
    sources.reserve(order.size());
    for (const int id : order) {
        sources.append(pathOf(id));
        companionLists.append(companionsOf(id));
    }
    const renaming::Numbering numbering(sources, extensions, companionLists);
    const QString unclaimed = ordering::unclaimedText(m_order.unclaimedCompanions());
    renaming::Preview preview(renamer(), numbering, target, unclaimed);
    const std::optional<QString> prefix = platform::dialogs().renamePrompt(this, prompt, QStringLiteral("img"), preview);
    if (!prefix)
        return;
    setPointer(platform::MousePointer::Hourglass);
    const QList<renaming::Move> moves = numbering.moves(platform::encodeName(*prefix));
    renaming::Renamer r = renamer();
    platform::WorkProgress progress(this, QStringLiteral("renameProgress"), QStringLiteral("Datei %1 von %2"));
    r.setProgress([&progress](const renaming::Progress& p) { return progress(p.file, p.files, p.step, p.steps); });
    stopLoading(); // the pictures still to come are loaded from their new paths afterwards
    // The order the names are given, as it is now, is what an undo brings back.
    keepOrderNow();
    renamed(r.run(moves, target), false, unclaimed);
}

void frmmain::mnuUndoRename_Click()
{
    if (m_listing.running())
        return;
    renaming::Renamer r = renamer();
    const renaming::UndoPreview preview = r.undoPreview();
    if (!preview.possible) {
        if (preview.recorded)
            platform::dialogs().messageBox(
                this, QStringLiteral("Die letzte Umbenennung kann nicht rückgängig gemacht werden.\n\n") + preview.reason,
                platform::MessageIcon::Exclamation);
        updateUndoRename(true);
        return;
    }
    if (!platform::dialogs().question(this, r.undoQuestion(preview)))
        return;
    setPointer(platform::MousePointer::Hourglass);
    platform::WorkProgress progress(this, QStringLiteral("renameProgress"), QStringLiteral("Datei %1 von %2"));
    r.setProgress([&progress](const renaming::Progress& p) { return progress(p.file, p.files, p.step, p.steps); });
    stopLoading();
    renamed(r.undo(), true);
}

void frmmain::renamed(const renaming::Result& result, bool undo, const QString& note)
{
    // The view is not built again, so each picture follows its file to its new path, and its
    // caption names the file as it is called now: drawn again from memory, else made again when
    // near the view.
    QHash<QByteArray, QByteArray> moved;
    moved.reserve(result.renamed.size());
    for (const renaming::Renamed& m : result.renamed)
        moved.insert(m.from, m.to);
    for (const ordering::PictureOrder::Renamed& r : m_order.renamed(moved)) {
        if (!showfilename || picScroll->element(r.id).shows != ImgPreview::Shows::Picture)
            continue;
        if (const thumbs::Prepared* prepared = picScroll->hasBoxImage(r.id) ? m_store.find(r.id) : nullptr)
            drawBox(r.id, *prepared);
        else
            picScroll->dropBoxImage(r.id);
    }
    if (building)
        startLoading(0);
    // Pictures being made again were given up with the run.
    followView();
    if (!result.renamed.isEmpty()) {
        if (result.ok()) {
            const renaming::Renamed& first = result.renamed.first();
            m_keeper.renamed(platform::withTrailingSlash(renaming::folderOf(undo ? first.to : first.from)), undo);
        }
        // The pictures know their files' new names: the view's order under them.
        m_keeper.changed();
    }

    using Outcome = renaming::Result::Outcome;
    if (result.ok()) {
        qsizetype pictures = 0;
        QStringList companions;
        for (const renaming::Renamed& m : result.renamed) {
            if (m.companion)
                companions.append(shownPath(renaming::fileNameOf(m.to)));
            else
                ++pictures;
        }
        QString text = ordering::finishedText(pictures, companions, m_listing.skipped(), undo);
        if (!note.isEmpty())
            text += QStringLiteral("\n\n") + note;
        platform::dialogs().messageBox(this, text, platform::MessageIcon::None);
        if (!result.message.isEmpty())
            platform::dialogs().messageBox(this, result.message, platform::MessageIcon::Exclamation);
    } else {
        const platform::MessageIcon icon = result.outcome == Outcome::Cancelled    ? platform::MessageIcon::Information
                                           : result.outcome == Outcome::Incomplete ? platform::MessageIcon::Critical
                                                                                   : platform::MessageIcon::Exclamation;
        platform::dialogs().messageBox(this, result.message, icon);
    }
    setPointer(platform::MousePointer::Default);
    updateUndoRename(true);
}

void frmmain::updateUndoRename(bool check)
{
    // Undone while a folder is listed, a rename would change it under the listing.
    if (m_listing.running())
        return;
    const renaming::Renamer r = renamer();
    if (!check) {
        mnuUndoRename->setEnabled(r.hasUndo());
        mnuUndoRename->setToolTip(QString());
        return;
    }
    const renaming::UndoPreview preview = r.undoPreview();
    mnuUndoRename->setEnabled(preview.possible);
    mnuUndoRename->setToolTip(preview.possible || !preview.recorded ? QString() : platform::plainToolTip(preview.reason));
}

void frmmain::recoverInterruptedRenames()
{
    for (const renaming::Notice& n : renamer().recover())
        platform::dialogs().messageBox(this, n.text,
                                       n.problem ? platform::MessageIcon::Exclamation : platform::MessageIcon::Information);
    updateUndoRename(false);
}
