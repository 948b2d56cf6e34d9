// quorbel-help: the help viewer. One viewer per user: a second call hands its
// request to the running one and exits 0.
//
// Exit status: 0, or 2 for a wrong command line.
#include "HelpRequest.h"
#include "HelpViewerWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QPixmap>

#include <cstdio>

#include "quorbel-help.xpm"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QPixmap(HelpIcon_xpm)));
    QGuiApplication::setDesktopFileName(QStringLiteral("quorbel-help"));
    const QStringList args = app.arguments().mid(1);
    if (args.contains(QLatin1String("-h")) || args.contains(QLatin1String("--help"))) {
        std::fputs(qPrintable(HelpUsage()), stdout);
        return 0;
    }
    QString error;
    std::optional<THelpRequest> request = ParseHelpArguments(args, &error);
    if (!request) {
        std::fprintf(stderr, "%s\n%s", qPrintable(error), qPrintable(HelpUsage()));
        return 2;
    }
    // The running viewer has a working directory of its own.
    request->File = QFileInfo(request->File).absoluteFilePath();
    if (HandToRunningViewer(*request))
        return 0;

    THelpViewerWindow window;
    if (!window.Listen(&error)) {
        // Another viewer came up meanwhile.
        if (HandToRunningViewer(*request))
            return 0;
        std::fprintf(stderr, "quorbel-help: %s\n", qPrintable(error));
    }
    QObject::connect(&window, &THelpViewerWindow::PopupClosed, &app, [&] {
        if (!window.isVisible())
            app.quit();
    });
    const bool shown = window.Open(*request);
    if (request->Mode != THelpMode::Popup || !shown)
        window.show();
    return app.exec();
}
