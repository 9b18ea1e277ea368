// A colour JPEG's YCbCr planes: which files decode to them, and that what they encode is the
// file's own picture, also at the picture's edges and in samples of its bands.

#include "JpegPlanes.h"
#include "TestJpeg.h"
#include "TestMessageHandler.h"

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>
#include <QTest>

namespace {

// Colour everywhere (so that swapped or shifted chroma shows), edges and mild noise.
QImage Picture(int width, int height)
{
    QRandomGenerator random(11);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int grain = int(random.bounded(12));
            const bool bBox = (x / 24 + y / 24) % 3 == 0;
            line[x] = qRgb(bBox ? 230 : (x * 200 / qMax(1, width)) + grain, 40 + (y * 3) % 150,
                           bBox ? 30 : 250 - grain * 4);
        }
    }
    return image;
}

// The mean difference per colour channel of two pictures of one size.
double MeanDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return 255.0;
    double sum = 0.0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum +=
                qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

} // namespace

class tst_JpegPlanes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestMessageHandler::install(); }

    void decodes_data();
    void decodes();
    void reencodesItsPicture_data();
    void reencodesItsPicture();
    void samples();
    void countedTables_data();
    void countedTables();
};

void tst_JpegPlanes::decodes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("bDecodes");

    const QImage picture = Picture(96, 64);
    const QByteArray jpeg = TestJpeg::EncodeWithQt(picture, 90);
    QTest::newRow("4:2:0 baseline") << jpeg << true;
    QTest::newRow("4:2:0 progressive") << TestJpeg::EncodeWithQt(picture, 90, true) << true;
    QTest::newRow("cut short in its data: filled in, as Qt does")
        << jpeg.left(jpeg.size() * 2 / 3) << true;
    // Other samplings and a single component are decoded to a QImage instead.
    QTest::newRow("4:4:4") << TestJpeg::EncodeWithLibjpeg(picture, {90, 1, 1, 0}) << false;
    QTest::newRow("4:2:2") << TestJpeg::EncodeWithLibjpeg(picture, {90, 2, 1, 0}) << false;
    QTest::newRow("greyscale") << TestJpeg::EncodeWithQt(
                                      picture.convertToFormat(QImage::Format_Grayscale8), 90)
                               << false;
    QTest::newRow("header only") << jpeg.left(300) << false;
    // A second frame header after the picture's data is fatal to libjpeg once the scan is read.
    const int frame = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    const int frameLength = (quint8(jpeg.at(frame + 2)) << 8) | quint8(jpeg.at(frame + 3));
    QTest::newRow("broken after its data")
        << jpeg.left(jpeg.size() - 2) + jpeg.mid(frame, 2 + frameLength) + QByteArray("\xFF\xD9", 2)
        << false;
    QTest::newRow("JPEG signature, then text")
        << QByteArray("\xFF\xD8\xFF\xE0 no picture here") << false;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    QTest::newRow("PNG") << png << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void tst_JpegPlanes::decodes()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, bDecodes);

    const std::unique_ptr<JpegPlanes> planes = JpegPlanes::Decode(file);
    QCOMPARE(bool(planes), bDecodes);
    if (planes) {
        QCOMPARE(QSize(planes->Width(), planes->Height()), QSize(96, 64));
        QVERIFY(!QImage::fromData(planes->Encode(75), "JPEG").isNull());
    }
}

void tst_JpegPlanes::reencodesItsPicture_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("bProgressive");

    QTest::newRow("whole blocks") << QSize(320, 240) << false;
    QTest::newRow("progressive") << QSize(320, 240) << true;
    // Partial blocks at the right and bottom edges, in luma and in chroma.
    QTest::newRow("odd size") << QSize(333, 211) << false;
    QTest::newRow("one partial block") << QSize(5, 3) << false;
    QTest::newRow("tall and narrow") << QSize(9, 1001) << false;
}

void tst_JpegPlanes::reencodesItsPicture()
{
    QFETCH(QSize, size);
    QFETCH(bool, bProgressive);

    const QByteArray file =
        TestJpeg::EncodeWithQt(Picture(size.width(), size.height()), 95, bProgressive);
    const std::unique_ptr<JpegPlanes> planes = JpegPlanes::Decode(file);
    QVERIFY(planes);
    const QImage original = QImage::fromData(file, "JPEG");
    const QImage copy = QImage::fromData(planes->Encode(100), "JPEG");
    QCOMPARE(copy.size(), size);
    // Quality 100 only rounds each coefficient once more; a plane read or written at the wrong
    // place, or a chroma plane taken for the other, is off by tens.
    const double difference = MeanDifference(original, copy);
    QVERIFY2(difference < 1.0, qPrintable(QString::number(difference)));
    // Lower qualities make smaller files of the same picture.
    QVERIFY(planes->Encode(50).size() < planes->Encode(90).size());
}

void tst_JpegPlanes::samples()
{
    // Ten bands of 16 rows and a last one of 5.
    const QByteArray file = TestJpeg::EncodeWithQt(Picture(200, 165), 95);
    const std::unique_ptr<JpegPlanes> planes = JpegPlanes::Decode(file);
    QVERIFY(planes);
    const QImage original = QImage::fromData(file, "JPEG");

    // Bands 0, 3, 6, 9 of every third: 4 x 16 rows. Every fifth: bands 0, 5 and the partial 10.
    const std::unique_ptr<JpegPlanes> third = planes->Bands(3);
    QVERIFY(third);
    QCOMPARE(QSize(third->Width(), third->Height()), QSize(200, 64));
    const std::unique_ptr<JpegPlanes> fifth = planes->Bands(5);
    QVERIFY(fifth);
    QCOMPARE(fifth->Height(), 37);

    const QImage sample = QImage::fromData(third->Encode(100), "JPEG");
    QCOMPARE(sample.size(), QSize(200, 64));
    for (int k = 0; k < 4; ++k) {
        // Rows at a band's edges are upsampled from the chroma of its neighbour in the sample.
        const QImage band = original.copy(0, k * 48 + 2, 200, 12);
        const double difference = MeanDifference(sample.copy(0, k * 16 + 2, 200, 12), band);
        QVERIFY2(difference < 1.0,
                 qPrintable(QStringLiteral("band %1: %2").arg(k).arg(difference)));
    }

    const std::unique_ptr<JpegPlanes> corner = planes->Corner();
    QVERIFY(corner);
    const QImage cornerPicture = QImage::fromData(corner->Encode(100), "JPEG");
    QCOMPARE(cornerPicture.size(), QSize(16, 16));
    const double difference = MeanDifference(cornerPicture, original.copy(0, 0, 16, 16));
    QVERIFY2(difference < 1.0, qPrintable(QString::number(difference)));
}

void tst_JpegPlanes::countedTables_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("quality");

    QTest::newRow("photo-like, 83") << QSize(1200, 900) << 83;
    QTest::newRow("photo-like, 100") << QSize(1200, 900) << 100;
    QTest::newRow("photo-like, 10") << QSize(1200, 900) << 10;
    QTest::newRow("odd size, 50") << QSize(333, 211) << 50;
    QTest::newRow("one partial block, 75") << QSize(5, 3) << 75;
    QTest::newRow("flat, 90") << QSize(64, 48) << 90;
}

void tst_JpegPlanes::countedTables()
{
    QFETCH(QSize, size);
    QFETCH(int, quality);

    QImage picture = Picture(size.width(), size.height());
    if (QByteArray(QTest::currentDataTag()).startsWith("flat"))
        picture.fill(QColor(90, 160, 30));
    const std::unique_ptr<JpegPlanes> planes =
        JpegPlanes::Decode(TestJpeg::EncodeWithQt(picture, 95));
    QVERIFY(planes);
    // Tables counted from a standard encode make the very file libjpeg's own optimisation does.
    const QByteArray counted = planes->Encode(quality, JpegPlanes::Tables::Counted);
    QVERIFY(!counted.isEmpty());
    QCOMPARE(counted, planes->Encode(quality, JpegPlanes::Tables::Optimised));
}

QTEST_MAIN(tst_JpegPlanes)
#include "tst_jpegplanes.moc"
