// Inserting at the last line of a 200,000-line buffer through the editor
// wrapper: host read calls and time when the buffer is read in blocks,
// against one character per read, measured in the same run.
#include "InMemoryHost.h"

#include "ScriptedDialogs.h"
#include "core/TiApi.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

constexpr int Lines = 200000;

struct Run {
    long long calls = 0;
    double ms = 0;
    QString result;
};

Run Measure(const QString &text, int32_t readBlock)
{
    InMemoryHost host;
    FakeBuffer &buffer = host.openBuffer(QStringLiteral("/bench/Big.pas"), text);
    buffer.cursor = TEditPos{5, Lines};
    Run run;
    {
        ScriptedDialogs dialogs;
        TTiApi api(&host, dialogs);
        api.SetReadBlock(readBlock);
        api.Refresh();
        host.readerCalls = 0;
        QElapsedTimer clock;
        clock.start();
        api.InsertText(QStringLiteral("{here}"));
        run.ms = double(clock.nsecsElapsed()) / 1e6;
        run.calls = host.readerCalls;
    }
    run.result = buffer.text;
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QString text;
    text.reserve(Lines * 24);
    for (int i = 1; i <= Lines; ++i) {
        text += QStringLiteral("  Writeln('line %1');").arg(i);
        if (i < Lines)
            text += QLatin1String("\r\n");
    }

    const Run blocks = Measure(text, TTiApi::DefaultReadBlock);
    const Run chars = Measure(text, 1);
    if (blocks.result != chars.result || blocks.result == text) {
        std::fprintf(stderr, "the two ways inserted differently\n");
        return 2;
    }
    const double callRatio = double(chars.calls) / double(blocks.calls);
    std::printf("buffer: %d lines, %lld characters; insertion at line %d\n", Lines,
                (long long)text.size(), Lines);
    std::printf("block reads (%d chars/call): %10lld host reads %9.2f ms\n",
                TTiApi::DefaultReadBlock, blocks.calls, blocks.ms);
    std::printf("per-character reads:        %10lld host reads %9.2f ms\n", chars.calls, chars.ms);
    std::printf("ratio: %.0fx fewer host reads, %.1fx faster (goal: at least 50x fewer reads)\n",
                callRatio, chars.ms / blocks.ms);
    return callRatio >= 50 ? 0 : 1;
}
