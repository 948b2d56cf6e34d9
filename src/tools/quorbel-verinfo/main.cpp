// quorbel-verinfo: the version information of built Windows files (.exe,
// .dll), shown and written natively, for builds on Linux.
//
//   quorbel-verinfo show FILE [--json]
//   quorbel-verinfo set FILE [-o OUT] [--file-version V] [--product-version V]
//                   [--string NAME=VALUE]... [--language L] [--codepage C]
//                   [--remove-signature]
//
// Exit codes: 0 done, 1 an error (the reason on standard error), 2 a wrong
// command line.
#include "PeResources.h"
#include "ToolKit.h"
#include "VersionInfo.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

const char Usage[] =
    "usage: quorbel-verinfo show FILE [--json]\n"
    "       quorbel-verinfo set FILE [-o OUT] [--file-version V] [--product-version V]\n"
    "                       [--string NAME=VALUE]... [--language L] [--codepage C]\n"
    "                       [--remove-signature]\n"
    "V is up to four numbers, as 1.2.3.4. L is a language identifier (0x0409), C a\n"
    "code page (1200 or 0x04B0); they choose the string block written, by default\n"
    "the file's first. --remove-signature writes into a signed file, whose\n"
    "signature the change breaks, and drops the signature.\n";

void Print(FILE *to, const QString &text)
{
    std::fprintf(to, "%s\n", text.toUtf8().constData());
}

int Wrong(const QString &text)
{
    PrintError(text);
    std::fputs(Usage, stderr);
    return ExitUsage;
}

QString Hex8(uint32_t v)
{
    return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0')).toUpper().replace(QLatin1String("0X"),
                                                                                       QLatin1String("0x"));
}

QString Hex4(uint32_t v)
{
    return QStringLiteral("0x%1").arg(v, 4, 16, QLatin1Char('0')).toUpper().replace(QLatin1String("0X"),
                                                                                       QLatin1String("0x"));
}

// "0x0409", "1033".
bool Number16(const QString &text, uint16_t &value)
{
    bool ok = false;
    const uint v = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toUInt(&ok, 16)
                                                                              : text.toUInt(&ok, 10);
    if (!ok || v > 0xFFFF)
        return false;
    value = uint16_t(v);
    return true;
}

int Show(const QString &file, bool json)
{
    uint32_t handle = 0;
    const uint32_t size = GetFileVersionInfoSize(file, handle);
    QByteArray data;
    TVersionRecord record;
    if (size == 0 || !GetFileVersionInfo(file, handle, size, data) || !ParseVersionRecord(data, record)) {
        PrintError(NoVersionReason(file));
        return ExitFailed;
    }
    if (json) {
        QJsonObject root;
        root[QStringLiteral("file")] = file;
        if (record.Fixed) {
            const TFixedFileInfo &f = *record.Fixed;
            root[QStringLiteral("fixed")] = QJsonObject{
                {QStringLiteral("fileVersion"), FileVersionText(f.FileVersionMS, f.FileVersionLS)},
                {QStringLiteral("productVersion"), FileVersionText(f.ProductVersionMS, f.ProductVersionLS)},
                {QStringLiteral("fileFlagsMask"), qint64(f.FileFlagsMask)},
                {QStringLiteral("fileFlags"), qint64(f.FileFlags)},
                {QStringLiteral("fileOS"), qint64(f.FileOS)},
                {QStringLiteral("fileType"), qint64(f.FileType)},
                {QStringLiteral("fileSubtype"), qint64(f.FileSubtype)},
                {QStringLiteral("fileDate"), QString::number((quint64(f.FileDateMS) << 32) | f.FileDateLS)},
            };
        } else {
            root[QStringLiteral("fixed")] = QJsonValue::Null;
        }
        QJsonArray translations;
        for (const auto &t : record.Translations)
            translations.append(QJsonObject{{QStringLiteral("language"), t.first}, {QStringLiteral("codepage"), t.second}});
        root[QStringLiteral("translations")] = translations;
        QJsonArray blocks;
        for (const TVersionStringBlock &b : record.Blocks) {
            QJsonObject strings;
            for (const auto &s : b.Strings)
                strings[s.first] = s.second;
            blocks.append(QJsonObject{{QStringLiteral("block"), b.Key}, {QStringLiteral("strings"), strings}});
        }
        root[QStringLiteral("stringTables")] = blocks;
        std::fputs(QJsonDocument(root).toJson(QJsonDocument::Indented).constData(), stdout);
        return ExitOk;
    }
    if (record.Fixed) {
        const TFixedFileInfo &f = *record.Fixed;
        Print(stdout, QStringLiteral("File version:    %1").arg(FileVersionText(f.FileVersionMS, f.FileVersionLS)));
        Print(stdout, QStringLiteral("Product version: %1").arg(FileVersionText(f.ProductVersionMS, f.ProductVersionLS)));
        Print(stdout, QStringLiteral("File flags:      %1 (mask %2)").arg(Hex8(f.FileFlags), Hex8(f.FileFlagsMask)));
        Print(stdout, QStringLiteral("File OS:         %1").arg(Hex8(f.FileOS)));
        Print(stdout, QStringLiteral("File type:       %1 (subtype %2)").arg(Hex8(f.FileType), Hex8(f.FileSubtype)));
    } else {
        Print(stdout, QStringLiteral("No fixed version record"));
    }
    for (const auto &t : record.Translations)
        Print(stdout, QStringLiteral("Translation:     %1 %2").arg(Hex4(t.first)).arg(t.second));
    for (const TVersionStringBlock &b : record.Blocks) {
        Print(stdout, QStringLiteral("Strings %1:").arg(b.Key));
        for (const auto &s : b.Strings)
            Print(stdout, QStringLiteral("  %1 = %2").arg(s.first, s.second));
    }
    return ExitOk;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SetProgramName("quorbel-verinfo");
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        std::fputs(Usage, args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? ExitUsage : ExitOk;
    }
    const QString command = args.takeFirst();
    if (command != QLatin1String("show") && command != QLatin1String("set"))
        return Wrong(QStringLiteral("unknown command %1").arg(command));
    const bool set = command == QLatin1String("set");

    QStringList plain;
    QString output;
    bool json = false;
    TVersionChange change;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        const bool takesValue = set
            && (arg == QLatin1String("-o") || arg == QLatin1String("--file-version")
                || arg == QLatin1String("--product-version") || arg == QLatin1String("--string")
                || arg == QLatin1String("--language") || arg == QLatin1String("--codepage"));
        if (takesValue) {
            if (i + 1 >= args.size())
                return Wrong(QStringLiteral("%1 needs a value").arg(arg));
            const QString value = args[++i];
            uint32_t ms, ls;
            uint16_t number;
            if (arg == QLatin1String("-o")) {
                output = value;
            } else if (arg == QLatin1String("--file-version") || arg == QLatin1String("--product-version")) {
                if (!ParseFileVersion(value, ms, ls))
                    return Wrong(QStringLiteral("%1 %2: a version is up to four numbers of 0 to 65535, as 1.2.3.4")
                                     .arg(arg, value));
                (arg == QLatin1String("--file-version") ? change.FileVersion : change.ProductVersion) = value;
            } else if (arg == QLatin1String("--string")) {
                const qsizetype eq = value.indexOf(QLatin1Char('='));
                if (eq <= 0)
                    return Wrong(QStringLiteral("--string %1: give NAME=VALUE").arg(value));
                change.Strings.append({value.left(eq), value.mid(eq + 1)});
            } else {
                if (!Number16(value, number))
                    return Wrong(QStringLiteral("%1 %2: give a number up to 0xFFFF (0x0409 or 1033)").arg(arg, value));
                (arg == QLatin1String("--language") ? change.Language : change.CodePage) = number;
            }
        } else if (set && arg == QLatin1String("--remove-signature")) {
            change.RemoveSignature = true;
        } else if (!set && arg == QLatin1String("--json")) {
            json = true;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            return Wrong(QStringLiteral("unknown option %1").arg(arg));
        } else {
            plain << arg;
        }
    }
    if (plain.size() != 1)
        return Wrong(QStringLiteral("%1 needs one FILE").arg(command));
    if (!set)
        return Show(plain.first(), json);
    if (!change.FileVersion && !change.ProductVersion && change.Strings.isEmpty() && !change.Language
        && !change.CodePage)
        return Wrong(QStringLiteral("set needs something to write (--file-version, --product-version, --string)"));
    try {
        const TVersionWriteReport report = SetVersionInFile(plain.first(), output, change);
        if (report.SignatureRemoved)
            PrintError(QStringLiteral("%1: the signature was removed; sign the file again")
                           .arg(output.isEmpty() ? plain.first() : output));
    } catch (const Exception &e) {
        PrintError(e.message());
        return ExitFailed;
    }
    return ExitOk;
}
