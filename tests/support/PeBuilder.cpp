#include "PeBuilder.h"

#include <QFile>
#include <QProcess>
#include <QtEndian>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

// The cross linker ships no default script for 32-bit files; resources
// need only their own section.
const char Pe32Script[] = "SECTIONS\n"
                          "{\n"
                          "  . = SIZEOF_HEADERS;\n"
                          "  . = ALIGN(__section_alignment__);\n"
                          "  .rsrc __image_base__ + . : { *(.rsrc) *(SORT(.rsrc$*)) }\n"
                          "  /DISCARD/ : { *(*) }\n"
                          "}\n";

bool Run(const QString &dir, const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.setWorkingDirectory(dir);
    tool.start(program, arguments);
    if (!tool.waitForFinished(60000)) {
        ADD_FAILURE() << "cannot run " << program.toStdString() << ": "
                      << tool.errorString().toStdString()
                      << " (./dev.sh installs binutils-mingw-w64-x86-64 and cpp)";
        return false;
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed: "
                      << tool.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

bool Write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        return true;
    ADD_FAILURE() << "cannot write " << path.toStdString();
    return false;
}

} // namespace

QString BuildDll(const QString &dir, const QString &name, const QByteArray &rcScript,
                 TPeKind kind, int codePage)
{
    const bool pe32 = kind == TPeKind::Pe32;
    const QString rc = name + QStringLiteral(".rc");
    const QString object = name + QStringLiteral(".o");
    if (!Write(dir + QLatin1Char('/') + rc, rcScript))
        return {};
    QStringList compile;
    if (pe32)
        compile << QStringLiteral("--target=pe-i386");
    compile << QStringLiteral("--preprocessor=cpp") << QStringLiteral("--codepage=%1").arg(codePage)
            << QStringLiteral("-i") << rc << QStringLiteral("-O") << QStringLiteral("coff")
            << QStringLiteral("-o") << object;
    if (!Run(dir, QStringLiteral("x86_64-w64-mingw32-windres"), compile))
        return {};
    QStringList link;
    if (pe32) {
        const QString script = name + QStringLiteral(".ld");
        if (!Write(dir + QLatin1Char('/') + script, Pe32Script))
            return {};
        link << QStringLiteral("-m") << QStringLiteral("i386pe") << QStringLiteral("-T") << script;
    }
    link << QStringLiteral("--dll") << QStringLiteral("-e") << QStringLiteral("0")
         << QStringLiteral("-o") << name << object;
    if (!Run(dir, QStringLiteral("x86_64-w64-mingw32-ld"), link))
        return {};
    return dir + QLatin1Char('/') + name;
}

QString LinkDllFromRes(const QString &dir, const QString &name, const QString &resFile)
{
    const QString object = name + QStringLiteral(".o");
    if (!Run(dir, QStringLiteral("x86_64-w64-mingw32-windres"),
             {QStringLiteral("-J"), QStringLiteral("res"), QStringLiteral("-i"), resFile,
              QStringLiteral("-O"), QStringLiteral("coff"), QStringLiteral("-o"), object}))
        return {};
    if (!Run(dir, QStringLiteral("x86_64-w64-mingw32-ld"),
             {QStringLiteral("--dll"), QStringLiteral("-e"), QStringLiteral("0"),
              QStringLiteral("-o"), name, object}))
        return {};
    return dir + QLatin1Char('/') + name;
}

TPeHeaders ReadPeHeaders(const QString &file)
{
    TPeHeaders h;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return h;
    const QByteArray b = f.readAll();
    const auto u16 = [&](qsizetype at) -> uint32_t {
        return at >= 0 && at + 2 <= b.size() ? qFromLittleEndian<uint16_t>(b.constData() + at) : 0;
    };
    const auto u32 = [&](qsizetype at) -> uint32_t {
        return at >= 0 && at + 4 <= b.size() ? qFromLittleEndian<uint32_t>(b.constData() + at) : 0;
    };
    const qsizetype pe = u32(0x3C);
    if (b.size() < 0x40 || !b.startsWith("MZ") || b.mid(pe, 4) != QByteArray("PE\0\0", 4))
        return h;
    const qsizetype coff = pe + 4;
    const qsizetype optional = coff + 20;
    h.Machine = uint16_t(u16(coff));
    h.Characteristics = uint16_t(u16(coff + 18));
    h.Magic = uint16_t(u16(optional));
    h.EntryPoint = u32(optional + 16);
    const qsizetype directories = optional + (h.Magic == 0x20B ? 112 : 96);
    const uint32_t importRva = u32(directories + 8);
    h.HasResources = u32(directories + 16) != 0 && u32(directories + 20) != 0;
    // An RVA to a file offset through the section table.
    const int sections = int(u16(coff + 2));
    const qsizetype table = optional + u16(coff + 16);
    const auto offsetOf = [&](uint32_t rva) -> qsizetype {
        for (int i = 0; i < sections; ++i) {
            const qsizetype s = table + 40 * i;
            const uint32_t va = u32(s + 12), size = std::max(u32(s + 8), u32(s + 16));
            if (rva >= va && rva < va + size)
                return qsizetype(u32(s + 20)) + (rva - va);
        }
        return -1;
    };
    if (importRva == 0) {
        h.Imports = 0;
    } else if (qsizetype at = offsetOf(importRva); at >= 0) {
        h.Imports = 0;
        // Each descriptor is 20 bytes; an all-zero one ends the table.
        while (at + 20 <= b.size() && b.mid(at, 20) != QByteArray(20, '\0')) {
            ++h.Imports;
            at += 20;
        }
    }
    h.Valid = h.Magic == 0x10B || h.Magic == 0x20B;
    return h;
}
