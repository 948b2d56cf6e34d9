#include "Logo.h"

#include "Dialogs.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace {

// Drawn rather than shipped as a picture; stretched to the label's size.
QPixmap LogoPixmap()
{
    QPixmap pixmap(132, 58);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, 58);
    fill.setColorAt(0, QColor(0x1f, 0x4e, 0x9c));
    fill.setColorAt(1, QColor(0x0b, 0x23, 0x4d));
    p.setBrush(fill);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(1, 1, 130, 56), 8, 8);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(26);
    p.setFont(font);
    p.setPen(QColor(0xF0, 0xD0, 0x40));
    p.drawText(QRectF(0, 0, 132, 56), Qt::AlignCenter, QStringLiteral("Quorbel"));
    return pixmap;
}

} // namespace

TLogoImage::TLogoImage(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("Image1"));
    setPixmap(LogoPixmap());
    setScaledContents(true);
    setToolTip(QStringLiteral("Click Here"));
    setCursor(Qt::PointingHandCursor);
}

void TLogoImage::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

QString AboutMessage()
{
    return QStringLiteral("Quorbel 1.0\n"
                          "Developer tools for the Pascal IDE:\n"
                          "macros, entity browser, project groups, version resources,\n"
                          "string tables, help projects and trace window.");
}

void ShowAbout(TDialogService &dialogs)
{
    dialogs.ShowMessage(AboutMessage());
}
