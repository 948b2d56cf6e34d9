// quorbel-pick-topic: asks the help editor of a running quorbel-ide to let
// the user pick a help topic, and prints the topic's number.
//
// Exit codes: 0 a topic was picked (its number on standard output),
// 1 the user cancelled, 2 no help editor is running, 3 the editor answered
// without a topic (its help table is not open), 4 anything else, 5 the
// editor is busy with another program's choice.
#include "SharedMemory.h"
#include "WindowMessages.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstring>

namespace {

// The reply block the help editor writes: text at offset 0, then a zero.
const QString BlockName = QStringLiteral("ShareMem Unique");
constexpr qint64 BlockSize = 32000;
constexpr quint32 PickTopicMessage = 0x400 + 100;
// The editor's result while its picker is up for another request.
constexpr qint64 PickBusy = 1;

int Fail(int code, const QString &text)
{
    std::fprintf(stderr, "quorbel-pick-topic: %s\n", text.toLocal8Bit().constData());
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1) {
        const bool help = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0;
        std::fprintf(help ? stdout : stderr,
                     "usage: quorbel-pick-topic\n"
                     "Lets the user pick a topic in the help editor of the running quorbel-ide\n"
                     "and prints its help context number.\n"
                     "Exit: 0 picked, 1 cancelled, 2 no help editor, 3 help table not open,\n"
                     "5 the editor is busy picking a topic for another program.\n");
        return help ? 0 : 4;
    }

    // Held from before the request until the reply is read: the editor
    // opens the block only while it answers.
    int fd = -1;
    QString reason;
    if (const int error = OpenSharedMemory(BlockName, BlockSize, fd, &reason))
        return Fail(4, QStringLiteral("cannot open the shared block \"%1\": %2")
                           .arg(BlockName, reason.isEmpty() ? QString::fromLocal8Bit(std::strerror(error)) : reason));
    void *address = nullptr;
    if (const int error = MapSharedMemory(fd, BlockSize, address)) {
        CloseSharedMemory(fd);
        return Fail(4, QStringLiteral("cannot map the shared block: %1")
                           .arg(QString::fromLocal8Bit(std::strerror(error))));
    }
    char *block = static_cast<char *>(address);
    // An answer is told from an old one by this.
    block[0] = '\0';

    int code = 0;
    qint64 result = 0;
    WindowMessages::TWindowConnection connection;
    WindowMessages::TSendError sent = connection.Open(QStringLiteral("TFAyudaW"));
    if (sent == WindowMessages::TSendError::None)
        sent = connection.Send(PickTopicMessage, 0, {}, WindowMessages::NoTimeout, &result);
    if (sent == WindowMessages::TSendError::NoWindow) {
        code = Fail(2, QStringLiteral("no help editor is running (start quorbel-ide with the Quorbel add-in)"));
    } else if (sent != WindowMessages::TSendError::None) {
        code = Fail(2, QStringLiteral("the help editor did not answer: %1").arg(WindowMessages::SendErrorText(sent)));
    } else if (result == PickBusy) {
        code = Fail(5, QStringLiteral("the help editor is busy: its topic picker is open for another program "
                                      "(try again once that choice is made)"));
    } else {
        const QByteArray reply(block, qsizetype(strnlen(block, size_t(BlockSize))));
        if (reply.isEmpty())
            code = Fail(3, QStringLiteral("the help editor answered without a topic: its help table is not open "
                                          "(open the project's help with Help Proyect first)"));
        else if (reply == "$$")
            code = Fail(1, QStringLiteral("no topic was picked"));
        else
            std::printf("%s\n", reply.constData());
    }
    connection.Close();
    UnmapSharedMemory(address, BlockSize);
    CloseSharedMemory(fd);
    return code;
}
