#pragma once

#include <QImage>
#include <QRect>
#include <QStringList>
#include <QVector>

// A line of black words on white, as a screen shows text, with the pixels each word inks.
struct TextPicture
{
    QImage image;
    // Per word of the line: the smallest rectangle holding all its dark pixels.
    QVector<QRect> ink;
    // Per word: the rectangle it was drawn in, up to the spaces around it.
    QVector<QRect> cells;
};

// Draws the words on one line, a space apart, at the given pixel size.
TextPicture RenderTextLine(const QStringList& words, int pixelSize = 22);

// Every pixel of box is pure black.
bool AllBlack(const QImage& image, const QRect& box);
