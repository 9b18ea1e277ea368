#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QVector>

class QImage;
class QPainter;

// One mark drawn over a picture. Coordinates are device pixels of the picture it is drawn on.
struct MarkupShape
{
    enum class Kind { Rectangle, Arrow, Highlighter, Text, BlackOut };

    Kind eKind = Kind::Rectangle;
    QColor colour = Qt::red;
    // Rectangle and BlackOut: the box. Text: the top-left corner of the text.
    QRect rect;
    // Arrow: tail and head. Highlighter: the stroke, in drawing order.
    QVector<QPoint> points;
    QString text;
    // Line width, or the text's pixel size; 0 takes the kind's default.
    int size = 0;
    // A black-out that the number finder proposed, which the user may still take away.
    bool bProposed = false;

    bool operator==(const MarkupShape& other) const;
    bool operator!=(const MarkupShape& other) const { return !(*this == other); }

    static MarkupShape BlackOut(const QRect& box, bool bProposed = false);
};

using MarkupShapes = QVector<MarkupShape>;

// The line width or text size a shape is drawn with.
int EffectiveSize(const MarkupShape& shape);

// Draws the shapes in order, black-outs last: nothing drawn later may show through one, and a
// black-out is filled without anti-aliasing, so every pixel of its box is pure black.
void PaintMarkup(QPainter& painter, const MarkupShapes& shapes);

// A copy of picture with the shapes drawn on it; origin is where the picture's top-left pixel
// lies in the shapes' coordinates.
QImage ApplyMarkup(const QImage& picture, const MarkupShapes& shapes, const QPoint& origin = {});
