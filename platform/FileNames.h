#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace platform {

// On Linux a file name is a string of bytes, usually but not always UTF-8. These two functions
// convert between the native bytes and the text the program shows and orders, without loss:
// valid UTF-8 is decoded as such, and every byte that is not part of a valid UTF-8 sequence
// becomes the lone surrogate U+DC80..U+DCFF (the "surrogate escape" scheme), which
// encodeName turns back into that very byte. encodeName(decodeName(b)) == b for every b.
QString decodeName(QByteArrayView native);
QByteArray encodeName(QStringView name);

// The same names shown to a person: an escaped byte appears as its Latin-1 letter, or as
// U+FFFD where Latin-1 has none.
QString displayName(QStringView name);

} // namespace platform
