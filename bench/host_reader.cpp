// Reading an open file through the IDE's edit reader, as add-ins do: in
// blocks of 16384 characters at increasing offsets. The reader builds the
// CR LF text once; the peer is a reader that rebuilds it on every call.
#include "CodeEditor.h"
#include "Ide.h"
#include "SourceBuffer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

constexpr int Block = 16384;

qint64 ReadThroughHost(TIToolServices *services, const QString &file, qint64 &chars)
{
    QElapsedTimer timer;
    timer.start();
    THostRef<TIModuleInterface> module(services->GetModuleInterface(file));
    THostRef<TIEditorInterface> editor(module->GetEditorInterface());
    THostRef<TIEditReader> reader(editor->CreateReader());
    std::vector<QChar> chunk(Block);
    chars = 0;
    for (int got; (got = reader->GetText(int(chars), chunk.data(), Block)) > 0;)
        chars += got;
    return timer.nsecsElapsed();
}

qint64 ReadRebuildingEachCall(qide::TSourceBuffer *buffer, qint64 &chars)
{
    QElapsedTimer timer;
    timer.start();
    std::vector<QChar> chunk(Block);
    chars = 0;
    for (;;) {
        const QString text = buffer->crlfText();
        const qint64 n = std::min<qint64>(Block, text.size() - chars);
        if (n <= 0)
            break;
        std::copy_n(text.constData() + chars, n, chunk.data());
        chars += n;
    }
    return timer.nsecsElapsed();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("QUORBEL_REGISTRY", (dir.path() + "/registry.ini").toUtf8());
    QApplication app(argc, argv);

    const int lines = 50000;
    QByteArray source;
    for (int i = 0; i < lines; ++i)
        source += "  Total := Total + Items[" + QByteArray::number(i) + "].Area; { line }\n";
    const QString file = dir.path() + "/Big.pas";
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    f.write(source);
    f.close();

    qide::TIde ide;
    TIToolServices *services = ide.toolServices();
    services->OpenFile(file);
    qide::TSourceBuffer *buffer = ide.editorFor(file)->buffer();

    qint64 cachedChars = 0, rebuiltChars = 0;
    qint64 cached = ReadThroughHost(services, file, cachedChars); // warm-up
    cached = ReadThroughHost(services, file, cachedChars);
    const qint64 rebuilt = ReadRebuildingEachCall(buffer, rebuiltChars);

    std::printf("file: %d lines, %lld characters with CR LF, blocks of %d\n", lines,
                static_cast<long long>(cachedChars), Block);
    std::printf("host reader (one CR LF text per reader): %8.2f ms\n", cached / 1e6);
    std::printf("peer rebuilding the text on every call:  %8.2f ms\n", rebuilt / 1e6);
    std::printf("ratio host/peer: %.4f (lower is better)\n", double(cached) / double(rebuilt));
    return cachedChars == rebuiltChars ? 0 : 1;
}
