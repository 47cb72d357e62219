// Renaming the shown files in the display order, and undoing the last run: the main window's
// side of it. The file work is the renaming library's.
#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/Dialogs.h"
#include "platform/FileNames.h"
#include "platform/FolderList.h"
#include "platform/Screen.h"
#include "renaming/Names.h"
#include "renaming/Preview.h"
#include "renaming/Renamer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QProgressDialog>
#include <QSet>

#include <algorithm>

#include <memory>

namespace {

// A run that takes longer than this shows its progress and a Cancel button.
constexpr qint64 kProgressAfterMs = 1000;
// How often a run lets the window repaint.
constexpr qint64 kRepaintMs = 40;

// Keeps the window painted during a run; after a second it shows file n of N, and its Cancel
// makes the run put every file back. Until then the user's input waits, so that nothing
// else starts in between.
class RunProgress
{
public:
    explicit RunProgress(QWidget* owner) : m_owner(owner)
    {
        m_started.start();
        m_pumped.start();
    }

    bool operator()(const renaming::Progress& p)
    {
        if (m_pumped.elapsed() < kRepaintMs)
            return !(m_dialog && m_dialog->wasCanceled());
        m_pumped.restart();
        if (!m_dialog && m_started.elapsed() >= kProgressAfterMs) {
            m_dialog = std::make_unique<QProgressDialog>(m_owner);
            m_dialog->setObjectName(QStringLiteral("renameProgress"));
            m_dialog->setWindowTitle(platform::applicationTitle());
            m_dialog->setWindowModality(Qt::WindowModal);
            m_dialog->setCancelButtonText(QStringLiteral("Abbrechen"));
            m_dialog->setAutoClose(false);
            m_dialog->setAutoReset(false);
            m_dialog->setMinimumDuration(0);
            m_dialog->setRange(0, p.steps);
            m_dialog->show();
        }
        if (!m_dialog) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            return true;
        }
        m_dialog->setLabelText(QStringLiteral("Datei %1 von %2").arg(p.file).arg(p.files));
        m_dialog->setValue(p.step);
        QCoreApplication::processEvents();
        return !m_dialog->wasCanceled();
    }

private:
    QWidget* m_owner;
    QElapsedTimer m_started;
    QElapsedTimer m_pumped;
    std::unique_ptr<QProgressDialog> m_dialog;
};

QString shownPath(const QByteArray& path)
{
    return platform::displayName(platform::decodeName(path));
}

// The files of a run go back together from one folder to another; a record that was written
// by hand or damaged can hold files of several folders, and the question names every one.
QString undoQuestion(const renaming::UndoPreview& preview)
{
    constexpr qsizetype kShown = 12;
    struct Group
    {
        QByteArray now;
        QByteArray back;
        QList<const renaming::Renamed*> moves;
    };
    QList<Group> groups;
    QHash<QByteArray, qsizetype> groupOf;
    QSet<QByteArray> folders;
    for (const renaming::Renamed& m : preview.moves) {
        const QByteArray now = renaming::folderOf(m.from);
        const QByteArray back = renaming::folderOf(m.to);
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
                    .arg(shownPath(g.now));
        if (g.now != g.back)
            text += QStringLiteral(" und kommen zurück nach \"%1\"").arg(shownPath(g.back));
    } else {
        text += QStringLiteral("%1 Dateien in %2 Ordnern bekommen wieder ihre vorigen Namen")
                    .arg(preview.moves.size())
                    .arg(folders.size());
    }
    text += QLatin1Char(':');
    qsizetype left = kShown;
    for (const Group& g : groups) {
        text += QStringLiteral("\n");
        if (groups.size() > 1) {
            text += g.now == g.back ? QStringLiteral("\nIn \"%1\":").arg(shownPath(g.now))
                                    : QStringLiteral("\nIn \"%1\", zurück nach \"%2\":").arg(shownPath(g.now), shownPath(g.back));
        }
        const qsizetype listed = std::min(left, g.moves.size());
        for (qsizetype i = 0; i < listed; ++i) {
            text += QLatin1Char('\n') + shownPath(renaming::fileNameOf(g.moves[i]->from)) + QStringLiteral(" \u2192 ") +
                    shownPath(renaming::fileNameOf(g.moves[i]->to));
        }
        left -= listed;
        if (g.moves.size() > listed)
            text += QStringLiteral("\n\u2026 und %1 weitere").arg(g.moves.size() - listed);
    }
    return text;
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
    // Every entry but the last: that is the placeholder, or while a folder is still being
    // listed, a file whose place is not settled yet.
    QList<QByteArray> sources;
    sources.reserve(order.size());
    for (qsizetype k = 0; k + 1 < order.size(); ++k)
        sources.append(picScroll->element(order[k]).nativePath);
    const renaming::Numbering numbering(sources, extensions);
    renaming::Preview preview(renamer(), numbering, target);
    const std::optional<QString> prefix = platform::dialogs().renamePrompt(this, prompt, QStringLiteral("img"), preview);
    if (!prefix)
        return;
    setPointer(platform::MousePointer::Hourglass);
    const QList<renaming::Move> moves = numbering.moves(platform::encodeName(*prefix));
    renaming::Renamer r = renamer();
    RunProgress progress(this);
    r.setProgress(std::ref(progress));
    stopLoading(); // the pictures still to come are loaded from their new paths afterwards
    // The order the names are given, as it is now, is what an undo brings back.
    keepOrderNow();
    renamed(r.run(moves, target), false);
}

void frmmain::mnuUndoRename_Click()
{
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
    if (!platform::dialogs().question(this, undoQuestion(preview)))
        return;
    setPointer(platform::MousePointer::Hourglass);
    RunProgress progress(this);
    r.setProgress(std::ref(progress));
    stopLoading();
    renamed(r.undo(), true);
}

void frmmain::renamed(const renaming::Result& result, bool undo)
{
    // The view is not built again, so each box must follow its file to its new path.
    QHash<QByteArray, QByteArray> moved;
    moved.reserve(result.renamed.size());
    for (const renaming::Renamed& m : result.renamed)
        moved.insert(m.from, m.to);
    for (int i = 1; i < picScroll->count() && !moved.isEmpty(); ++i) {
        ImgPreview& e = picScroll->element(i);
        const auto it = moved.constFind(e.nativePath);
        if (it == moved.cend())
            continue;
        // A caption drawn before shows the old name, also when the box draws its picture again.
        if (showfilename && e.Loaded && !m_keptCaptions.contains(i))
            m_keptCaptions.insert(i, captionOf(i));
        e.nativePath = *it;
        // A folder still being listed orders the files that come by the paths as they are now.
        if (static_cast<size_t>(i) < m_listingKeys.size())
            m_listingKeys[static_cast<size_t>(i)] = platform::decodeName(*it);
    }
    if (building)
        startLoading(0);
    // Pictures being made again were given up with the run.
    followView();
    keptOrderRenamed(result, undo);

    using Outcome = renaming::Result::Outcome;
    if (result.ok()) {
        platform::dialogs().messageBox(this, QStringLiteral("Fertig"), platform::MessageIcon::None);
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
    const renaming::Renamer r = renamer();
    if (!check) {
        mnuUndoRename->setEnabled(r.hasUndo());
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
