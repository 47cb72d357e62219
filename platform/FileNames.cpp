#include "platform/FileNames.h"

#include <QStringDecoder>

namespace platform {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// Length of the valid UTF-8 sequence starting at p, or 0 when there is none.
int validSequenceLength(const unsigned char* p, qsizetype left)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    int len;
    char32_t min;
    char32_t cp;
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        min = 0x80;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        min = 0x800;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        min = 0x10000;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (left < len)
        return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, encoded surrogates and values beyond Unicode are not valid UTF-8.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

// Valid UTF-8 as text. A byte order mark at its start is a character of the name like any other,
// which QString::fromUtf8 would drop: the name would then not come back.
QString fromUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

} // namespace

QString decodeName(QByteArrayView native)
{
    const auto* p = reinterpret_cast<const unsigned char*>(native.data());
    const qsizetype n = native.size();
    qsizetype i = 0;
    while (i < n && p[i] < 0x80)
        ++i;
    if (i == n)
        return QString::fromLatin1(native);

    QString out;
    out.reserve(n);
    qsizetype start = 0;
    while (i < n) {
        const int len = validSequenceLength(p + i, n - i);
        if (len > 0) {
            i += len;
            continue;
        }
        out += fromUtf8(native.sliced(start, i - start));
        out += QChar(static_cast<char16_t>(kEscapeBase + p[i]));
        start = ++i;
    }
    out += fromUtf8(native.sliced(start, n - start));
    return out;
}

QByteArray encodeName(QStringView name)
{
    QByteArray out;
    out.reserve(name.size() * 3);
    qsizetype start = 0;
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = name[i].unicode();
        if (u < 0xDC80 || u > 0xDCFF)
            continue;
        // A low surrogate that completes a pair is an ordinary character.
        if (i > 0 && QChar::isHighSurrogate(name[i - 1].unicode()))
            continue;
        out += name.sliced(start, i - start).toUtf8();
        out += static_cast<char>(u - kEscapeBase);
        start = i + 1;
    }
    out += name.sliced(start).toUtf8();
    return out;
}

QString displayName(QStringView name)
{
    QString out = name.toString();
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t u = out[i].unicode();
        if (u >= 0xDC80 && u <= 0xDCFF && !(i > 0 && QChar::isHighSurrogate(out[i - 1].unicode()))) {
            // Names that are not UTF-8 mostly come from older systems that wrote Latin-1, so a
            // byte that stands for a printable Latin-1 letter is shown as that letter.
            const char16_t byte = u - kEscapeBase;
            out[i] = byte >= 0xA0 ? QChar(byte) : QChar(QChar::ReplacementCharacter);
        }
    }
    return out;
}

} // namespace platform
