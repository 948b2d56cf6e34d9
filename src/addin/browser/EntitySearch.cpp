#include "EntitySearch.h"

#include "BufferGrep.h"

void ConfigureEntitySearch(TBufferGrep &grep)
{
    grep.FStartWord = QStringLiteral("implementation");
    grep.FKeywords = {QStringLiteral("PROCEDURE"), QStringLiteral("FUNCTION"),
                      QStringLiteral("CONSTRUCTOR"), QStringLiteral("DESTRUCTOR")};
    grep.FEndWord.clear();
}

bool ExtractEntityName(const QString &text, QString &name)
{
    name.clear();
    const char16_t *b = reinterpret_cast<const char16_t *>(text.constData());
    const char16_t *e = b + text.size();
    while (b < e && *b <= 32)
        ++b;
    while (e > b && e[-1] <= 32)
        --e;

    auto startsWith = [b, e](const char *word, size_t n) {
        if (size_t(e - b) < n)
            return false;
        for (size_t i = 0; i < n; ++i) {
            const char16_t c = b[i];
            if (((c >= u'a' && c <= u'z') ? char16_t(c - 32) : c) != char16_t(word[i]))
                return false;
        }
        return true;
    };
    if (!startsWith("FUNCTION", 8) && !startsWith("PROCEDURE", 9) && !startsWith("CONSTRUCTOR", 11)
        && !startsWith("DESTRUCTOR", 10))
        return false;

    // The text after the first space, at most 1024 characters of it, without
    // the blanks at its start.
    const char16_t *p = b;
    while (p < e && *p != u' ')
        ++p;
    if (p == e)
        return true; // no space: nothing after it
    const char16_t *rest = p + 1;
    const char16_t *restEnd = e - rest > 1024 ? rest + 1024 : e;
    while (rest < restEnd && *rest <= 32)
        ++rest;

    // Up to the first "(" when it is not the first character, else up to
    // the first ";"; then up to the first ":".
    const char16_t *cut = rest;
    while (cut < restEnd && *cut != u'(')
        ++cut;
    if (cut == restEnd || cut == rest) {
        cut = rest;
        while (cut < restEnd && *cut != u';')
            ++cut;
        if (cut == restEnd)
            return true; // neither: no name
    }
    const char16_t *colon = rest;
    while (colon < cut && *colon != u':')
        ++colon;
    name = QString(reinterpret_cast<const QChar *>(rest), colon - rest);
    return true;
}
