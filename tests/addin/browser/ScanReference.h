// A plain whole-file reading of the scanner's rules, for checking the
// streamed scanner against (tests and the fuzz target).
#pragma once

#include "CodePage.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace ScanReference {

struct Hit {
    QString word;
    int32_t line;
    QString text;
    bool operator==(const Hit &) const = default;
};

struct RefResult {
    std::vector<Hit> hits;
    int lines = 0;
};

inline QByteArray Up(QByteArray s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
    return s;
}

inline QByteArray Trim(const QByteArray &s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && uchar(s[b]) <= 32)
        ++b;
    while (e > b && uchar(s[e - 1]) <= 32)
        --e;
    return s.mid(b, e - b);
}

inline bool SeparateWord(const QByteArray &line, const QByteArray &word)
{
    if (word.isEmpty())
        return false;
    const qsizetype p = Up(line).indexOf(word);
    if (p < 0)
        return false;
    const qsizetype after = p + word.size();
    if (after >= line.size() || line[after] != ' ')
        return false;
    return p == 0 || line[p - 1] == ' ';
}

inline bool WholeLine(const QByteArray &line, const QByteArray &word)
{
    const QByteArray t = Trim(line);
    return !t.isEmpty() && t == Trim(word);
}

inline RefResult Reference(QByteArray data, const QStringList &keywords, const QByteArray &start,
                    const QByteArray &end)
{
    if (const qsizetype z = data.indexOf('\x1a'); z >= 0)
        data.truncate(z);
    QList<QByteArray> lines;
    qsizetype i = 0;
    while (i < data.size()) {
        qsizetype e = i;
        while (e < data.size() && data[e] != '\r' && data[e] != '\n')
            ++e;
        lines << data.mid(i, e - i);
        if (e < data.size() && data[e] == '\r' && e + 1 < data.size() && data[e + 1] == '\n')
            ++e;
        i = e + 1;
    }
    RefResult r;
    bool started = start.isEmpty();
    for (const QByteArray &line : lines) {
        ++r.lines;
        if (!end.isEmpty() && (SeparateWord(line, Up(end)) || WholeLine(line, end)))
            break;
        if (!(started || SeparateWord(line, Up(start)) || WholeLine(line, start)))
            continue;
        started = true;
        for (const QString &k : keywords)
            if (SeparateWord(line, k.toLatin1()))
                r.hits.push_back({k, r.lines, FromAnsi(line)});
    }
    return r;
}

} // namespace ScanReference
