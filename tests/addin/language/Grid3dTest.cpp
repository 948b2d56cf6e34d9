// The grid's raised-cell lines, seen in its drawing.
#include "LanguageTesting.h"

#include "language/Grid3d.h"

#include <QImage>

namespace {

using namespace LanguageTesting;

class Grid3dDrawing : public LanguageTableTest {};

TEST_F(Grid3dDrawing, RaisedLinesNeedGrid3DAndBothKindsOfLines)
{
    OpenOwnTable();
    Add(Data->Table1, QStringLiteral("IDS_A"), {QStringLiteral("a")});
    Add(Data->Table1, QStringLiteral("IDS_B"), {QStringLiteral("b")});
    TDB3DGrid grid;
    grid.resize(300, 120);
    grid.SetDataSource(&Data->DataSource1);
    grid.SetOptions(dgColLines | dgRowLines);
    Data->Table1.First(); // the selection is drawn on row 0; row 1 is plain
    const QRect cell = grid.visualRect(grid.model()->index(1, 0));
    ASSERT_TRUE(cell.isValid());
    const auto at = [&](int x, int y) {
        return grid.viewport()->grab().toImage().pixelColor(x, y);
    };
    const QColor line = grid.palette().color(QPalette::HighlightedText);
    const QPoint top(cell.center().x(), cell.top()), left(cell.left(), cell.center().y());

    EXPECT_EQ(grid.palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_NE(at(top.x(), top.y()), line);
    grid.SetGrid3D(true);
    EXPECT_EQ(at(top.x(), top.y()), line);
    EXPECT_EQ(at(left.x(), left.y()), line);
    grid.SetOptions(dgColLines);
    EXPECT_NE(at(top.x(), top.y()), line);
}

} // namespace
