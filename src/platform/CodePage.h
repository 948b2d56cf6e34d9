// The ANSI code page of data files and generated text: Windows-1252.
#pragma once

#include <QByteArray>
#include <QString>

QByteArray ToAnsi(const QString &text);   // unmappable characters become '?'
QString FromAnsi(const QByteArray &bytes);
QString FromAnsi(const char *bytes, qsizetype size);
