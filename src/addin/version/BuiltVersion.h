// The version editor's values written straight into the built file, beside
// version.rc, so they show without relinking.
#pragma once

#include "version/VersionScript.h"

#include "PeResources.h"

// The change that gives the built file what version.rc says: the same
// fixed record, strings and block.
TVersionChange BuiltFileChange(const TVersionFields &fields);

// Writes fields into file; throws EInOutError with the string table's text
// and the reason. The file is unchanged then.
void WriteIntoBuiltFile(const QString &file, const TVersionFields &fields);
