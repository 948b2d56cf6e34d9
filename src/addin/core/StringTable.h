// The add-in's numbered texts 1000 to 1112, and this port's own texts from 2001 on.
#pragma once

#include "TextIds.h"

#include <QString>

// The text of an entry (txt::Ok, ...); empty for a number outside the table.
QString LoadStr(int id);
