#include "gui/common/Glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace cantorel {

namespace {

QPixmap blank(int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void drawDisc(QPainter& p, QRectF r, QColor face)
{
    p.setPen(QPen(QColor(70, 70, 90), 1));
    p.setBrush(face);
    p.drawEllipse(r);
    p.setBrush(QColor(235, 235, 245));
    const QPointF c = r.center();
    p.drawEllipse(c, r.width() / 6, r.height() / 6);
}

QPixmap discStack()
{
    QPixmap pixmap = blank(16, 16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    drawDisc(p, QRectF(0.5, 0.5, 10, 10), QColor(120, 160, 220));
    drawDisc(p, QRectF(2.5, 2.5, 10, 10), QColor(160, 190, 235));
    drawDisc(p, QRectF(5.5, 5.5, 10, 10), QColor(200, 215, 245));
    return pixmap;
}

QPixmap disc()
{
    QPixmap pixmap = blank(16, 16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    drawDisc(p, QRectF(1.5, 1.5, 13, 13), QColor(190, 205, 240));
    return pixmap;
}

QPixmap notePage()
{
    QPixmap pixmap = blank(16, 16);
    QPainter p(&pixmap);
    p.setPen(QColor(90, 90, 90));
    p.setBrush(Qt::white);
    p.drawRect(2, 0, 11, 15);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::black);
    p.drawEllipse(QRectF(4.5, 9.5, 3.5, 2.8));
    p.drawLine(QPointF(8, 11), QPointF(8, 3.5));
    p.drawLine(QPointF(8, 3.5), QPointF(11, 5));
    return pixmap;
}

QPixmap slantedBar(bool outline)
{
    QPixmap pixmap = blank(16, 16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QPolygonF bar({QPointF(5, 15), QPointF(9, 15), QPointF(14, 1), QPointF(10, 1)});
    p.setPen(outline ? QPen(QColor(110, 110, 110), 1.5) : QPen(QColor(170, 140, 0), 1));
    p.setBrush(QColor(250, 215, 40));
    p.drawPolygon(bar);
    return pixmap;
}

QPixmap triangle(int width, bool forward)
{
    QPixmap pixmap = blank(width, 16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    const double mid = width / 2.0;
    if (forward) {
        p.drawPolygon(QPolygonF({QPointF(mid - 6, 3), QPointF(mid + 2, 8), QPointF(mid - 6, 13)}));
        p.drawRect(QRectF(mid + 3, 3, 2.5, 10));
    } else {
        p.drawPolygon(QPolygonF({QPointF(mid + 6, 3), QPointF(mid - 2, 8), QPointF(mid + 6, 13)}));
        p.drawRect(QRectF(mid - 5.5, 3, 2.5, 10));
    }
    return pixmap;
}

QPixmap composeGlyph(QColor ink)
{
    QPixmap pixmap = blank(16, 16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(ink, 1.5));
    for (int y : {4, 8, 12})
        p.drawLine(QPointF(2, y), QPointF(y == 12 ? 8 : 13, y));
    p.setBrush(ink);
    p.drawPolygon(QPolygonF({QPointF(10, 10), QPointF(15, 12.5), QPointF(10, 15)}));
    return pixmap;
}

QPixmap iconPicture(int size)
{
    QPixmap pixmap = blank(size, size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size / 32.0;
    p.scale(s, s);
    drawDisc(p, QRectF(1, 1, 30, 30), QColor(60, 110, 200));
    p.setPen(QPen(Qt::white, 2.5));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(8, 19, 6, 5));
    p.drawLine(QPointF(13.5, 21), QPointF(13.5, 7));
    p.drawLine(QPointF(13.5, 7), QPointF(22, 10));
    return pixmap;
}

} // namespace

QPixmap Glyphs::programPicture(int size) { return iconPicture(size); }

QIcon Glyphs::programIcon()
{
    QIcon icon;
    icon.addPixmap(iconPicture(32));
    icon.addPixmap(iconPicture(16));
    return icon;
}

QPixmap Glyphs::play()
{
    QPixmap pixmap = blank(16, 16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 110, 0));
    p.drawPolygon(QPolygonF({QPointF(4, 2), QPointF(13, 8), QPointF(4, 14)}));
    return pixmap;
}

QPixmap Glyphs::pause()
{
    QPixmap pixmap = blank(16, 16);
    QPainter p(&pixmap);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 70, 140));
    p.drawRect(4, 3, 3, 10);
    p.drawRect(9, 3, 3, 10);
    return pixmap;
}

QPixmap Glyphs::previous() { return triangle(20, false); }
QPixmap Glyphs::next() { return triangle(20, true); }
QPixmap Glyphs::composeEnabled() { return composeGlyph(QColor(0, 0, 0)); }
QPixmap Glyphs::composeDisabled() { return composeGlyph(QColor(150, 150, 150)); }

QList<QPixmap> Glyphs::stateImages()
{
    const QPixmap stack = discStack();
    return {stack, stack, disc(), notePage(), slantedBar(false), slantedBar(true)};
}

} // namespace cantorel
