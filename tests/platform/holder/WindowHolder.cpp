// window_holder CLASS: another IDE's window, for the tests. Listens for the
// class, prints "listening" (or "refused"), answers every message with 42,
// and exits when its standard input ends.
#include "WindowMessages.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    WindowMessages::TMessageListener listener(QString::fromLocal8Bit(argv[1]),
                                              [](const WindowMessages::TMessage &) { return 42; });
    const bool listening = listener.Listen();
    std::puts(listening ? "listening" : "refused");
    std::fflush(stdout);
    if (!listening)
        return 1;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    return app.exec();
}
