// proj.dat from arbitrary bytes: ReadText, then WriteText. Nothing read is
// lost (the tree, cleaned only where the file could not hold a text, and
// the unread rest come back), and a second load and save gives the same
// bytes.
#include "projects/ProjectGroups.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Violated(const char *what)
{
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

void Describe(const TProjectNode &node, int level, QString &out, bool clean)
{
    out += QString::number(level) + QLatin1Char(':');
    out += clean ? TProjectGroups::CleanText(node.Text, level) : node.Text;
    if (node.Data)
        out += QLatin1Char('=') + node.Data->GetData();
    out += QLatin1Char('\n');
    for (const auto &child : node.Children())
        Describe(*child, level + 1, out, clean);
}

// The tree and the unread rest as one text; with clean, as the file can
// hold them.
QString Describe(const TProjectGroups &groups, bool clean)
{
    QString out;
    for (const auto &root : groups.Roots())
        Describe(*root, 0, out, clean);
    return out + QStringLiteral("|rest:") + groups.Unread();
}

// Reads bytes, telling whether a level error stopped it.
bool Read(TProjectGroups &groups, const QByteArray &bytes)
{
    try {
        groups.ReadText(bytes);
    } catch (const EInvalidLevel &) {
        return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    TProjectGroups first;
    const bool firstClean = Read(first, input);
    const QByteArray once = first.WriteText();

    TProjectGroups second;
    const bool secondClean = Read(second, once);
    if (firstClean != secondClean)
        Violated("a level error came or went with a save");
    if (Describe(second, false) != Describe(first, true))
        Violated("something read was lost or changed by a save");
    const QByteArray twice = second.WriteText();
    if (twice != once)
        Violated("a second load and save changed the bytes");
    return 0;
}
