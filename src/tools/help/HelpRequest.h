// What quorbel-help is asked to show, from its command line or from a second
// quorbel-help handing it over to the running viewer.
//
// The hand-over is a WM_COPYDATA to the window class QuorbelHelpViewer:
// wParam the mode, data the absolute file path, a zero byte and the
// argument (context number or keyword), each text by the code-page rule.
// The viewer answers 1 when it took the request.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

inline const QString HelpViewerClass = QStringLiteral("QuorbelHelpViewer");

enum class THelpMode : quint64 { Contents = 0, Context = 1, Popup = 2, Keyword = 3 };

struct THelpRequest {
    QString File;
    THelpMode Mode = THelpMode::Contents;
    QString Argument; // the context number as given, or the keyword
    bool operator==(const THelpRequest &) const = default;
};

// FILE [-context N | -popup N | -k KEYWORD] (also --context, --popup, --k,
// and --context=N). nullopt with *error set for a wrong command line.
std::optional<THelpRequest> ParseHelpArguments(const QStringList &args, QString *error);
QString HelpUsage();

QByteArray EncodeHelpRequest(const THelpRequest &request);
std::optional<THelpRequest> DecodeHelpRequest(quint64 mode, const QByteArray &data);

// Gives the request to the viewer running for this user; false when none
// answered.
bool HandToRunningViewer(const THelpRequest &request);
