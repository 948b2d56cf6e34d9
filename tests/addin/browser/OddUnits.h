// Units that are no regular files, made in a folder: a named pipe with no
// writer, a link to /dev/zero and a folder, each named like a unit.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <sys/stat.h>

struct OddUnits {
    QString Pipe;
    QString DevZero;
    QString Folder;

    // False when one of them could not be made.
    bool Make(const QString &dir)
    {
        Pipe = dir + QStringLiteral("/Pipe.pas");
        DevZero = dir + QStringLiteral("/Zero.pas");
        Folder = dir + QStringLiteral("/Folder.pas");
        return ::mkfifo(QFile::encodeName(Pipe).constData(), 0600) == 0
            && QFile::link(QStringLiteral("/dev/zero"), DevZero) && QDir().mkdir(Folder);
    }
};
