#include "TestPictures.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

namespace {

constexpr int kPadding = 16;

QRect InkWithin(const QImage& image, const QRect& cell)
{
    QRect ink;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            if (qGray(image.pixel(x, y)) < 200)
                ink = ink.united(QRect(x, y, 1, 1));
    return ink;
}

} // namespace

TextPicture RenderTextLine(const QStringList& words, int pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    const QFontMetrics metrics(font);
    const int space = metrics.horizontalAdvance(QLatin1Char(' '));
    int width = 2 * kPadding - space;
    for (const QString& word : words)
        width += metrics.horizontalAdvance(word) + space;

    TextPicture result;
    result.image = QImage(width, metrics.height() + 2 * kPadding, QImage::Format_RGB32);
    result.image.fill(Qt::white);
    QPainter painter(&result.image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    int x = kPadding;
    for (const QString& word : words) {
        const QRect cell(x, kPadding, metrics.horizontalAdvance(word), metrics.height());
        painter.drawText(QPoint(x, kPadding + metrics.ascent()), word);
        result.cells.append(cell);
        x += cell.width() + space;
    }
    painter.end();
    for (const QRect& cell : result.cells)
        result.ink.append(InkWithin(result.image, cell));
    return result;
}

bool AllBlack(const QImage& image, const QRect& box)
{
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            if (image.pixel(x, y) != qRgb(0, 0, 0))
                return false;
    return true;
}
