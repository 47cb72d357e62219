#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QMap>

namespace platform {

// What a file's name says it is, by its extension: a photo, a clip, or neither (a text, a
// sidecar, a name without an extension).
enum class MediaKind
{
    None,
    Photo,
    Clip,
};
// The extension is compared without regard to letter case; `extension` receives it in lower case
// when the name looks like a photo or a clip.
MediaKind mediaKindOf(QByteArrayView name, QByteArray* extension = nullptr);

// The files of a folder that look like photos or clips but that the extension setting does not
// take, by extension in lower case: what a user would miss in the view without a word.
struct SkippedFiles
{
    QMap<QByteArray, qsizetype> photos;
    QMap<QByteArray, qsizetype> clips;

    // Counts the name when it looks like a photo or a clip.
    void add(QByteArrayView name);
    // Takes back a name counted (a file that goes with a picture shown after all).
    void remove(QByteArrayView name);
    qsizetype photoCount() const;
    qsizetype clipCount() const;
    bool isEmpty() const { return photos.isEmpty() && clips.isEmpty(); }
    bool operator==(const SkippedFiles&) const = default;
};

} // namespace platform
