#include "Markup.h"

#include <QImage>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>

namespace {

constexpr int kDefaultLineWidth = 3;
constexpr int kDefaultHighlighterWidth = 16;
constexpr int kDefaultTextSize = 20;
// A highlighter tints what is under it; the text must stay readable.
constexpr int kHighlighterAlpha = 110;

void PaintArrow(QPainter& painter, const MarkupShape& shape)
{
    if (shape.points.size() != 2)
        return;
    const QLineF line(shape.points.at(0), shape.points.at(1));
    const int width = EffectiveSize(shape);
    painter.setPen(QPen(shape.colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (line.length() < 1) {
        painter.drawPoint(line.p1());
        return;
    }
    const qreal headLength = qMin(line.length(), qreal(4 * width + 8));
    const qreal angle = qDegreesToRadians(-line.angle());
    const qreal spread = qDegreesToRadians(25.0);
    const QPointF head = line.p2();
    const QPointF left = head - QPointF(qCos(angle - spread), qSin(angle - spread)) * headLength;
    const QPointF right = head - QPointF(qCos(angle + spread), qSin(angle + spread)) * headLength;
    // The shaft stops inside the head so its round cap does not poke through the tip.
    painter.drawLine(QLineF(line.p1(), (left + right) / 2));
    painter.setBrush(shape.colour);
    painter.drawPolygon(QPolygonF({head, left, right}));
    painter.setBrush(Qt::NoBrush);
}

void PaintHighlighter(QPainter& painter, const MarkupShape& shape)
{
    if (shape.points.isEmpty())
        return;
    QColor tint = shape.colour;
    tint.setAlpha(kHighlighterAlpha);
    // One path stroked once, so the places where the stroke crosses itself are no darker.
    QPainterPath path(shape.points.constFirst());
    for (int i = 1; i < shape.points.size(); ++i)
        path.lineTo(shape.points.at(i));
    if (shape.points.size() == 1)
        path.lineTo(shape.points.constFirst() + QPointF(0.01, 0));
    painter.strokePath(
        path, QPen(tint, EffectiveSize(shape), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void PaintText(QPainter& painter, const MarkupShape& shape)
{
    QFont font = painter.font();
    font.setPixelSize(EffectiveSize(shape));
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(shape.colour);
    const QRect bounds(shape.rect.topLeft(), QSize(1 << 20, 1 << 20));
    painter.drawText(bounds, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, shape.text);
}

} // namespace

bool MarkupShape::operator==(const MarkupShape& other) const
{
    return eKind == other.eKind && colour == other.colour && rect == other.rect &&
           points == other.points && text == other.text && size == other.size &&
           bProposed == other.bProposed;
}

MarkupShape MarkupShape::BlackOut(const QRect& box, bool bProposed)
{
    MarkupShape shape;
    shape.eKind = Kind::BlackOut;
    shape.colour = Qt::black;
    shape.rect = box;
    shape.bProposed = bProposed;
    return shape;
}

int EffectiveSize(const MarkupShape& shape)
{
    if (shape.size > 0)
        return shape.size;
    switch (shape.eKind) {
    case MarkupShape::Kind::Highlighter:
        return kDefaultHighlighterWidth;
    case MarkupShape::Kind::Text:
        return kDefaultTextSize;
    default:
        return kDefaultLineWidth;
    }
}

void PaintMarkup(QPainter& painter, const MarkupShapes& shapes)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (const MarkupShape& shape : shapes) {
        switch (shape.eKind) {
        case MarkupShape::Kind::Rectangle: {
            const int width = EffectiveSize(shape);
            painter.setPen(QPen(shape.colour, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
            painter.setBrush(Qt::NoBrush);
            // The outline lies inside the box, so the box is what the mark covers.
            const qreal inset = width / 2.0;
            painter.drawRect(QRectF(shape.rect).adjusted(inset, inset, -inset, -inset));
            break;
        }
        case MarkupShape::Kind::Arrow:
            PaintArrow(painter, shape);
            break;
        case MarkupShape::Kind::Highlighter:
            PaintHighlighter(painter, shape);
            break;
        case MarkupShape::Kind::Text:
            PaintText(painter, shape);
            break;
        case MarkupShape::Kind::BlackOut:
            break;
        }
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const MarkupShape& shape : shapes) {
        if (shape.eKind == MarkupShape::Kind::BlackOut)
            painter.fillRect(shape.rect, QColor(0, 0, 0));
    }
    painter.restore();
}

QImage ApplyMarkup(const QImage& picture, const MarkupShapes& shapes, const QPoint& origin)
{
    QImage result = picture.convertToFormat(QImage::Format_RGB32);
    if (result.isNull() || shapes.isEmpty())
        return result;
    QPainter painter(&result);
    painter.translate(-origin);
    PaintMarkup(painter, shapes);
    return result;
}
