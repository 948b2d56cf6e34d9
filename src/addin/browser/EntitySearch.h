// What the entity browser asks of the scanner: its settings, and the routine
// name taken from a reported heading line.
#pragma once

#include <QString>

class TBufferGrep;

// Routine headings from the "implementation" line on.
void ConfigureEntitySearch(TBufferGrep &grep);

// Heading name extraction: true when the text is a routine heading; name
// receives the routine's name (possibly empty, end not trimmed).
bool ExtractEntityName(const QString &text, QString &name);
