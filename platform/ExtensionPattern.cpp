#include "platform/ExtensionPattern.h"

namespace platform {

namespace {

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

bool wildcardMatch(QByteArrayView pattern, QByteArrayView text)
{
    // The usual scan that remembers the last "*" and lets it take one more character when what
    // follows it fails; linear for patterns with one "*", at worst pattern x text steps.
    qsizetype p = 0;
    qsizetype t = 0;
    qsizetype star = -1;
    qsizetype starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starText = t;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || asciiLower(pattern[p]) == asciiLower(text[t]))) {
            ++p;
            ++t;
        } else if (star >= 0) {
            p = star + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

ExtensionPattern::ExtensionPattern(const QByteArray& setting)
{
    for (const QByteArray& part : setting.split(';')) {
        qsizetype from = 0;
        qsizetype to = part.size();
        while (from < to && isBlank(part[from]))
            ++from;
        while (to > from && isBlank(part[to - 1]))
            --to;
        if (to > from)
            m_entries.append(part.sliced(from, to - from));
    }
    if (m_entries.isEmpty())
        m_entries.append(QByteArray());
}

bool ExtensionPattern::hasWildcard(QByteArrayView entry)
{
    return entry.contains('*') || entry.contains('?');
}

bool ExtensionPattern::isSingleExtension() const
{
    return m_entries.size() == 1 && !hasWildcard(m_entries.first());
}

std::optional<ExtensionPattern::Match> ExtensionPattern::match(QByteArrayView name) const
{
    for (qsizetype e = 0; e < m_entries.size(); ++e) {
        const QByteArray& entry = m_entries[e];
        // The entry is laid over as many of the name's last dot-separated parts as it has parts.
        qsizetype dot = name.size();
        for (qsizetype parts = entry.count('.') + 1; parts > 0 && dot >= 0; --parts)
            dot = dot > 0 ? name.lastIndexOf('.', dot - 1) : -1;
        if (dot >= 0 && wildcardMatch(entry, name.sliced(dot + 1)))
            return Match{e, dot + 1};
    }
    return std::nullopt;
}

} // namespace platform
