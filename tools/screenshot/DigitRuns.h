#pragma once

#include <QRect>
#include <QString>
#include <QVector>

// One word as text recognition read it, in reading order.
struct OcrWord
{
    QString text;
    QRect box;
    // One box per character of text; when the sizes differ the word's box stands for each.
    QVector<QRect> charBoxes;
    // Words of one text line share this number.
    int line = 0;
};

// The smallest number of digits that makes a run worth hiding: shorter ones are prices, times
// and counts; six and more are phone, card and order numbers.
constexpr int kMinDigitRun = 6;

// Boxes over every run of at least kMinDigitRun digits. A run may go on across a single space,
// hyphen or the gap to the next word of the same line ("138 1234 5678", "6222-0212-3456"), as
// long as a digit follows; any other character ends it. Each box covers the run's characters,
// grown by margin pixels on every side.
QVector<QRect> FindDigitRuns(const QVector<OcrWord>& words, int margin = 0);
