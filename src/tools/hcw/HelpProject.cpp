#include "HelpProject.h"

#include "CodePage.h"
#include "Exception.h"
#include "SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// Projects and map files are small; the cap keeps a wrong name from eating memory.
constexpr qint64 MaxProjectBytes = 16 * 1024 * 1024;
constexpr int MaxIncludeDepth = 8;

QString Slashes(QString name)
{
    name = name.trimmed();
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (name.size() >= 2 && ((name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')))
                             || (name.startsWith(QLatin1Char('<')) && name.endsWith(QLatin1Char('>')))))
        name = name.mid(1, name.size() - 2).trimmed();
    return name;
}

// The entry of dir named like part, the exact name first.
QString Entry(const QString &dir, const QString &part)
{
    const QString exact = dir + QLatin1Char('/') + part;
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &e : entries)
        if (e.compare(part, Qt::CaseInsensitive) == 0)
            return dir + QLatin1Char('/') + e;
    return {};
}

QStringList SplitList(const QString &value)
{
    QStringList out;
    for (const QString &part : value.split(QRegularExpression(QStringLiteral("[;,]")), Qt::SkipEmptyParts))
        if (!part.trimmed().isEmpty())
            out.append(part.trimmed());
    return out;
}

// Fields of a [WINDOWS] value, split at commas outside quotes and parentheses.
QStringList WindowFields(const QString &value)
{
    QStringList fields;
    QString field;
    int depth = 0;
    bool quoted = false;
    for (QChar c : value) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('('))
            ++depth;
        else if (!quoted && c == QLatin1Char(')') && depth > 0)
            --depth;
        if (c == QLatin1Char(',') && !quoted && depth == 0) {
            fields.append(field.trimmed());
            field.clear();
        } else {
            field += c;
        }
    }
    fields.append(field.trimmed());
    return fields;
}

bool ParseNumber(const QString &text, int &number)
{
    bool ok = false;
    const QString t = text.trimmed();
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        number = t.mid(2).toInt(&ok, 16);
    else
        number = t.toInt(&ok, 10);
    return ok;
}

void Message(THelpProject &project, const QString &file, int line, const QString &text, bool error = true)
{
    project.Messages.append({file, line, text, error});
}

// The files being read, the project first: an #INCLUDE of one of them is a
// cycle, reported once instead of read again until too deep.
using TIncludeChain = QStringList;

QString Canonical(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
}

void ParseMapLines(THelpProject &project, const QString &file, const QString &text, TIncludeChain &chain);

void Include(THelpProject &project, const QString &from, int line, const QString &name, TIncludeChain &chain)
{
    // The project is not one of the map files, hence the -1.
    if (chain.size() - 1 >= MaxIncludeDepth) {
        Message(project, from, line, QStringLiteral("#INCLUDE nested too deeply: %1").arg(name));
        return;
    }
    QString path = FindNoCase(QFileInfo(from).absolutePath(), name);
    if (path.isEmpty())
        path = FindNoCase(project.Dir, name);
    if (path.isEmpty()) {
        Message(project, from, line, QStringLiteral("Cannot find the included file %1").arg(name));
        return;
    }
    const QString canonical = Canonical(path);
    if (chain.contains(canonical)) {
        Message(project, from, line, QStringLiteral("#INCLUDE cycle: %1 is already being read").arg(path));
        return;
    }
    try {
        const QString text = DecodeText(ReadWholeFile(path, MaxProjectBytes));
        chain.append(canonical);
        ParseMapLines(project, path, text, chain);
        chain.removeLast();
    } catch (const Exception &e) {
        Message(project, from, line, QStringLiteral("Cannot read the included file %1: %2").arg(name, e.message()));
    }
}

// Lines of [MAP] or of a map file: "ctx = N", "ctx N", "#define ctx N".
bool MapLine(THelpProject &project, const QString &file, int line, const QString &text, TIncludeChain &chain)
{
    static const QRegularExpression include(QStringLiteral("^#\\s*include\\s+(.+)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression define(QStringLiteral("^#\\s*define\\s+(\\S+)\\s+(\\S+)"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression pair(QStringLiteral("^([^=\\s]+)\\s*(?:=\\s*|\\s+)(\\S+)$"));
    if (const auto m = include.match(text); m.hasMatch()) {
        Include(project, file, line, Slashes(m.captured(1)), chain);
        return true;
    }
    QRegularExpressionMatch m = define.match(text);
    if (!m.hasMatch())
        m = pair.match(text);
    int number = 0;
    if (m.hasMatch() && ParseNumber(m.captured(2), number)) {
        project.Map.append({m.captured(1), number, file, line});
        return true;
    }
    return false;
}

void ParseMapLines(THelpProject &project, const QString &file, const QString &text, TIncludeChain &chain)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i].trimmed();
        const qsizetype comment = line.indexOf(QLatin1String("//"));
        if (comment >= 0)
            line.truncate(comment);
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1String("/*")))
            continue;
        if (!MapLine(project, file, i + 1, line, chain))
            Message(project, file, i + 1, QStringLiteral("Invalid map entry: %1").arg(line));
    }
}

} // namespace

QString FindNoCase(const QString &dir, const QString &name)
{
    const QString n = Slashes(name);
    if (n.isEmpty())
        return {};
    QString at = n.startsWith(QLatin1Char('/')) ? QString() : QDir(dir).absolutePath();
    if (at == QLatin1String("/"))
        at.clear();
    for (const QString &part : n.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            at = QFileInfo(at.isEmpty() ? QStringLiteral("/") : at).absolutePath();
            if (at == QLatin1String("/"))
                at.clear();
            continue;
        }
        at = Entry(at.isEmpty() ? QStringLiteral("/") : at, part);
        if (at.startsWith(QLatin1String("//")))
            at.remove(0, 1);
        if (at.isEmpty())
            return {};
    }
    return QDir::cleanPath(at.isEmpty() ? QStringLiteral("/") : at);
}

QString OutputPath(const QString &dir, const QString &name)
{
    const QString n = Slashes(name);
    const qsizetype slash = n.lastIndexOf(QLatin1Char('/'));
    const QString file = n.mid(slash + 1);
    if (slash < 0)
        return QDir::cleanPath(QDir(dir).absolutePath() + QLatin1Char('/') + file);
    const QString parent = n.left(slash);
    QString found = FindNoCase(dir, parent.isEmpty() ? QStringLiteral("/") : parent);
    if (found.isEmpty())
        found = QDir(dir).absoluteFilePath(parent);
    return QDir::cleanPath(found + QLatin1Char('/') + file);
}

QColor ParseWindowColor(const QString &field)
{
    static const QRegularExpression packed(QStringLiteral("^\\(\\s*r\\s*(\\d+)\\s*\\)$"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression triple(QStringLiteral("^\\(\\s*(\\d+)\\s*,\\s*(\\d+)\\s*,\\s*(\\d+)\\s*\\)$"));
    if (const auto m = packed.match(field.trimmed()); m.hasMatch()) {
        const quint32 v = m.captured(1).toUInt();
        return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
    }
    if (const auto m = triple.match(field.trimmed()); m.hasMatch())
        return QColor(qMin(255, m.captured(1).toInt()), qMin(255, m.captured(2).toInt()),
                      qMin(255, m.captured(3).toInt()));
    return {};
}

QString THelpProject::HelpFile() const
{
    const QString hlp = Options.value(QStringLiteral("HLP"));
    if (!hlp.isEmpty())
        return OutputPath(Dir, hlp);
    return QDir(Dir).absoluteFilePath(QFileInfo(Path).completeBaseName() + QStringLiteral(".hlp"));
}

QString THelpProject::ErrorLog() const
{
    const QString log = Options.value(QStringLiteral("ERRORLOG"));
    return log.isEmpty() ? QString() : OutputPath(Dir, log);
}

QString THelpProject::Title() const { return Options.value(QStringLiteral("TITLE")); }
QString THelpProject::Contents() const { return Options.value(QStringLiteral("CONTENTS")); }

QStringList THelpProject::RootDirs() const
{
    QStringList dirs;
    for (const QString &root : SplitList(Options.value(QStringLiteral("ROOT")))) {
        const QString found = FindNoCase(Dir, root);
        if (!found.isEmpty())
            dirs.append(found);
    }
    if (!dirs.contains(Dir))
        dirs.append(Dir);
    return dirs;
}

QStringList THelpProject::BitmapDirs() const
{
    QStringList dirs;
    for (const QString &root : SplitList(Options.value(QStringLiteral("BMROOT")))) {
        const QString found = FindNoCase(Dir, root);
        if (!found.isEmpty())
            dirs.append(found);
    }
    for (const QString &d : RootDirs())
        if (!dirs.contains(d))
            dirs.append(d);
    return dirs;
}

void ParseHelpProject(THelpProject &project, const QByteArray &bytes)
{
    const QStringList lines = DecodeText(bytes).split(QLatin1Char('\n'));
    QString section;
    TIncludeChain chain{Canonical(project.Path)};
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed().toUpper();
            continue;
        }
        if (section == QLatin1String("OPTIONS")) {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq <= 0) {
                Message(project, project.Path, lineNo, QStringLiteral("Invalid option: %1").arg(line));
                continue;
            }
            project.Options.insert(line.left(eq).trimmed().toUpper(), line.mid(eq + 1).trimmed());
        } else if (section == QLatin1String("FILES")) {
            project.Files.append({QString(), line, lineNo});
        } else if (section == QLatin1String("MAP")) {
            if (!MapLine(project, project.Path, lineNo, line, chain))
                Message(project, project.Path, lineNo, QStringLiteral("Invalid map entry: %1").arg(line));
        } else if (section == QLatin1String("WINDOWS")) {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq <= 0) {
                Message(project, project.Path, lineNo, QStringLiteral("Invalid window: %1").arg(line));
                continue;
            }
            const QStringList f = WindowFields(line.mid(eq + 1));
            THelpWindow w;
            w.Name = line.left(eq).trimmed();
            w.Caption = f.value(0);
            if (w.Caption.size() >= 2 && w.Caption.startsWith(QLatin1Char('"')) && w.Caption.endsWith(QLatin1Char('"')))
                w.Caption = w.Caption.mid(1, w.Caption.size() - 2);
            w.Topic = ParseWindowColor(f.value(3));
            w.NonScroll = ParseWindowColor(f.value(4));
            project.Windows.append(w);
        } else if (section == QLatin1String("CONFIG")) {
            project.Config.append(line);
        }
        // Other sections ([ALIAS], [BAGGAGE]...) are not used by these documents.
    }
    // The files are looked for once ROOT is known, wherever [OPTIONS] stands.
    const QStringList roots = project.RootDirs();
    for (TSourceFile &f : project.Files) {
        for (const QString &root : roots) {
            f.Path = FindNoCase(root, f.Name);
            if (!f.Path.isEmpty())
                break;
        }
        if (f.Path.isEmpty())
            Message(project, project.Path, f.Line, QStringLiteral("Cannot find the file %1").arg(f.Name));
    }
}

THelpProject ReadHelpProject(const QString &path)
{
    THelpProject project;
    project.Path = QFileInfo(path).absoluteFilePath();
    project.Dir = QFileInfo(path).absolutePath();
    QByteArray bytes;
    try {
        bytes = ReadWholeFile(path, MaxProjectBytes);
    } catch (const Exception &e) {
        Message(project, project.Path, 0, QStringLiteral("Cannot read the help project: %1").arg(e.message()));
        return project;
    }
    project.Read = true;
    ParseHelpProject(project, bytes);
    return project;
}
