// The help file hcw writes: one self-contained HTML page (UTF-8, pictures as
// data: URIs in the style sheet, shown by <span class="bm bmN">). Each topic is a <section> whose id is its context string, with
// an anchor "map-N" per map number; the first topic is the contents. A
// <script type="application/json" id="quorbel-help-index"> block gives the
// viewer the topics, the map numbers, the keywords, the window colours, the
// pictures and the compiler's messages.
#pragma once

#include "HelpProject.h"

#include <QByteArray>

struct THcwResult {
    QByteArray Html;
    QList<THcwMessage> Messages; // the project's, then the compile's
    int Topics = 0;
    int Jumps = 0;
    int Popups = 0;
    int Keywords = 0;
    int Bitmaps = 0;
    int Errors() const;
    int Notes() const;
};

// Reads the project's documents and pictures; never throws. What could not
// be read is in Messages, and the page holds the rest.
THcwResult CompileHelp(const THelpProject &project);

// The error log: one "file(line): message" line per message, then a summary.
QByteArray ErrorLogBytes(const THelpProject &project, const THcwResult &result);
