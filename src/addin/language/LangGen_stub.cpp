// Temporary: stands in for the generators until they are merged.
#include "LangGen.h"

#include "Exception.h"

QString LanguageBaseName(const QString &)
{
    throw Exception(QStringLiteral("not built"));
}

TLanguageGenerator::TLanguageGenerator(const TAddinServices &services, TAppExec &exec, TClock clock)
    : FServices(services), FExec(exec), FClock(std::move(clock))
{
}

void TLanguageGenerator::BuildLanguageUnit(TTable &, const TLanguageGenSettings &)
{
    throw Exception(QStringLiteral("not built"));
}

void TLanguageGenerator::BuildLanguageLibrary(TTable &, const TLanguageGenSettings &)
{
    throw Exception(QStringLiteral("not built"));
}
