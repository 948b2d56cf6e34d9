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

TPlaceholderValues Values()
{
    TPlaceholderValues v;
    v.fileName = QStringLiteral("/p/Shapes.pas");
    v.now = Noon;
    v.locale = QLocale(QLocale::C);
    v.user = QStringLiteral("ana");
    v.projectFile = QStringLiteral("/p/Demo.dpr");
    v.selection = [] { return QStringLiteral("sel $DATE$"); };
    v.clipboard = [] { return QStringLiteral("clip $USER$"); };
    return v;
}

TEST(MacroPlaceholders, EachNewOneHasItsValueAtItsFirstOccurrence)
{
    const TExpandedMacro m = ExpandMacro(
        QStringLiteral("$USER$ $PROJECT$ $UNIT$ $DATE:yyyy-MM-dd$ $TIME:HH.mm$ $DATE:dddd d MMMM$ "
                       "$USER$ $DATE:yyyy-MM-dd$"),
        Values());
    EXPECT_EQ(m.text, QStringLiteral("ana Demo Shapes 2024-03-09 14.05 Saturday 9 March $USER$ $DATE:yyyy-MM-dd$"));
    EXPECT_EQ(m.cursor, -1);
    EXPECT_FALSE(m.replacesSelection);
}

TEST(MacroPlaceholders, CursorIsRemovedAndItsPlaceKept)
{
    const TExpandedMacro m = ExpandMacro(QStringLiteral("$DATE$<$CURSOR$>$CURSOR$$FILE$"), Values());
    EXPECT_EQ(m.text, QStringLiteral("9 Mar 2024<>$CURSOR$/p/Shapes.pas"));
    EXPECT_EQ(m.cursor, 11);
}

TEST(MacroPlaceholders, ValuesPutInAreNeverExpandedAgain)
{
    int asked = 0;
    TPlaceholderValues v = Values();
    v.selection = [&asked] {
        ++asked;
        return QStringLiteral("$CURSOR$ $DATE$");
    };
    const TExpandedMacro m = ExpandMacro(QStringLiteral("[$SELECTION$] [$CLIPBOARD$] $DATE$"), v);
    EXPECT_EQ(m.text, QStringLiteral("[$CURSOR$ $DATE$] [clip $USER$] 9 Mar 2024"));
    EXPECT_TRUE(m.replacesSelection);
    EXPECT_EQ(m.cursor, -1);
    EXPECT_EQ(asked, 1);
    // Without the placeholder the selection is not even read.
    ExpandMacro(QStringLiteral("$CLIPBOARD$"), v);
    EXPECT_EQ(asked, 1);
}

TEST(MacroPlaceholders, OldMacrosExpandAsBefore)
{
    // Overlapping and repeated old placeholders, against the old expansion.
    for (const char *text : {"$DATE$TIME$", "$TIME$DATE$FILE$", "$FILE$ $FILE$ $DATE$ $TIME$ $TIME$",
                             "$DA$TIME$TE$", "no placeholders", "$DATE:$ $DATE:\nx$ $TIME"}) {
        const QString t = QString::fromLatin1(text);
        EXPECT_EQ(ExpandMacro(t, Values()).text,
                  ExpandPlaceholders(t, QStringLiteral("/p/Shapes.pas"), Noon, QLocale(QLocale::C)))
            << text;
    }
}

} // namespace
