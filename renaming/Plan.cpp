// The check of a run before it moves anything: what it finds of its files and folders, then its new
// names against that. Neither part changes anything, so a prompt can show what would stop a run
// with the run's own rules.
#include "renaming/Renamer.h"

#include "renaming/Internal.h"
#include "renaming/Names.h"

#include <QHash>
#include <QSet>
#include <QStringDecoder>

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

namespace renaming {

using namespace internal;

namespace {

QByteArray inodeKey(const FileId& id)
{
    return QByteArray::number(id.dev) + ':' + QByteArray::number(id.ino);
}

bool onOtherFileSystem(const FileId& file, const FileId& folder)
{
    // Two mounts of one file system (a bind mount) refuse renames between them too.
    if (file.mount && folder.mount)
        return file.mount != folder.mount;
    return file.dev != folder.dev;
}

// Sizes in messages: what is needed rounded up, what is free rounded down.
QString sizeText(qint64 bytes, bool up)
{
    const qint64 kb = up ? (bytes + 1023) / 1024 : bytes / 1024;
    if (kb < 10 * 1024)
        return QStringLiteral("%1 KB").arg(kb);
    return QStringLiteral("%1 MB").arg(up ? (kb + 1023) / 1024 : kb / 1024);
}

} // namespace

struct Survey::Data
{
    struct Folder
    {
        QByteArray path;
        FileId id;
        FolderInfo info;
        QByteArray key;  // its inode: two paths of one folder name one folder
        QString problem; // why no file can go there or come from there
        // The names a target held when it was listed, by their folded form.
        QHash<QByteArray, QList<QByteArray>> byFold;
        bool listed = false;
    };
    struct Item
    {
        QByteArray source;
        QByteArray name;   // its old one
        QByteArray folder; // its target
        std::optional<FileId> recorded;
        Folder* to = nullptr;
        Folder* from = nullptr;
        FileId file;
        qint64 size = 0; // of the file a link leads to
        // The first problem a run meets after the checks of the new name, and whether it is one of
        // a folder (said once for all its files).
        QString problem;
        bool folderProblem = false;
        // A link: the other files of the run that its chain of links goes through, in order.
        QList<qsizetype> reaches;
        qsizetype companionOf = -1;
        bool companion = false;
    };
    std::map<QByteArray, Folder> folders;
    QList<Item> items;
    QHash<QByteArray, qsizetype> sources; // by folder key and name as stored
    QHash<QByteArray, qsizetype> inodes;
    bool exact = false;
};

Survey::Survey() = default;
Survey::~Survey() = default;
Survey::Survey(const Survey&) = default;
Survey& Survey::operator=(const Survey&) = default;

qsizetype Survey::size() const
{
    return d ? d->items.size() : 0;
}

Survey Renamer::survey(const QList<QByteArray>& sources, const QByteArray& targetFolder,
                       const QList<qsizetype>& companionOf) const
{
    m_folders.clear();
    QList<Planned> planned;
    planned.reserve(sources.size());
    for (qsizetype i = 0; i < sources.size(); ++i) {
        const qsizetype picture = i < companionOf.size() ? companionOf[i] : -1;
        planned.append({sources[i], targetFolder, {}, nullptr, picture, picture >= 0});
    }
    return surveyOf(planned, false);
}

QString Renamer::companionProblem(const QByteArray& path, const QByteArray& picture, const FileId& file) const
{
    // A companion is renamed as a file of its own: a link would keep pointing at the old name,
    // and a folder or a pipe is no sidecar a program wrote.
    const QString what = file.isLink()          ? QStringLiteral("eine symbolische Verknüpfung")
                         : S_ISDIR(file.mode)  ? QStringLiteral("ein Ordner")
                         : S_ISFIFO(file.mode) ? QStringLiteral("eine benannte Pipe (FIFO)")
                                               : QStringLiteral("keine gewöhnliche Datei");
    const QString of = picture.isEmpty() ? QString() : QStringLiteral(" zu \"%1\"").arg(shown(picture));
    return QStringLiteral("\"%1\" gehört als Begleitdatei%2 dazu, ist aber %3. Tessaline benennt nur gewöhnliche "
                          "Dateien mit um; bitte benennen Sie sie von Hand um, oder schalten Sie \"Begleitdateien "
                          "(RAW, XMP …) mit umbenennen\" in den Optionen ab.")
        .arg(shown(path), of, what);
}

Survey Renamer::surveyOf(const QList<Planned>& moves, bool exact) const
{
    using Folder = Survey::Data::Folder;
    using Item = Survey::Data::Item;
    auto data = std::make_shared<Survey::Data>();
    Survey::Data& d = *data;
    d.exact = exact;
    const auto folder = [&](const QByteArray& path) -> Folder* {
        const auto [it, added] = d.folders.try_emplace(path);
        Folder& f = it->second;
        if (!added)
            return &f;
        f.path = path;
        int e = 0;
        const std::optional<FileId> id = fileId(path, true, &e);
        if (!id) {
            f.problem = QStringLiteral("Der Ordner \"%1\" ist nicht erreichbar: %2.").arg(shown(path), errorText(e));
        } else if (!S_ISDIR(id->mode)) {
            f.problem = QStringLiteral("\"%1\" ist kein Ordner.").arg(shown(path));
        } else if (::access(path.constData(), W_OK | X_OK) != 0) {
            f.problem = QStringLiteral("In den Ordner \"%1\" kann nicht geschrieben werden: %2.")
                            .arg(shown(path), errorText(errno));
        } else {
            f.id = *id;
            f.info = infoOf(path);
            f.key = inodeKey(*id) + '/';
        }
        return &f;
    };

    QHash<QByteArray, qsizetype>& inodes = d.inodes;
    d.items.reserve(moves.size());
    d.sources.reserve(moves.size());
    inodes.reserve(moves.size());
    for (const Planned& p : moves) {
        const qsizetype i = d.items.size();
        Item& item = d.items.emplace_back();
        item.source = p.source;
        item.name = fileNameOf(p.source);
        item.folder = p.folder;
        item.companionOf = p.companionOf;
        item.companion = p.companion;
        if (p.recorded)
            item.recorded = *p.recorded;
        item.to = folder(p.folder);
        if (!item.to->problem.isEmpty())
            continue;
        const auto refuse = [&](const QString& why, bool ofFolder = false) {
            item.problem = why;
            item.folderProblem = ofFolder;
        };
        // Recovery and undo take only such paths for the run's own.
        if (!cleanPath(p.source) || !cleanPath(joinPath(p.folder, "x"))) {
            const bool target = cleanPath(p.source);
            refuse(QStringLiteral("\"%1\" ist kein eindeutiger Pfad: Er muss absolut sein, ohne \".\", \"..\" oder "
                                  "leere Teile.")
                       .arg(shown(target ? p.folder : p.source)),
                   target);
            continue;
        }
        item.from = folder(folderOf(p.source));
        if (!item.from->problem.isEmpty()) {
            refuse(item.from->problem, true);
            continue;
        }
        int e = 0;
        const std::optional<FileId> file = m_ops.id(p.source, false, &e);
        if (!file) {
            refuse(QStringLiteral("Die Datei \"%1\" ist nicht mehr da: %2.").arg(shown(p.source), errorText(e)));
            continue;
        }
        item.file = *file;
        if (p.companion && !file->isRegular()) {
            const bool known = p.companionOf >= 0 && p.companionOf < moves.size();
            refuse(companionProblem(p.source, known ? moves[p.companionOf].source : QByteArray(), *file));
            continue;
        }
        const std::optional<FileId> content = file->isLink() ? m_ops.id(p.source, true) : file;
        if (!content || !content->isRegular()) {
            refuse(QStringLiteral("\"%1\" ist keine gewöhnliche Datei.").arg(shown(p.source)));
            continue;
        }
        item.size = content->size;
        if (p.recorded && !stillSameFile(*p.recorded, *file, item.from->info)) {
            refuse(QStringLiteral("\"%1\" wurde seit der Umbenennung verändert.").arg(shown(p.source)));
            continue;
        }
        if (file->isLink() && item.from->key != item.to->key && !onOtherFileSystem(*file, item.to->id)) {
            // Renamed into another folder, a link keeps its text; a relative one would point elsewhere.
            char target[PATH_MAX];
            const ssize_t n = ::readlink(p.source.constData(), target, sizeof target);
            if (n <= 0 || target[0] != '/') {
                refuse(QStringLiteral("\"%1\" ist eine symbolische Verknüpfung mit einem relativen Ziel (\"%2\"). In "
                                      "\"%3\" zeigte sie ins Leere; bitte verschieben Sie sie von Hand.")
                           .arg(shown(p.source), shown(QByteArray(target, qMax<ssize_t>(n, 0))), shown(p.folder)));
                continue;
            }
        }
        const QByteArray sourceKey = item.from->key + item.name;
        if (d.sources.contains(sourceKey)) {
            refuse(QStringLiteral("\"%1\" steht mehr als einmal in der Liste.").arg(shown(p.source)));
            continue;
        }
        d.sources.insert(sourceKey, i);
        // Recovery knows the files of a run by their inode numbers, so two names of one file would
        // each pass for the other.
        const QByteArray inode = inodeKey(*file);
        if (const auto other = inodes.constFind(inode); other != inodes.cend() && file->links > 1) {
            refuse(QStringLiteral("\"%1\" und \"%2\" sind zwei Namen derselben Datei (harte Verknüpfung). Tessaline "
                                  "benennt eine Datei nicht unter zwei Namen zugleich um.")
                       .arg(shown(d.items[*other].source), shown(p.source)));
            continue;
        }
        inodes.insert(inode, i);
    }

    // Which name holds a new name is read from the target's listing, compared as the folder compares
    // names: where letter case is ignored, FUSE gives each spelling of a name an inode number of its
    // own. The listing also spares a check at each key press a lookup of every new name.
    for (auto& [path, f] : d.folders) {
        const bool target = std::any_of(d.items.cbegin(), d.items.cend(), [&f = f](const Item& item) { return item.to == &f; });
        if (!target || !f.problem.isEmpty() || (exact && !f.info.ignoresCase))
            continue;
        for (const QByteArray& stored : listNames(path)) {
            if (stored != "." && stored != "..")
                f.byFold[foldedName(stored)].append(stored);
        }
        f.listed = true;
    }

    // A link to another file of the run would point at a name the run takes away, unless that file
    // keeps its name. The chain of links is followed by the inode numbers of the files as they are,
    // which a simulated card makes up.
    QHash<QByteArray, qsizetype> real;
    for (qsizetype i = 0; i < d.items.size(); ++i) {
        Item& item = d.items[i];
        if (!item.problem.isEmpty() || !item.from || !item.file.isLink())
            continue;
        if (real.isEmpty()) {
            for (qsizetype j = 0; j < d.items.size(); ++j) {
                if (!d.items[j].problem.isEmpty() || !d.items[j].from)
                    continue;
                if (const std::optional<FileId> id = fileId(d.items[j].source))
                    real.insert(inodeKey(*id), j);
            }
        }
        QByteArray path = item.source;
        for (int hop = 0; hop < 40; ++hop) { // as many as the kernel follows
            char target[PATH_MAX];
            const ssize_t n = ::readlink(path.constData(), target, sizeof target);
            if (n <= 0)
                break;
            const QByteArray text(target, n);
            path = text.startsWith('/') ? text : joinPath(folderOf(path), text);
            const std::optional<FileId> at = fileId(path);
            if (!at)
                break;
            if (const qsizetype j = real.value(inodeKey(*at), -1); j >= 0 && j != i)
                item.reaches.append(j);
            if (!at->isLink())
                break;
        }
    }

    Survey survey;
    survey.d = std::move(data);
    return survey;
}

Checked Renamer::check(const Survey& survey, const QList<QByteArray>& names) const
{
    using Folder = Survey::Data::Folder;
    static const Survey::Data none;
    const Survey::Data& d = survey.d ? *survey.d : none;
    const qsizetype n = d.items.size();
    Q_ASSERT(names.size() == n);
    Checked c;
    c.unchanged.fill(false, n);
    QSet<QString> said; // problems of folders, said once for all their files
    const auto folderProblem = [&](const QString& text) {
        if (!said.contains(text)) {
            said.insert(text);
            c.problems.append({-1, text});
        }
    };

    // The new names one by one, and that no two are one name in their folder.
    QList<bool> planned(n, false); // passed so far, and so checked further
    QList<QByteArray> folds(n);
    // By folder, as the folder compares names.
    std::map<QByteArray, QHash<QByteArray, qsizetype>> wantedIn;
    const Folder* lastFolder = nullptr;
    QHash<QByteArray, qsizetype>* wanted = nullptr;
    for (qsizetype i = 0; i < n; ++i) {
        const Survey::Data::Item& item = d.items[i];
        const QByteArray& name = names[i];
        if (!item.to->problem.isEmpty()) {
            folderProblem(item.to->problem);
            continue;
        }
        c.unchanged[i] = item.from && item.from->key == item.to->key && item.name == name;
        if (const QString why = nameProblem(name, item.source, item.folder, item.to->info); !why.isEmpty()) {
            c.problems.append({i, why});
            continue;
        }
        if (!item.problem.isEmpty()) {
            if (item.folderProblem)
                folderProblem(item.problem);
            else
                c.problems.append({i, item.problem});
            continue;
        }
        if (item.to->info.ignoresCase || item.to->listed)
            folds[i] = foldedName(name);
        if (item.to != lastFolder) {
            lastFolder = item.to;
            wanted = &wantedIn[item.to->key];
            wanted->reserve(n);
        }
        const QByteArray& key = item.to->info.ignoresCase ? folds[i] : name;
        if (const auto other = wanted->constFind(key); other != wanted->cend()) {
            const QByteArray& otherName = names[*other];
            QString text = QStringLiteral("\"%1\" und \"%2\" sollen beide \"%3\" heißen.")
                               .arg(shown(d.items[*other].source), shown(item.source), shown(name));
            if (otherName != name)
                text += QStringLiteral(" Der Zielordner unterscheidet nicht zwischen Groß- und Kleinbuchstaben.");
            c.problems.append({i, text});
            continue;
        }
        wanted->insert(key, i);
        planned[i] = true;
    }

    for (qsizetype i = 0; i < n; ++i) {
        if (!planned[i])
            continue;
        const QList<qsizetype>& reaches = d.items[i].reaches;
        const auto renamed = std::find_if(reaches.cbegin(), reaches.cend(), [&](qsizetype j) { return !c.unchanged[j]; });
        if (renamed == reaches.cend())
            continue;
        c.problems.append({i, QStringLiteral("\"%1\" ist eine symbolische Verknüpfung auf \"%2\", das mit umbenannt "
                                             "wird; danach zeigte sie ins Leere. Tessaline benennt eine Verknüpfung "
                                             "nicht zusammen mit ihrem Ziel um.")
                                  .arg(shown(d.items[i].source), shown(d.items[*renamed].source))});
        planned[i] = false;
    }

    // A new name may only be held by a file that leaves it in this run.
    std::map<const Folder*, QList<qsizetype>> copies;
    for (qsizetype i = 0; i < n; ++i) {
        if (!planned[i] || c.unchanged[i])
            continue;
        const Survey::Data::Item& w = d.items[i];
        const QByteArray& name = names[i];
        const QList<QByteArray>* listed = nullptr;
        if (w.to->listed) {
            const auto it = w.to->byFold.constFind(folds[i]);
            listed = it != w.to->byFold.cend() ? &*it : nullptr;
        }
        const auto ofTheRun = [&](const QByteArray& heldName) { return d.sources.contains(w.to->key + heldName); };
        // Without `exact`, the listing says which names are held, and a name is looked up only where
        // the inode number of its holder could tell more.
        const bool listedAsIs = listed && listed->contains(name);
        const bool lookUp = d.exact || (listed && !w.to->info.ignoresCase && !(listedAsIs && ofTheRun(name)));
        std::optional<FileId> holder;
        if (lookUp) {
            const QByteArray final = joinPath(w.folder, name);
            int e = 0;
            holder = m_ops.id(final, false, &e);
            if (!holder && e != ENOENT) {
                c.problems.append(
                    {i, QStringLiteral("\"%1\" kann nicht geprüft werden: %2.").arg(shown(final), errorText(e))});
                continue;
            }
        }
        QList<QByteArray> held;
        if (w.to->info.ignoresCase) {
            if (listed)
                held = *listed;
        } else if (holder || (!lookUp && listedAsIs)) {
            held.append(name);
        }
        if (holder || !held.isEmpty()) {
            bool ours = !held.isEmpty() && std::all_of(held.cbegin(), held.cend(), ofTheRun);
            // A folder that ignores case without telling: the holder is a file of the run under
            // another spelling, as its inode number shows.
            if (!ours && holder && !w.to->info.ignoresCase && w.to->info.stableInodes) {
                const qsizetype j = d.inodes.value(inodeKey(*holder), -1);
                ours = j >= 0 && d.items[j].from->key == w.to->key;
            }
            if (!ours) {
                // A companion's new name is not one the user typed: both files are named.
                QString text = w.companion ? QStringLiteral("Die Begleitdatei \"%1\" soll \"%2\" heißen; diesen Namen "
                                                            "trägt in \"%3\" schon eine Datei, die nicht mit "
                                                            "umbenannt wird.")
                                                 .arg(shown(w.source), shown(name), shown(w.folder))
                                           : QStringLiteral("Den Namen \"%1\" trägt in \"%2\" schon eine Datei, die "
                                                            "nicht mit umbenannt wird.")
                                                 .arg(shown(name), shown(w.folder));
                const auto other = std::find_if_not(held.cbegin(), held.cend(), ofTheRun);
                if (other != held.cend() && *other != name)
                    text.insert(text.size() - 1, QStringLiteral(" (\"%1\")").arg(shown(*other)));
                c.problems.append({i, text});
                continue;
            }
            c.viaTemp = true;
        }
        if (onOtherFileSystem(w.file, w.to->id))
            copies[w.to].append(i);
    }

    // Copies take whole blocks, and a folder's entries take room too (as many as FAT needs for a
    // long name, for the temporary and for the new name).
    const qsizetype tempLength = kTempPrefix.size() + 16 + 6; // a run's id has 16 digits
    for (const auto& [to, list] : copies) {
        const std::optional<Space> space = m_ops.space(to->path);
        if (!space || space->unit <= 0)
            continue;
        const qint64 unit = space->unit;
        qint64 units = 1;
        qint64 folderBytes = 0;
        for (const qsizetype i : list) {
            units += (d.items[i].size + unit - 1) / unit;
            folderBytes += 32 * (4 + (tempLength + 14) / 15 + (names[i].size() + 14) / 15);
        }
        units += (folderBytes + unit - 1) / unit;
        if (units > space->freeUnits)
            c.problems.append({-1, QStringLiteral("In \"%1\" ist nicht genug Platz: %2 werden gebraucht, %3 sind frei.")
                                       .arg(shown(to->path), sizeText(units * unit, true),
                                            sizeText(space->freeUnits * unit, false))});
        else if (space->freeFiles >= 0 && list.size() > space->freeFiles)
            c.problems.append({-1, QStringLiteral("In \"%1\" können nur noch %2 Dateien angelegt werden, gebraucht "
                                                  "werden %3.")
                                       .arg(shown(to->path))
                                       .arg(space->freeFiles)
                                       .arg(list.size())});
    }
    return c;
}

QString Renamer::plan(const QList<Planned>& moves, const QByteArray& runId, QList<Entry>* entries) const
{
    QList<QByteArray> names;
    names.reserve(moves.size());
    for (const Planned& p : moves)
        names.append(p.name);
    const Survey survey = surveyOf(moves, true);
    const Checked checked = check(survey, names);
    if (!checked.ok())
        return checked.problems.first().text;
    for (qsizetype i = 0; i < moves.size(); ++i) {
        if (checked.unchanged[i])
            continue;
        const Survey::Data::Item& w = survey.d->items[i];
        Entry e;
        e.kind = onOtherFileSystem(w.file, w.to->id) ? Kind::Copy : Kind::Rename;
        e.source = w.source;
        e.final = joinPath(w.folder, names[i]);
        const bool hidden = checked.viaTemp || e.kind == Kind::Copy;
        e.temp = hidden ? tempName(folderOf(e.final), runId, entries->size()) : e.final;
        e.id = w.file;
        e.companion = w.companion;
        entries->append(e);
    }
    return {};
}

QString Renamer::nameProblem(const QByteArray& name, const QByteArray& source, const QByteArray& folder,
                             const FolderInfo& info) const
{
    if (name.isEmpty() || name == "." || name == "..")
        return QStringLiteral("\"%1\" ist kein gültiger Name für \"%2\".").arg(shown(name), shown(source));
    if (name.contains('/'))
        return QStringLiteral("Der neue Name \"%1\" für \"%2\" enthält einen Schrägstrich (/).")
            .arg(shown(name), shown(source));
    if (name.contains('\0'))
        return QStringLiteral("Der neue Name für \"%1\" enthält ein Nullzeichen.").arg(shown(source));
    if (name.size() > info.nameMax)
        return QStringLiteral("Der neue Name \"%1\" ist %2 Bytes lang; in \"%3\" sind höchstens %4 erlaubt.")
            .arg(shown(name))
            .arg(name.size())
            .arg(shown(folder))
            .arg(info.nameMax);
    if (info.names == NameRules::Posix)
        return {};

    // A name such a file system cannot hold fails only at its rename, and fusefat takes the file
    // with it then.
    const QString kind = QString::fromUtf8(info.kind);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(name);
    if (utf8.hasError())
        return QStringLiteral("Der Name \"%1\" ist kein gültiger UTF-8-Text; das Dateisystem des Ziels (%2) kann "
                              "ihn nicht speichern.")
            .arg(shown(name), kind);
    static const QString forbidden = QStringLiteral("\"*:<>?\\|");
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x20)
            return QStringLiteral("Der Name \"%1\" enthält das Steuerzeichen U+%2, das das Dateisystem des Ziels "
                                  "(%3) nicht erlaubt.")
                .arg(shown(name), QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0')), kind);
        if ((c < 0x80 && forbidden.contains(QLatin1Char(char(c)))) || (info.names == NameRules::FuseFat && c > 0x7e))
            return QStringLiteral("Der Name \"%1\" enthält \"%2\", den das Dateisystem des Ziels (%3) nicht erlaubt.")
                .arg(shown(name), shown(QString::fromUcs4(&c, 1).toUtf8()), kind);
    }
    if (name.endsWith('.') || name.endsWith(' '))
        return QStringLiteral("Der Name \"%1\" endet auf %2, was das Dateisystem des Ziels (%3) nicht erlaubt.")
            .arg(shown(name), name.endsWith('.') ? QStringLiteral("einen Punkt") : QStringLiteral("ein Leerzeichen"),
                 kind);
    constexpr qsizetype kLongest = 255; // UTF-16 units
    if (text.size() > kLongest)
        return QStringLiteral("Der neue Name \"%1\" ist %2 Zeichen lang; das Dateisystem des Ziels (%3) erlaubt "
                              "höchstens %4.")
            .arg(shown(name))
            .arg(text.size())
            .arg(kind)
            .arg(kLongest);
    return {};
}

} // namespace renaming
