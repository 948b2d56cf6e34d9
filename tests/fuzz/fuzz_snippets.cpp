// Snippet files from arbitrary bytes: the tolerant reader and the mapping of
// the snippet syntax. The reader throws only its own error and reads strict
// JSON as Qt does; every converted body fits a macro and ends its lines
// with CR LF only; the body syntax, fed the bytes as one body, never hangs
// or grows without bound.
#include "macros/MacrosFiler.h"
#include "macros/Snippets.h"

#include <QJsonDocument>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Violated(const char *what)
{
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

bool OnlyCrLf(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\n') && (i == 0 || text.at(i - 1) != QLatin1Char('\r')))
            return false;
        if (text.at(i) == QLatin1Char('\r') && (i + 1 >= text.size() || text.at(i + 1) != QLatin1Char('\n')))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));

    QJsonParseError strictError{};
    const QJsonDocument strict = QJsonDocument::fromJson(input, &strictError);
    QJsonDocument tolerant;
    bool parsed = false;
    try {
        tolerant = ParseTolerantJson(input);
        parsed = true;
    } catch (const ESnippetError &) {
    }
    if (strictError.error == QJsonParseError::NoError && !input.startsWith("\xEF\xBB\xBF")) {
        if (!parsed)
            Violated("strict JSON was refused");
        if (tolerant != strict)
            Violated("strict JSON read differently");
    }
    if (parsed && tolerant.isObject()) {
        try {
            const TSnippetFile file = SnippetsFromJson(tolerant);
            if (int(file.macros.size()) > file.snippets)
                Violated("more macros than snippets");
            for (const TSnippetMacro &macro : file.macros) {
                if (macro.body.size() > TMacroRec::BodyCapacity)
                    Violated("a body longer than a macro holds");
                if (!OnlyCrLf(macro.body))
                    Violated("a line end other than CR LF");
            }
        } catch (const ESnippetError &) {
            Violated("an object of snippets was refused");
        }
    }

    TSnippetNotes notes;
    const QString body = QString::fromUtf8(input);
    const QString macro = SnippetBodyToMacro(body, QStringLiteral("fuzz"), notes);
    if (!OnlyCrLf(macro))
        Violated("a body's line end other than CR LF");
    if (macro.size() > 64 * (body.size() + 16))
        Violated("a body grew far beyond its source");
    return 0;
}
