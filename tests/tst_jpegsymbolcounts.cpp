// Counting the Huffman symbols of a JPEG's scan: which files are counted, and that the tables
// built from the counts are proper codes. That the counted tables make libjpeg's own optimised
// file is checked with the planes that use them.

#include "JpegSymbolCounts.h"
#include "TestJpeg.h"
#include "TestMessageHandler.h"

#include <QImage>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

namespace {

QImage Picture(int width, int height)
{
    QRandomGenerator random(3);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((x * 3 + int(random.bounded(40))) % 256, (y * 2) % 256,
                           int(random.bounded(256)));
    }
    return image;
}

} // namespace

class tst_JpegSymbolCounts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestMessageHandler::install(); }
    void counts_data();
    void counts();
};

void tst_JpegSymbolCounts::counts_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("bCounted");

    const QImage picture = Picture(200, 120);
    const QByteArray jpeg = TestJpeg::EncodeWithQt(picture, 90);
    QTest::newRow("baseline colour") << jpeg << true;
    QTest::newRow("progressive") << TestJpeg::EncodeWithQt(picture, 90, true) << false;
    QTest::newRow("greyscale") << TestJpeg::EncodeWithQt(
                                      picture.convertToFormat(QImage::Format_Grayscale8), 90)
                               << false;
    QTest::newRow("restart markers")
        << TestJpeg::EncodeWithLibjpeg(picture, {90, 2, 2, 1}) << false;
    // The scan ends before its last block.
    QTest::newRow("cut short") << jpeg.left(jpeg.size() * 3 / 4) + QByteArray("\xFF\xD9", 2)
                               << false;
    QTest::newRow("no scan") << jpeg.left(jpeg.indexOf(QByteArray("\xFF\xDA", 2))) << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("not a JPEG") << QByteArray("PC LOAD LETTER") << false;
}

void tst_JpegSymbolCounts::counts()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, bCounted);

    JpegSymbolCounts counts;
    QCOMPARE(counts.Count(file), bCounted);
    if (!bCounted)
        return;
    for (const bool bAc : {false, true}) {
        for (int index = 0; index < 2; ++index) {
            const JpegSymbolCounts::Table table = counts.Optimal(bAc, index);
            // A prefix code that leaves the all-ones code unused (Kraft sum below 1), with
            // distinct symbols, each a DC category (0..11) or an AC run and size.
            double kraft = 0.0;
            int symbols = 0;
            for (int length = 1; length <= 16; ++length) {
                kraft += table.bits[length] / double(1 << length);
                symbols += table.bits[length];
            }
            QVERIFY2(kraft < 1.0, qPrintable(QString::number(kraft)));
            QVERIFY(symbols > 0);
            QSet<int> seen;
            for (int i = 0; i < symbols; ++i) {
                const int symbol = table.values[i];
                QVERIFY(!seen.contains(symbol));
                seen.insert(symbol);
                QVERIFY(bAc || symbol <= 11);
            }
        }
    }
}

QTEST_MAIN(tst_JpegSymbolCounts)
#include "tst_jpegsymbolcounts.moc"
