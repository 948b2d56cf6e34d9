// The rich-text reader's control words: what each one changes in the
// state, in the font and colour tables and in the page.
#include "RtfParser.h"

using namespace Rtf;

void TRtfParser::Word(const QByteArray &w, bool hasParam, int param)
{
    TState &s = S();
    const bool on = !hasParam || param != 0;
    if (s.Dest == TDest::Skip)
        return;
    if (s.Dest == TDest::FontTable) {
        if (w == "f" && hasParam) {
            FontNumber = param;
            FontName.clear();
        } else if (w.startsWith('f') && w.size() > 1 && !hasParam && w != "fcharset" && w != "fprq") {
            FontFamily = QString::fromLatin1(w.mid(1));
        }
        return;
    }
    if (s.Dest == TDest::ColorTable) {
        if (w == "red")
            Rgb[0] = param, RgbSet = true;
        else if (w == "green")
            Rgb[1] = param, RgbSet = true;
        else if (w == "blue")
            Rgb[2] = param, RgbSet = true;
        return;
    }
    // Body and footnotes.
    if (w == "u" && hasParam) {
        Char(QChar(char16_t(param < 0 ? param + 65536 : param)));
        SkipFallback = s.Uc;
        return;
    }
    if (w == "uc") {
        s.Uc = qBound(0, param, 8);
        return;
    }
    if (w == "footnote") {
        if (s.Dest == TDest::Body) {
            DropFootnoteMark();
            FootText.clear();
            FootLine = Line;
        }
        s.Dest = TDest::Footnote;
        return;
    }
    if (w == "fonttbl") {
        s.Dest = TDest::FontTable;
        FontNumber = -1;
        return;
    }
    if (w == "colortbl") {
        s.Dest = TDest::ColorTable;
        Rgb = {0, 0, 0};
        RgbSet = false;
        return;
    }
    if (w == "stylesheet" || w == "info" || w == "pict" || w == "object" || w == "header" || w == "footer"
        || w == "headerl" || w == "headerr" || w == "footerl" || w == "footerr" || w == "filetbl"
        || w == "listtable" || w == "listoverridetable" || w == "revtbl" || w == "xe" || w == "tc"
        || w == "field" || w == "fldinst") {
        s.Dest = TDest::Skip;
        return;
    }
    if (w == "deff") {
        DefaultFont = param;
        s.Char.Font = param;
        return;
    }
    if (s.Dest == TDest::Footnote) {
        if (w == "tab")
            Char(QChar(u' '));
        return;
    }
    if (w == "par") {
        Paragraph(TRtfItem::Paragraph);
    } else if (w == "line") {
        Paragraph(TRtfItem::LineBreak);
    } else if (w == "page") {
        PageDepth();
        Paragraph(TRtfItem::Paragraph);
        EndPage();
    } else if (w == "tab") {
        Char(QChar(u'\t'));
    } else if (w == "plain") {
        s.Char = TRtfCharStyle{};
        s.Char.Font = DefaultFont;
    } else if (w == "pard") {
        s.Para = TRtfParaStyle{};
    } else if (w == "b") {
        s.Char.Bold = on;
    } else if (w == "i") {
        s.Char.Italic = on;
    } else if (w == "ul") {
        s.Char.Underline = on;
    } else if (w == "uldb" || w == "strike") {
        s.Char.DoubleUnderline = on;
    } else if (w == "ulnone") {
        s.Char.Underline = s.Char.DoubleUnderline = false;
    } else if (w == "v") {
        s.Char.Hidden = on;
    } else if (w == "super" || w == "up") {
        s.Char.Super = on;
    } else if (w == "nosupersub" || w == "sub") {
        s.Char.Super = false;
    } else if (w == "f") {
        s.Char.Font = param;
    } else if (w == "fs") {
        s.Char.HalfPoints = hasParam && param > 0 ? qMin(param, 1638) : 24;
    } else if (w == "cf") {
        s.Char.Color = qMax(0, param);
    } else if (w == "li") {
        s.Para.LeftIndent = param;
    } else if (w == "sb") {
        s.Para.SpaceBefore = param;
    } else if (w == "sa") {
        s.Para.SpaceAfter = param;
    } else if (w == "keepn") {
        s.Para.KeepNext = true;
    } else if (w == "emdash") {
        Char(QChar(0x2014));
    } else if (w == "endash") {
        Char(QChar(0x2013));
    } else if (w == "bullet") {
        Char(QChar(0x2022));
    } else if (w == "lquote") {
        Char(QChar(0x2018));
    } else if (w == "rquote") {
        Char(QChar(0x2019));
    } else if (w == "ldblquote") {
        Char(QChar(0x201C));
    } else if (w == "rdblquote") {
        Char(QChar(0x201D));
    }
}
