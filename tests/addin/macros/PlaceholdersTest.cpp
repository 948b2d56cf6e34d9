// Placeholder expansion against a fixed clock and fixed locales.
#include "macros/Placeholders.h"

#include <gtest/gtest.h>

namespace {

const QDateTime Noon(QDate(2024, 3, 9), QTime(14, 5, 7));

TEST(Placeholders, FirstOfEachIsReplacedLaterCopiesStay)
{
    const QLocale c(QLocale::C);
    const QString out = ExpandPlaceholders(
        QStringLiteral("{ $FILE$ $DATE$ $TIME$ } $TIME$ $DATE$ $FILE$"), QStringLiteral("/p/U.pas"),
        Noon, c);
    EXPECT_EQ(out, QStringLiteral("{ /p/U.pas 9 Mar 2024 14:05:07 } $TIME$ $DATE$ $FILE$"));
}

TEST(Placeholders, MatchedWithLetterCase)
{
    const QString text = QStringLiteral("$date$ $Time$ $file$");
    EXPECT_EQ(ExpandPlaceholders(text, QStringLiteral("x"), Noon, QLocale(QLocale::C)), text);
}

TEST(Placeholders, TimeFollowsTheLocaleWithoutItsZone)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    const QString out = ExpandPlaceholders(QStringLiteral("$TIME$|$DATE$"), QString(), Noon, german);
    EXPECT_EQ(out, QStringLiteral("14:05:07|09.03.24"));
    EXPECT_FALSE(out.contains(QLatin1Char(' ')));
}

TEST(Placeholders, OnlyTheZoneFieldLeavesTheFormat)
{
    EXPECT_EQ(TimeFormatWithoutZone(QStringLiteral("HH:mm:ss t")), QStringLiteral("HH:mm:ss"));
    EXPECT_EQ(TimeFormatWithoutZone(QStringLiteral("h:mm 'at' t")), QStringLiteral("h:mm 'at'"));
    EXPECT_EQ(TimeFormatWithoutZone(QStringLiteral("t 'o''clock' h")), QStringLiteral("'o''clock' h"));
    EXPECT_EQ(TimeFormatWithoutZone(QStringLiteral("HH:mm")), QStringLiteral("HH:mm"));
}

} // namespace
