// Quorbel.dat from arbitrary bytes: Load, then Save. The whole records come
// back byte for byte, a short tail raises the store's error and is dropped,
// and every title and body reads back the same after it is set anew.
#include "macros/MacrosFiler.h"

#include "Dialogs.h"
#include "SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Violated(const char *what)
{
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

// Nothing is to be shown: a message means something failed.
class NoDialogs final : public TDialogService {
public:
    void ShowMessage(const QString &text) override { Shown(text); }
    bool AskYesNo(const QString &text) override
    {
        Shown(text);
        return false;
    }
    void ShowError(const QString &text) override { Shown(text); }
    QString GetOpenFileName(const QString &, const QString &, const QString &) override
    {
        Violated("a file dialog was opened");
        return {};
    }

private:
    static void Shown(const QString &text)
    {
        std::fprintf(stderr, "shown: %s\n", text.toUtf8().constData());
        Violated("a message was shown");
    }
};

class Capture final : public TFileWriter {
public:
    QByteArray bytes;
    int writes = 0;
    void Write(const QString &, const QByteArray &data) override
    {
        bytes = data;
        ++writes;
    }
};

// In memory where there is /dev/shm: a file truncated and written again on
// disk is flushed at every close.
QString TempTemplate()
{
    return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/fuzz_macros-XXXXXX")
                                                    : QDir::tempPath() + QStringLiteral("/fuzz_macros-XXXXXX");
}

struct World {
    QCoreApplication *app;
    QTemporaryDir dir{TempTemplate()};
    NoDialogs dialogs;
    Capture writer;
    TAddinServices services;

    World()
    {
        static int argc = 1;
        static char name[] = "fuzz_macros";
        static char *argv[] = {name, nullptr};
        app = new QCoreApplication(argc, argv);
        services.Dialogs = &dialogs;
        services.Writer = &writer;
        services.DataDir = dir.path();
    }
};

World &TheWorld()
{
    static World *world = new World;
    return *world;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    World &w = TheWorld();
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    TMacrosFiler store(w.services);
    {
        QFile file(store.FileName());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(input) != input.size())
            return 0;
    }

    const qsizetype whole = input.size() / TMacroRec::RecordSize;
    const bool shortTail = input.size() % TMacroRec::RecordSize != 0;
    bool raised = false;
    try {
        store.Load();
    } catch (const TMacrosError &e) {
        raised = true;
        if (e.message() != QStringLiteral("No exist datafile, you must create one"))
            Violated("the short tail raised another message");
    }
    if (raised != shortTail)
        Violated("an error without a short tail, or a short tail without one");
    if (store.Count() != whole)
        Violated("not every whole record was read");

    w.writer.writes = 0;
    if (!store.Save() || w.writer.writes != 1)
        Violated("a file that was read in full was not saved");
    if (w.writer.bytes != input.left(whole * TMacroRec::RecordSize))
        Violated("the whole records did not come back byte for byte");

    // Set anew, every text reads back the same: nothing turned into "?" or
    // lost a character, unless the body filled its field with no NUL (it
    // holds one character more than can be stored).
    for (int i = 0; i < store.Count(); ++i) {
        TMacroRec &rec = store.Macro(i);
        const QString title = rec.Title();
        const QString body = rec.Body();
        const bool fullBody = std::memchr(rec.data() + 1 + TMacroRec::TitleCapacity, 0,
                                          TMacroRec::BodySize) == nullptr;
        rec.SetTitle(title);
        rec.SetBody(body);
        if (rec.Title() != title)
            Violated("a title changed when set anew");
        if (!fullBody && rec.Body() != body)
            Violated("a body changed when set anew");
        if (fullBody && !body.startsWith(rec.Body()))
            Violated("a full body was cut other than at its end");
    }
    return 0;
}
