#include "HelpRequest.h"

#include "CodePage.h"
#include "WindowMessages.h"

namespace {

// A viewer busy loading a large file still answers well within this.
constexpr int HandOverTimeoutMs = 10000;

} // namespace

QString HelpUsage()
{
    return QStringLiteral("usage: quorbel-help FILE.hlp [-context N | -popup N | -k KEYWORD]\n"
                          "Shows the help file at its contents page, at the topic of context number N,\n"
                          "topic N alone as a pop-up, or the topic of a keyword. A viewer already\n"
                          "running for this user is handed the request.\n");
}

std::optional<THelpRequest> ParseHelpArguments(const QStringList &args, QString *error)
{
    THelpRequest request;
    bool haveMode = false;
    const auto fail = [&](const QString &text) {
        if (error)
            *error = text;
        return std::nullopt;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            QString value;
            bool inlineValue = false;
            if (const qsizetype eq = arg.indexOf(QLatin1Char('=')); eq > 0) {
                value = arg.mid(eq + 1);
                arg.truncate(eq);
                inlineValue = true;
            }
            QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1).toLower();
            THelpMode mode;
            if (name == QLatin1String("context"))
                mode = THelpMode::Context;
            else if (name == QLatin1String("popup"))
                mode = THelpMode::Popup;
            else if (name == QLatin1String("k"))
                mode = THelpMode::Keyword;
            else
                return fail(QStringLiteral("quorbel-help: unknown option %1").arg(args[i]));
            if (haveMode)
                return fail(QStringLiteral("quorbel-help: only one of -context, -popup and -k"));
            if (!inlineValue) {
                if (i + 1 >= args.size())
                    return fail(QStringLiteral("quorbel-help: %1 needs a value").arg(args[i]));
                value = args[++i];
            }
            haveMode = true;
            request.Mode = mode;
            request.Argument = value;
        } else if (request.File.isEmpty() && !arg.isEmpty()) {
            request.File = arg;
        } else {
            return fail(QStringLiteral("quorbel-help: one help file only"));
        }
    }
    if (request.File.isEmpty())
        return fail(QStringLiteral("quorbel-help: no help file given"));
    return request;
}

QByteArray EncodeHelpRequest(const THelpRequest &request)
{
    return EncodeText(request.File) + '\0' + EncodeText(request.Argument);
}

std::optional<THelpRequest> DecodeHelpRequest(quint64 mode, const QByteArray &data)
{
    const qsizetype zero = data.indexOf('\0');
    if (zero <= 0 || mode > quint64(THelpMode::Keyword))
        return std::nullopt;
    THelpRequest request;
    request.Mode = THelpMode(mode);
    request.File = DecodeText(data.left(zero));
    request.Argument = DecodeText(data.mid(zero + 1));
    return request;
}

bool HandToRunningViewer(const THelpRequest &request)
{
    const auto result = WindowMessages::SendMessageTo(HelpViewerClass, WindowMessages::WM_COPYDATA,
                                                      quint64(request.Mode), EncodeHelpRequest(request),
                                                      HandOverTimeoutMs);
    return result && *result == 1;
}
