// Which routines a filter text lets through, in the browser's tabs and in
// the project-wide list alike.
#pragma once

#include <QString>

// Empty: every name. A text ending in "." names a class: its methods, the
// names that start with it. Anything else: the names that contain it.
// Case is ignored throughout.
bool EntityMatches(const QString &name, const QString &filter);
