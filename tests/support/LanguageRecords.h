// A record of a language table made by hand: its identifier (empty: none)
// and the texts from L1 on, posted at once.
#pragma once

#include "TableStore.h"

#include <initializer_list>

inline void AddLanguageRecord(TTable &table, const QString &idst, std::initializer_list<QString> texts)
{
    table.Append();
    table.FieldByName(QStringLiteral("idst"))->SetAsString(idst);
    int i = 1;
    for (const QString &text : texts)
        table.FieldByName(QStringLiteral("L%1").arg(i++))->SetAsString(text);
    table.Post();
}
