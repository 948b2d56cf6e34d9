// The .dpr reader: a project file's bytes decoded as the host does, then its
// uses clause parsed. Every unit the parser reports is made of the input's
// own text, in the order of the source: each part of its name is an
// identifier found there, and its file name a quoted string found there as
// written (quotes doubled).
// An unedited project file also saves back byte for byte unless the decoder
// names a problem.
#include "ProjectFile.h"
#include "TextFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace qide;

namespace {

[[noreturn]] void Fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "fuzz_dpr: %s: %s\n", what, detail.toUtf8().constData());
    std::abort();
}

bool IsIdentifier(const QString &part)
{
    if (part.isEmpty() || !(part.at(0).isLetter() || part.at(0) == QLatin1Char('_')))
        return false;
    for (QChar c : part)
        if (!c.isLetterOrNumber() && c != QLatin1Char('_'))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const TDecodedText decoded = DecodeTextFile(bytes);
    const QString source = FromStandIns(decoded.text, decoded.format);

    // Units come in the order of the source: each piece is searched from
    // where the one before it was found.
    qsizetype from = 0;
    auto findFrom = [&](const QString &piece, const char *what, const QString &detail) {
        const qsizetype at = source.indexOf(piece, from);
        if (at < 0)
            Fail(what, detail);
        from = at + piece.size();
    };
    for (const TProjectUnit &unit : ParseUsesClause(source)) {
        for (const QString &part : unit.name.split(QLatin1Char('.'))) {
            if (!IsIdentifier(part))
                Fail("a unit name part is no identifier", unit.name);
            findFrom(part, "a unit name part is not in the source, in order", unit.name);
        }
        if (unit.fileName.contains(QLatin1Char('\n')) || unit.fileName.contains(QLatin1Char('\r')))
            Fail("a unit file name spans lines", unit.fileName);
        if (!unit.fileName.isEmpty()) {
            QString quoted = unit.fileName;
            quoted.replace(QLatin1Char('\''), QLatin1String("''"));
            findFrom(QLatin1Char('\'') + quoted, "a unit file name is not a string of the source, in order",
                     unit.fileName);
        }
    }

    TTextFormat format = decoded.format;
    if (decoded.problem.isEmpty() && EncodeTextFile(decoded.text, format) != bytes)
        Fail("an unedited project did not save back byte for byte", decoded.problem);
    return 0;
}
