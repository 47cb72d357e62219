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

// The same names shown to a person, so that two names that differ look different. An escaped
// byte appears as its Latin-1 letter, or as U+FFFD where Latin-1 has none. A character that shows
// nothing or rearranges what follows (controls, line breaks, zero-width, bidirectional and other
// formatting characters, whatever Unicode tells renderers to leave invisible) appears as \u202E,
// or \U000E0001 beyond 16 bits, unless it belongs to an emoji sequence or joins the letters of a
// script that needs it; a backslash that could read as the start of such an escape is doubled.
// Everything else, umlauts, accents, CJK, emoji, stays exactly as it is.
QString displayName(QStringView name);

} // namespace platform
