#include "EntityFilter.h"

bool EntityMatches(const QString &name, const QString &filter)
{
    if (filter.isEmpty())
        return true;
    // "TShape." must not list the methods of TRoundShape or of OldTShape.
    if (filter.endsWith(QLatin1Char('.')))
        return name.startsWith(filter, Qt::CaseInsensitive);
    return name.contains(filter, Qt::CaseInsensitive);
}
