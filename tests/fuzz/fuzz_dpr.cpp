// The .dpr reader: a project file's bytes decoded as the host does, then its
// uses clause parsed. Every unit the parser reports is made of the input's
// own text: each part of its name is an identifier found in the source, and
// its file name is a quoted string found there as written (quotes doubled).
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

    const QList<TProjectUnit> units = ParseUsesClause(source);
    for (const TProjectUnit &unit : units) {
        for (const QString &part : unit.name.split(QLatin1Char('.'))) {
            if (!IsIdentifier(part))
                Fail("a unit name part is no identifier", unit.name);
            if (!source.contains(part))
                Fail("a unit name part is not in the source", unit.name);
        }
        QString quoted = unit.fileName;
        quoted.replace(QLatin1Char('\''), QLatin1String("''"));
        if (!unit.fileName.isEmpty() && !source.contains(QLatin1Char('\'') + quoted))
            Fail("a unit file name is not a string of the source", unit.fileName);
        if (unit.fileName.contains(QLatin1Char('\n')))
            Fail("a unit file name spans lines", unit.fileName);
    }

    TTextFormat format = decoded.format;
    if (decoded.problem.isEmpty() && EncodeTextFile(decoded.text, format) != bytes)
        Fail("an unedited project did not save back byte for byte", decoded.problem);
    return 0;
}
