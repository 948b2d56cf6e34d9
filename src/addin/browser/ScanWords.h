// The words of a scan compiled for the loop: as bytes, as the line
// matcher's tests, and as the block sifter's keys before and after the
// start line.
#pragma once

#include "BlockSift.h"
#include "LineMatcher.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

class TBufferGrep;

struct TScanWords {
    bool Valid = false;
    int Unit = -1;
    QStringList Keywords;
    QString StartWord;
    QString EndWord;
    TLineMatcher Matcher;
    TBlockSifter Before; // before the start: the start and end words
    TBlockSifter After;  // from the start line on: the end word and the keywords
    bool HasEnd = false;
    size_t Keep = 1;  // bytes a long line's windows overlap
    size_t Slack = 0; // bytes the sifter reads past a block

    // Compiled from these settings, for the vector unit in use.
    bool Fits(const TBufferGrep &g) const;
    void Compile(const TBufferGrep &g);

private:
    std::vector<const std::string *> Needles(bool started) const;
};
