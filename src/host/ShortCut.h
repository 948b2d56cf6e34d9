// Menu shortcuts: virtual-key code plus 0x2000 Shift, 0x4000 Ctrl,
// 0x8000 Alt, to and from Qt key sequences.
#pragma once

#include "ToolsApi.h"

#include <QKeySequence>

namespace qide {

// An empty sequence for 0 or a key without a Qt counterpart.
QKeySequence ShortCutToKeySequence(TShortCut shortCut);
// 0 when the sequence is empty, has several chords or an unmappable key.
TShortCut KeySequenceToShortCut(const QKeySequence &sequence);

} // namespace qide
