#include "LazarusGroup.h"

#include "ProjectGroups.h"
#include "core/StringTable.h"

#include "Exception.h"
#include "Paths.h"
#include "SafeFile.h"

#include <QDir>
#include <QXmlStreamReader>

namespace {

[[noreturn]] void Refuse(const QString &lpgPath, const QString &why)
{
    throw Exception(LoadStr(txt::NotAnLpg).arg(lpgPath, why));
}

// The first FileName attribute of the element the reader stands on or of
// any element inside it; the reader is left on the element's end.
QString TargetFileName(QXmlStreamReader &xml)
{
    QString name = xml.attributes().value(QLatin1String("FileName")).toString();
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (name.isEmpty())
                name = xml.attributes().value(QLatin1String("FileName")).toString();
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    return name;
}

// The main source named in a .lpi: the unit at General/MainUnit (0 when
// left out) of ProjectOptions/Units, as Unit0, Unit1... or repeated Unit
// elements, its Filename relative to the .lpi. Empty when the file says none.
QString LpiMainSource(const QString &lpi)
{
    QByteArray bytes;
    try {
        bytes = ReadWholeFile(lpi, TLazarusGroup::MaxFileBytes);
    } catch (const Exception &) {
        return {};
    }
    QXmlStreamReader xml(bytes);
    QStringList path; // element names from CONFIG down
    int mainUnit = 0;
    QStringList files; // per unit, in order
    const QLatin1String units("CONFIG/ProjectOptions/Units/");
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            path << xml.name().toString();
            const QString at = path.join(QLatin1Char('/'));
            if (at == QLatin1String("CONFIG/ProjectOptions/General/MainUnit"))
                mainUnit = xml.attributes().value(QLatin1String("Value")).toInt();
            else if (path.size() == 4 && at.startsWith(units))
                files << QString();
            else if (path.size() == 5 && at.startsWith(units) && path.last() == QLatin1String("Filename"))
                files.last() = xml.attributes().value(QLatin1String("Value")).toString();
        } else if (token == QXmlStreamReader::EndElement) {
            if (!path.isEmpty())
                path.removeLast();
        }
    }
    QString source = mainUnit >= 0 && mainUnit < files.size() ? files.at(mainUnit) : QString();
    if (source.isEmpty())
        return {};
    source.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(QDir::isAbsolutePath(source) ? source : ExtractFileDir(lpi) + QLatin1Char('/') + source);
}

// Lazarus keeps a project as a .lpi that names its program source (by
// default of the same name beside it); the IDE here compiles the source.
QString ProgramSource(const QString &target)
{
    const QString ext = ExtractFileExt(target).toLower();
    if (ext == QLatin1String(".lpr") || ext == QLatin1String(".dpr"))
        return target;
    if (ext != QLatin1String(".lpi"))
        return {};
    const QString named = LpiMainSource(target);
    if (!named.isEmpty())
        return named;
    for (const char *source : {".lpr", ".dpr"}) {
        const QString candidate = ChangeFileExt(target, QString::fromLatin1(source));
        if (FileExists(candidate))
            return candidate;
    }
    return ChangeFileExt(target, QStringLiteral(".lpr"));
}

void AddTarget(TImportedGroup &group, const QString &lpgDir, QString fileName, const QString &element)
{
    const QString shown = fileName.isEmpty() ? QLatin1Char('<') + element + QLatin1Char('>') : fileName;
    const auto leaveOut = [&](const QString &why) { group.NotImported << shown + QStringLiteral(": ") + why; };
    if (fileName.trimmed().isEmpty()) {
        leaveOut(LoadStr(txt::BuildNotFound));
        return;
    }
    // A group saved on Windows separates with backslashes.
    fileName.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString absolute = QDir::cleanPath(QDir::isAbsolutePath(fileName) ? fileName
                                                                            : lpgDir + QLatin1Char('/') + fileName);
    if (!FileExists(absolute)) {
        leaveOut(LoadStr(txt::BuildNotFound));
        return;
    }
    const QString source = ProgramSource(absolute);
    if (source.isEmpty() || source.size() > TData::MaxPath) {
        leaveOut(LoadStr(txt::NotAListedProject));
        return;
    }
    if (!FileExists(source)) {
        group.NotImported << source + QStringLiteral(": ") + LoadStr(txt::BuildNotFound);
        return;
    }
    QString label = TProjectGroups::CleanText(ExtractFileName(ChangeFileExt(source, QString())), 1);
    group.Projects.push_back({label, source});
}

} // namespace

TImportedGroup TLazarusGroup::Import(const QString &path)
{
    QByteArray bytes;
    try {
        bytes = ReadWholeFile(path, MaxFileBytes);
    } catch (const Exception &e) {
        Refuse(path, e.message());
    }
    return Read(bytes, path);
}

TImportedGroup TLazarusGroup::Read(const QByteArray &bytes, const QString &lpgPath)
{
    TImportedGroup group;
    group.Name = TProjectGroups::CleanText(ExtractFileName(ChangeFileExt(lpgPath, QString())), 0);
    if (group.Name.isEmpty())
        group.Name = QStringLiteral("Lazarus");
    const QString lpgDir = QDir::cleanPath(QDir(ExtractFileDir(lpgPath)).absolutePath());

    QXmlStreamReader xml(bytes);
    // Where the reader stands: 0 outside, 1 in CONFIG, 2 in ProjectGroup,
    // 3 in Targets.
    int at = 0;
    bool sawGroup = false;
    int depth = 0;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            const auto name = xml.name();
            if (at == 0 && depth == 1 && name == QLatin1String("CONFIG")) {
                at = 1;
            } else if (at == 1 && depth == 2 && name == QLatin1String("ProjectGroup")) {
                at = 2;
                sawGroup = true;
            } else if (at == 2 && depth == 3 && name == QLatin1String("Targets")) {
                at = 3;
            } else if (at == 3 && depth == 4) {
                const QString element = name.toString();
                AddTarget(group, lpgDir, TargetFileName(xml), element);
                --depth; // TargetFileName read the element's end
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (at == depth && at > 0)
                --at;
            --depth;
        }
    }
    if (xml.hasError())
        Refuse(lpgPath, xml.errorString());
    if (!sawGroup)
        Refuse(lpgPath, QStringLiteral("no <CONFIG><ProjectGroup>"));
    return group;
}
