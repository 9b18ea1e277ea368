#include "DigitRuns.h"

namespace {

bool IsSeparator(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('-') || c == QChar(0x2010) ||
           c == QChar(0x2011) || c == QChar(0x2013) || c == QChar(0xFF0D);
}

// A run being collected: its digits so far and the box over them.
struct Run
{
    int digits = 0;
    QRect box;
    // A separator was seen after the last digit; one more ends the run.
    bool bSeparated = false;
    int line = -1;
    // Right edge of the last word that added to the run, to tell a word gap from a column gap.
    int lastRight = 0;
    int lastHeight = 0;
};

void Finish(Run& run, QVector<QRect>& boxes, int margin)
{
    if (run.digits >= kMinDigitRun)
        boxes.append(run.box.adjusted(-margin, -margin, margin, margin));
    run = Run();
}

} // namespace

QVector<QRect> FindDigitRuns(const QVector<OcrWord>& words, int margin)
{
    QVector<QRect> boxes;
    Run run;
    for (const OcrWord& word : words) {
        if (run.digits > 0) {
            // Words of a number lie a space apart; a gap wider than the text is high is the
            // next column, not the rest of the number. The gap counts as the one separator.
            const bool bContinues = word.line == run.line && !run.bSeparated &&
                                    word.box.left() - run.lastRight <= run.lastHeight;
            if (bContinues)
                run.bSeparated = true;
            else
                Finish(run, boxes, margin);
        }
        const bool bCharBoxes = word.charBoxes.size() == word.text.size();
        for (int i = 0; i < word.text.size(); ++i) {
            const QChar c = word.text.at(i);
            const QRect charBox = bCharBoxes ? word.charBoxes.at(i) : word.box;
            if (c.isDigit()) {
                if (run.digits == 0) {
                    run.line = word.line;
                    run.box = charBox;
                } else {
                    run.box = run.box.united(charBox);
                }
                ++run.digits;
                run.bSeparated = false;
                run.lastRight = charBox.right();
                run.lastHeight = qMax(word.box.height(), charBox.height());
            } else if (run.digits > 0 && IsSeparator(c) && !run.bSeparated) {
                run.bSeparated = true;
            } else {
                Finish(run, boxes, margin);
            }
        }
    }
    Finish(run, boxes, margin);
    return boxes;
}
