#include "ShownText.h"

namespace {

constexpr int kKeptLastLine = 64;
constexpr QChar kEllipsis(0x2026);

bool IsBidiControl(char16_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

QString Clean(const QString& text, bool keepBreaks)
{
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\t') || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator) {
            clean += keepBreaks ? (c == QLatin1Char('\t') ? c : QChar(QLatin1Char('\n'))) : QChar(' ');
        } else if (c.category() != QChar::Other_Control && !IsBidiControl(c.unicode())) {
            clean += c;
        }
    }
    return clean;
}

// The first maxChars characters, never half of a surrogate pair.
QString Head(const QString& text, int maxChars)
{
    if (maxChars > 0 && maxChars < text.size() && text.at(maxChars).isLowSurrogate()) {
        --maxChars;
    }
    return text.left(qMax(0, maxChars));
}

} // namespace

namespace ShownText {

QString Line(const QString& text, int maxChars)
{
    const QString clean = Clean(text, false).trimmed();
    return clean.size() <= maxChars ? clean : Head(clean, maxChars - 1) + kEllipsis;
}

QString Block(const QString& text, int maxChars)
{
    const QString clean = Clean(text, true);
    if (clean.size() <= maxChars) {
        return clean;
    }
    const int lastBreak = clean.lastIndexOf(QLatin1Char('\n'));
    const QString lastLine = lastBreak >= 0 && clean.size() - lastBreak <= qMin(kKeptLastLine, maxChars / 2)
                                 ? clean.mid(lastBreak)
                                 : QString();
    return Head(clean, maxChars - 1 - lastLine.size()) + kEllipsis + lastLine;
}

} // namespace ShownText
