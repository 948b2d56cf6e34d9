// hcw's compile: the project's documents read twice, for the index and then
// page by page, and the help file written when both passes are done.
#include "HelpCompilerParts.h"

#include "Exception.h"
#include "FileReader.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSet>

namespace Hcw {

namespace {

// A document of 20,000 topics is a few megabytes; this only stops a wrong file.
constexpr qint64 MaxDocumentBytes = 1024LL * 1024 * 1024;

} // namespace

THcwResult TCompiler::Run()
{
    R.Messages = P.Messages;
    // First pass: the index (topics, context strings, keywords); then
    // the pages, read again and written one at a time to the spool.
    for (const TSourceFile &f : P.Files)
        if (!f.Path.isEmpty())
            Index(f);
    AssignIds();
    MapNumbers();
    R.Topics = int(Topics.size());
    if (Out && !OpenSpool())
        Out = nullptr;
    for (int i = 0; i < Sources.size(); ++i)
        Pages(i);
    Write();
    return std::move(R);
}

void TCompiler::Message(const QString &file, int line, const QString &text, bool error)
{
    R.Messages.append({file, line, text, error});
}

void TCompiler::WriteFailed(const QString &why)
{
    if (R.WriteError.isEmpty())
        R.WriteError = why;
    Out = nullptr;
}

bool TCompiler::ReadDocument(const QString &path, TRtfStreamReader &reader, QString &why)
{
    try {
        TFileReader file;
        if (!file.Open(path))
            throw EInOutError(QStringLiteral("Cannot open file %1").arg(path));
        if (file.Size() > MaxDocumentBytes)
            throw EInOutError(QStringLiteral("Cannot read %1: the file is too large (%2 bytes; "
                                             "the limit is %3 bytes)")
                                  .arg(path)
                                  .arg(file.Size())
                                  .arg(MaxDocumentBytes));
        QByteArray chunk(ChunkBytes, Qt::Uninitialized);
        // No more than its size when opened: a file that grows is not read on for ever.
        for (qint64 left = file.Size(); left > 0;) {
            const qint64 got = file.Read(chunk.data(), qMin<qint64>(left, ChunkBytes));
            if (got <= 0)
                break;
            left -= got;
            reader.Feed(chunk.constData(), got);
        }
    } catch (const Exception &e) {
        why = e.message();
        return false;
    }
    reader.Finish();
    return true;
}

void TCompiler::Index(const TSourceFile &f)
{
    struct TSink final : TRtfSink {
        TCompiler &C;
        int Source;
        explicit TSink(TCompiler &c, int source) : C(c), Source(source) {}
        void Topic(TRtfTopic &t, const TRtfDocument &) override
        {
            C.Topics.append({QString(), std::move(t.Context), std::move(t.Title), std::move(t.Keywords),
                             t.HasTitle, t.ContextLine, Source, {}});
        }
    } sink(*this, int(Sources.size()));
    TRtfStreamReader reader(sink);
    TSource source{f.Path, f.Name, f.Line, {}, int(Topics.size()), 0};
    QString why;
    if (!ReadDocument(f.Path, reader, why)) {
        Topics.resize(source.FirstTopic);
        Message(P.Path, f.Line, QStringLiteral("Cannot read the file %1: %2").arg(f.Name, why));
        return;
    }
    for (const TRtfProblem &problem : reader.Problems())
        Message(f.Path, problem.Line, problem.Text);
    source.TopicCount = int(Topics.size()) - source.FirstTopic;
    source.Tables = reader.Document();
    if (source.TopicCount == 0)
        Message(f.Path, 1, QStringLiteral("The file holds no topic"), false);
    Sources.append(std::move(source));
}

void TCompiler::Pages(int index)
{
    const TSource &source = Sources[index];
    struct TSink final : TRtfSink {
        TCompiler &C;
        const TSource &S;
        int Next = 0;
        bool Changed = false;
        QString Html;
        TSink(TCompiler &c, const TSource &s) : C(c), S(s) {}
        void Topic(TRtfTopic &t, const TRtfDocument &) override
        {
            // The file was replaced since the first pass: its pages no
            // longer match the index.
            if (Next >= S.TopicCount || t.Context != C.Topics[S.FirstTopic + Next].Context) {
                Changed = true;
                return;
            }
            Html.clear();
            C.Topic(Html, C.Topics[S.FirstTopic + Next++], t, S);
            C.Spool(Html);
        }
    } sink(*this, source);
    TRtfStreamReader reader(sink);
    QString why;
    if (!ReadDocument(source.Path, reader, why) || sink.Changed || sink.Next != source.TopicCount)
        Message(P.Path, source.ProjectLine,
                QStringLiteral("The file %1 changed while it was compiled; compile again").arg(source.Name));
}

bool TCompiler::OpenSpool()
{
    // Beside the help file, not in a tmpfs that would hold it in memory.
    SpoolFile.setFileTemplate(QDir(SpoolDir).filePath(QStringLiteral(".hcw-pages-XXXXXX")));
    if (!SpoolFile.open()) {
        WriteFailed(SpoolFile.errorString());
        return false;
    }
    // Gone from the directory at once, even when hcw is killed.
    QFile::remove(SpoolFile.fileName());
    return true;
}

void TCompiler::Spool(const QString &html)
{
    if (!Out)
        return;
    const QByteArray bytes = html.toUtf8();
    if (SpoolFile.write(bytes) != bytes.size())
        WriteFailed(SpoolFile.errorString());
    R.Bytes += bytes.size();
}

void TCompiler::Emit(const QByteArray &bytes)
{
    if (Out && Out->write(bytes) != bytes.size())
        WriteFailed(Out->errorString());
    R.Bytes += bytes.size();
}

void TCompiler::AssignIds()
{
    QSet<QString> used;
    for (qsizetype i = 0; i < Topics.size(); ++i) {
        TTopic &t = Topics[i];
        const QString context = t.Context;
        QString id = context.isEmpty() ? QStringLiteral("topic-%1").arg(i + 1) : context;
        if (!context.isEmpty()) {
            const QString key = context.toLower();
            if (const auto first = ByContext.constFind(key); first != ByContext.cend()) {
                for (int n = 2; used.contains(id.toLower()); ++n)
                    id = QStringLiteral("%1-%2").arg(context).arg(n);
                const TTopic &firstTopic = Topics[*first];
                Message(Sources[t.Source].Path, t.ContextLine,
                        QStringLiteral("Duplicate context string \"%1\" (first at %2(%3)); this page is \"%4\"")
                            .arg(context, Sources[firstTopic.Source].Path)
                            .arg(firstTopic.ContextLine)
                            .arg(id),
                        false);
            } else {
                ByContext.insert(key, int(i));
            }
        }
        while (used.contains(id.toLower()))
            id += QLatin1Char('_');
        used.insert(id.toLower());
        t.Id = id;
    }
}

void TCompiler::MapNumbers()
{
    QHash<int, const THelpMapEntry *> seen;
    for (const THelpMapEntry &e : P.Map) {
        const auto it = ByContext.constFind(e.Context.toLower());
        if (it == ByContext.cend()) {
            Message(e.File, e.Line, QStringLiteral("Map entry for an unknown context string \"%1\"").arg(e.Context), false);
            continue;
        }
        if (seen.contains(e.Number)) {
            Message(e.File, e.Line, QStringLiteral("Map number %1 used again; the first one counts").arg(e.Number), false);
            continue;
        }
        seen.insert(e.Number, &e);
        Topics[*it].Numbers.append(e.Number);
        MapIds.insert(e.Number, Topics[*it].Id);
    }
}

const TTopic *TCompiler::Target(const QString &context) const
{
    const auto it = ByContext.constFind(context.toLower());
    return it == ByContext.cend() ? nullptr : &Topics[*it];
}

} // namespace Hcw

using Hcw::TCompiler;

int THcwResult::Errors() const
{
    int n = 0;
    for (const THelpMessage &m : Messages)
        n += m.Error ? 1 : 0;
    return n;
}

int THcwResult::Notes() const { return int(Messages.size()) - Errors(); }

THcwResult CompileHelp(const THelpProject &project, QIODevice *out, const QString &spoolDir)
{
    return TCompiler(project, out, spoolDir).Run();
}

THcwResult CompileHelpFile(const THelpProject &project)
{
    if (!project.Read)
        return CompileHelp(project, nullptr, {});
    const QString path = project.HelpFile();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        THcwResult result = CompileHelp(project, nullptr, {});
        result.WriteError = file.errorString();
        return result;
    }
    THcwResult result = CompileHelp(project, &file, QFileInfo(path).absolutePath());
    if (!result.WriteError.isEmpty())
        file.cancelWriting();
    else if (!file.commit())
        result.WriteError = file.errorString();
    return result;
}

QByteArray ErrorLogBytes(const THelpProject &project, const THcwResult &result)
{
    QString log = QStringLiteral("Compiling %1\n").arg(project.Path);
    for (const THelpMessage &m : result.Messages)
        log += m.Format() + QLatin1Char('\n');
    log += QStringLiteral("%1 topics, %2 jumps, %3 pop-ups, %4 keywords, %5 bitmaps\n")
               .arg(result.Topics)
               .arg(result.Jumps)
               .arg(result.Popups)
               .arg(result.Keywords)
               .arg(result.Bitmaps);
    log += QStringLiteral("%1 errors, %2 notes\n").arg(result.Errors()).arg(result.Notes());
    return log.toUtf8();
}
