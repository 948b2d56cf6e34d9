// hcw's compile of a help project into the help file HelpFileFormat.h
// describes, and its error log.
#pragma once

#include "HelpProject.h"

#include <QByteArray>
#include <QIODevice>

struct THcwResult {
    qint64 Bytes = 0;   // of the help file
    QString WriteError; // why the help file could not be written, empty when it was
    QList<THelpMessage> Messages; // the project's, then the compile's
    int Topics = 0;
    int Jumps = 0;
    int Popups = 0;
    int Keywords = 0;
    int Bitmaps = 0;
    int Errors() const;
    int Notes() const;
};

// Reads the project's documents and pictures and writes the help file to
// out (nullptr: the messages only); never throws. What could not be read is
// in Messages, and the page holds the rest. Documents are read twice, for
// the index and then page by page, and the pages wait in an unnamed file
// in spoolDir until the head that indexes them is written: memory holds
// the index and one page.
THcwResult CompileHelp(const THelpProject &project, QIODevice *out, const QString &spoolDir);
// The same into the help file the project names, replaced only when the
// whole file was written (else WriteError says why).
THcwResult CompileHelpFile(const THelpProject &project);

// The error log: one "file(line): message" line per message, then a summary.
QByteArray ErrorLogBytes(const THelpProject &project, const THcwResult &result);
