#include "platform/FileNames.h"

#include <QStringDecoder>

#include <algorithm>
#include <vector>

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


// Valid UTF-8 as text. A byte order mark at the start is a character of the name like any other;
// QString::fromUtf8 would drop it.
QString utf8(QByteArrayView valid)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(valid);
}

// Characters that show nothing or change how the text around them is shown: controls, line and
// paragraph separators, format characters (zero-width, bidirectional, soft hyphen, ...), Unicode's
// default-ignorable code points (variation selectors, fillers, tags, ...) and lone surrogates.
bool hidden(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        break;
    }
    return c == 0x034F || c == 0x115F || c == 0x1160 || c == 0x17B4 || c == 0x17B5 || (c >= 0x180B && c <= 0x180F) ||
           (c >= 0x2060 && c <= 0x206F) || c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFFA0 ||
           (c >= 0xFFF0 && c <= 0xFFF8) || (c >= 0x1BCA0 && c <= 0x1BCA3) || (c >= 0x1D173 && c <= 0x1D17A) ||
           (c >= 0xE0000 && c <= 0xE0FFF);
}

QString escaped(char32_t c)
{
    const bool wide = c > 0xFFFF;
    return (wide ? QStringLiteral("\\U") : QStringLiteral("\\u")) +
           QStringLiteral("%1").arg(uint(c), wide ? 8 : 4, 16, QLatin1Char('0')).toUpper();
}

bool isVariationSelector(char32_t c)
{
    return (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF);
}

bool isTag(char32_t c)
{
    return c >= 0xE0020 && c <= 0xE007F;
}

bool isEmoji(char32_t c)
{
    // The pictographs that take part in emoji sequences are symbols; the few that are
    // punctuation are named.
    const QChar::Category category = QChar::category(c);
    return (c >= 0xA0 && (category == QChar::Symbol_Other || category == QChar::Symbol_Math)) || c == 0x203C ||
           c == 0x2049 || c == 0x3030 || c == 0x303D;
}

bool isJamo(char32_t c)
{
    return ((c >= 0x1100 && c <= 0x11FF) || (c >= 0xA960 && c <= 0xA97F) || (c >= 0xD7B0 && c <= 0xD7FF)) &&
           c != 0x115F && c != 0x1160;
}

// Scripts whose spelling uses the zero-width joiner and non-joiner between letters.
bool joinsLetters(QChar::Script script)
{
    switch (script) {
    case QChar::Script_Arabic:
    case QChar::Script_Syriac:
    case QChar::Script_Nko:
    case QChar::Script_Mongolian:
    case QChar::Script_Adlam:
    case QChar::Script_Mandaic:
    case QChar::Script_Devanagari:
    case QChar::Script_Bengali:
    case QChar::Script_Gurmukhi:
    case QChar::Script_Gujarati:
    case QChar::Script_Oriya:
    case QChar::Script_Tamil:
    case QChar::Script_Telugu:
    case QChar::Script_Kannada:
    case QChar::Script_Malayalam:
    case QChar::Script_Sinhala:
    case QChar::Script_Myanmar:
    case QChar::Script_Khmer:
        return true;
    default:
        return false;
    }
}

// Where an invisible character is part of what the text means, and shows as intended: the
// joiner within an emoji sequence (a family, a profession), variation selectors after emoji and
// CJK ideographs and in keycaps, tags spelling a flag's region, the joiner and non-joiner between
// letters of the scripts that need them (Persian words, Indic conjuncts), Mongolian variant
// selectors and the Hangul fillers within a syllable.
class Sequences
{
public:
    explicit Sequences(const std::vector<char32_t>& text) : m_text(text), m_flagTag(text.size(), false)
    {
        for (size_t i = 0; i < text.size();) {
            if (!isTag(text[i])) {
                ++i;
                continue;
            }
            size_t end = i;
            while (end < text.size() && isTag(text[end]))
                ++end;
            const bool flag = end - i >= 2 && text[end - 1] == 0xE007F && i > 0 &&
                              QChar::category(text[i - 1]) == QChar::Symbol_Other;
            std::fill(m_flagTag.begin() + std::ptrdiff_t(i), m_flagTag.begin() + std::ptrdiff_t(end), flag);
            i = end;
        }
    }

    bool belongs(size_t i) const
    {
        const char32_t c = m_text[i];
        const char32_t before = i > 0 ? m_text[i - 1] : 0;
        const char32_t after = i + 1 < m_text.size() ? m_text[i + 1] : 0;
        if (isTag(c))
            return m_flagTag[i];
        if (c == 0x200D && isEmoji(emojiBefore(i)) && isEmoji(after))
            return true;
        if (c == 0x200C || c == 0x200D) {
            const QChar::Script script = QChar::script(letterBefore(i));
            return joinsLetters(script) && QChar::script(after) == script && after != 0;
        }
        if (isVariationSelector(c))
            return i > 0 && (isEmoji(before) || QChar::script(before) == QChar::Script_Han ||
                             (after == 0x20E3 && (before == u'#' || before == u'*' || (before >= u'0' && before <= u'9'))));
        if ((c >= 0x180B && c <= 0x180D) || c == 0x180F)
            return i > 0 && QChar::script(before) == QChar::Script_Mongolian;
        if (c == 0x115F || c == 0x1160)
            return isJamo(before) || isJamo(after);
        return false;
    }

private:
    // The character a joiner follows, past the variation selectors and skin tones of an emoji.
    char32_t emojiBefore(size_t i) const
    {
        while (i > 0 && (isVariationSelector(m_text[i - 1]) || (m_text[i - 1] >= 0x1F3FB && m_text[i - 1] <= 0x1F3FF)))
            --i;
        return i > 0 ? m_text[i - 1] : 0;
    }
    // The letter a joiner follows, past the vowel signs that Unicode assigns to no script.
    char32_t letterBefore(size_t i) const
    {
        while (i > 0 && QChar::category(m_text[i - 1]) == QChar::Mark_NonSpacing &&
               QChar::script(m_text[i - 1]) == QChar::Script_Inherited)
            --i;
        return i > 0 ? m_text[i - 1] : 0;
    }

    const std::vector<char32_t>& m_text;
    std::vector<bool> m_flagTag;
};

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
        out += utf8(native.sliced(start, i - start));
        out += QChar(static_cast<char16_t>(kEscapeBase + p[i]));
        start = ++i;
    }
    out += utf8(native.sliced(start, n - start));
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
    const auto plainAscii = [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F && c != u'\\'; };
    if (std::all_of(name.begin(), name.end(), plainAscii))
        return name.toString();

    std::vector<char32_t> shown;
    shown.reserve(size_t(name.size()));
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            shown.push_back(QChar::surrogateToUcs4(u, name[i + 1].unicode()));
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            // Names that are not UTF-8 mostly come from older systems that wrote Latin-1, so a
            // byte that stands for a printable Latin-1 letter is shown as that letter.
            const char16_t byte = u - kEscapeBase;
            shown.push_back(byte >= 0xA0 ? byte : char32_t(QChar::ReplacementCharacter));
        } else {
            shown.push_back(u); // a lone surrogate stays one, and is shown as an escape
        }
    }

    QString out;
    out.reserve(name.size() + 16);
    bool backslash = false; // one is pending: doubled when what follows could read as an escape
    const auto settle = [&](char32_t next) {
        if (backslash)
            out += next == U'u' || next == U'U' || next == U'\\' ? QStringLiteral("\\\\") : QStringLiteral("\\");
        backslash = false;
    };
    const Sequences sequences(shown);
    for (size_t i = 0; i < shown.size(); ++i) {
        const char32_t c = shown[i];
        if (c == U'\\') {
            settle(c);
            backslash = true;
        } else if (hidden(c) && !sequences.belongs(i)) {
            settle(U'\\');
            out += escaped(c);
        } else {
            settle(c);
            if (QChar::requiresSurrogates(c)) {
                out += QChar(QChar::highSurrogate(c));
                out += QChar(QChar::lowSurrogate(c));
            } else {
                out += QChar(char16_t(c));
            }
        }
    }
    if (backslash)
        out += u'\\';
    return out;
}

} // namespace platform
