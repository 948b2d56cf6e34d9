#include "PeBuilder.h"

#include <QFile>
#include <QProcess>

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
