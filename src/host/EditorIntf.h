// Modules, editors, views, readers and writers handed to add-ins: thin
// reference-counted handles on an open file's editor.
#pragma once

#include "ToolsApi.h"

namespace qide {

class TIde;
class TCodeEditor;

// A new module for the editor, or nullptr; the caller owns the reference.
TIModuleInterface *NewModuleInterface(TIde *ide, TCodeEditor *editor);

} // namespace qide
