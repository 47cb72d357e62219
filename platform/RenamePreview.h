#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// One line of the list of renames that the renaming prompt shows.
struct RenameRow
{
    // A file that goes with a picture (its sidecar, its clip) is listed under it, indented.
    enum class Kind { Picture, Companion };
    Kind kind = Kind::Picture;
    qsizetype parent = -1; // a companion's picture
    QString oldName;       // as shown: plain text, never markup
    QString newName;
    bool keepsName = false;
    QString problem; // what stops the run at this file; empty when nothing does
};

// What the renaming prompt lists for the prefix typed so far. The caller works it out; the prompt
// asks for the rows it shows, as they come into view.
class RenamePreview
{
public:
    virtual ~RenamePreview() = default;

    // The prefix as typed, in the file system's bytes.
    virtual void setPrefix(const QByteArray& prefix) = 0;
    virtual qsizetype rowCount() const = 0;
    virtual RenameRow row(qsizetype i) const = 0;
    // How many files change their names, and how many keep them.
    virtual QString countText() const = 0;
    // What stops the run; empty when it can start.
    virtual QString problemText() const = 0;
};

} // namespace platform
