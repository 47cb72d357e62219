#include "platform/SkippedFiles.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace platform {

namespace {

// What cameras, phones and the usual editors write. Raw formats count as photos: a folder of a
// camera set to raw alone holds nothing else.
constexpr std::array<std::string_view, 31> kPhotos{
    "jpg", "jpeg", "jpe", "jfif", "heic", "heif", "hif", "avif", "png", "tif", "tiff",
    "webp", "gif", "bmp", "jxl", "dng", "cr2", "cr3", "crw", "nef", "nrw", "arw", "srf",
    "sr2", "orf", "rw2", "raf", "pef", "srw", "x3f", "3fr",
};
constexpr std::array<std::string_view, 13> kClips{
    "mp4", "mov", "m4v", "avi", "mts", "m2ts", "3gp", "mkv", "webm", "mpg", "mpeg", "wmv", "insv",
};

bool listed(std::string_view extension, const auto& list)
{
    return std::find(list.begin(), list.end(), extension) != list.end();
}

qsizetype sum(const QMap<QByteArray, qsizetype>& counts)
{
    qsizetype n = 0;
    for (const qsizetype c : counts)
        n += c;
    return n;
}

} // namespace

MediaKind mediaKindOf(QByteArrayView name, QByteArray* extension)
{
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0 || dot + 1 >= name.size())
        return MediaKind::None;
    const QByteArray ext = name.sliced(dot + 1).toByteArray().toLower();
    const std::string_view view(ext.constData(), size_t(ext.size()));
    const MediaKind kind = listed(view, kPhotos) ? MediaKind::Photo
                           : listed(view, kClips) ? MediaKind::Clip
                                                  : MediaKind::None;
    if (kind != MediaKind::None && extension)
        *extension = ext;
    return kind;
}

void SkippedFiles::add(QByteArrayView name)
{
    QByteArray extension;
    switch (mediaKindOf(name, &extension)) {
    case MediaKind::Photo:
        ++photos[extension];
        break;
    case MediaKind::Clip:
        ++clips[extension];
        break;
    case MediaKind::None:
        break;
    }
}

void SkippedFiles::remove(QByteArrayView name)
{
    QByteArray extension;
    const MediaKind kind = mediaKindOf(name, &extension);
    if (kind == MediaKind::None)
        return;
    QMap<QByteArray, qsizetype>& counts = kind == MediaKind::Photo ? photos : clips;
    const auto it = counts.find(extension);
    if (it != counts.end() && --*it <= 0)
        counts.erase(it);
}

qsizetype SkippedFiles::photoCount() const
{
    return sum(photos);
}

qsizetype SkippedFiles::clipCount() const
{
    return sum(clips);
}

} // namespace platform
