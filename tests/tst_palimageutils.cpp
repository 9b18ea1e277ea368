// The host's image helpers: content sniffing, fitting a JPEG into a byte limit, rounded
// thumbnails.

#include "PalImageUtils.h"
#include "TestMessageHandler.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr double kLimit = 1048576.0;

QByteArray Encode(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

QImage SmallPicture()
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(QColor(30, 120, 200));
    return image;
}

// Random noise barely compresses, which makes a photo-sized JPEG very large.
QImage Noise(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = 0xFF000000u | (random.generate() & 0x00FFFFFFu);
    }
    return image;
}

// A picture with gradients and mild noise: large at quality 100, small at low quality.
QImage Photo(int width, int height)
{
    QRandomGenerator random(7);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = static_cast<int>(random.bounded(48));
            line[x] = qRgb((x * 255 / width + n) % 256, (y * 255 / height + n) % 256,
                           ((x + y) % 256 + n) % 256);
        }
    }
    return image;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_PalImageUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestMessageHandler::install();
        // The decoder's complaint about the broken JPEG below.
        TestMessageHandler::allow(QRegularExpression(QStringLiteral("^JPEG datastream")));
    }

    void contentType_data();
    void contentType();
    void scaleLargeNoisyPhoto();
    void scalePicksHighestQualityBeforeShrinking();
    void scaleLeavesFileUntouched_data();
    void scaleLeavesFileUntouched();
    void pixmapToRound_data();
    void pixmapToRound();
    void pixmapToRoundOfNothing();

private:
    QTemporaryDir m_dir;
};

void tst_PalImageUtils::contentType_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("create");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");

    const QByteArray png = Encode(SmallPicture(), "PNG");
    const QByteArray bmp = Encode(SmallPicture(), "BMP");
    QTest::newRow("png") << "a.png" << true << png << "image/png";
    QTest::newRow("jpeg") << "a.jpg" << true << Encode(SmallPicture(), "JPEG") << "image/jpeg";
    QTest::newRow("png named .jpg") << "b.jpg" << true << png << "image/png";
    QTest::newRow("text named .png") << "c.png" << true << QByteArray("just some text\n") << "";
    QTest::newRow("empty file") << "d.png" << true << QByteArray() << "";
    QTest::newRow("missing file") << "missing.png" << false << QByteArray() << "";
    QTest::newRow("gif") << "e.gif" << true << QByteArray("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13)
                         << "image/gif";
    QTest::newRow("bmp") << "f.bmp" << true << bmp << "image/bmp";
    QTest::newRow("text starting with BM")
        << "g.bmp" << true << QByteArray("BMW owners club newsletter") << "";
    QTest::newRow("webp") << "h.webp" << true << QByteArray("RIFF\x24\x00\x00\x00WEBPVP8 ", 16)
                          << "image/webp";
    QTest::newRow("riff but not webp")
        << "i.wav" << true << QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16) << "";
    QTest::newRow("tiff little endian")
        << "j.tif" << true << QByteArray("II*\x00\x08\x00\x00\x00", 8) << "image/tiff";
    QTest::newRow("tiff big endian")
        << "k.tif" << true << QByteArray("MM\x00*\x00\x00\x00\x08", 8) << "image/tiff";
    QTest::newRow("icon") << "l.ico" << true << Encode(SmallPicture(), "ICO") << "image/x-icon";
    QTest::newRow("truncated png signature") << "m.png" << true << png.left(5) << "";
}

void tst_PalImageUtils::contentType()
{
    QFETCH(QString, fileName);
    QFETCH(bool, create);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);

    QVERIFY(m_dir.isValid());
    const QString path = m_dir.filePath(fileName);
    if (create)
        QVERIFY(WriteFile(path, content));
    QCOMPARE(PalImageUtils::GetImgContentType(path), expected);
}

void tst_PalImageUtils::scaleLargeNoisyPhoto()
{
    // 4000 x 3000: a 12-megapixel photo, far beyond the limit at quality 100.
    const QImage photo = Noise(4000, 3000, 42);
    const QString path = m_dir.filePath(QStringLiteral("photo.jpg"));
    QVERIFY(WriteFile(path, Encode(photo, "JPEG", 100)));
    QVERIFY(QFileInfo(path).size() > 4 * kLimit);
    // Even the lowest quality is too large here, so pixels have to go.
    QVERIFY(Encode(photo, "JPEG", 10).size() > kLimit);

    const QByteArray result = PalImageUtils::ScaleImage(path, kLimit);

    QVERIFY(!result.isEmpty());
    QVERIFY2(result.size() <= kLimit, QByteArray::number(result.size()));
    QCOMPARE(ReadFile(path), result);
    QCOMPARE(PalImageUtils::GetImgContentType(path), QStringLiteral("image/jpeg"));
    const QImage written(path);
    QVERIFY(!written.isNull());
    QVERIFY(written.width() < photo.width());
    const double ratio = double(written.width()) / written.height();
    QVERIFY2(qAbs(ratio - 4.0 / 3.0) < 0.01 * 4.0 / 3.0,
             qPrintable(QStringLiteral("%1x%2").arg(written.width()).arg(written.height())));
}

void tst_PalImageUtils::scalePicksHighestQualityBeforeShrinking()
{
    const QImage picture = Photo(640, 480);
    const QString path = m_dir.filePath(QStringLiteral("quality.jpg"));
    QVERIFY(WriteFile(path, Encode(picture, "JPEG", 100)));
    const QImage decoded(path);

    // A limit between the sizes at quality 30 and 95: some quality fits at full size.
    const double limit =
        (Encode(decoded, "JPEG", 30).size() + Encode(decoded, "JPEG", 95).size()) / 2.0;
    QVERIFY(QFileInfo(path).size() > limit);

    // Reference: the first quality from the top that fits, found by trying them all.
    QByteArray expected;
    for (int quality = 100; quality >= 10 && expected.isEmpty(); --quality) {
        const QByteArray bytes = Encode(decoded, "JPEG", quality);
        if (bytes.size() <= limit)
            expected = bytes;
    }
    QVERIFY(!expected.isEmpty());

    const QByteArray result = PalImageUtils::ScaleImage(path, limit);
    QCOMPARE(result.size(), expected.size());
    QVERIFY(result == expected);
    QCOMPARE(QImage(path).size(), picture.size());
}

void tst_PalImageUtils::scaleLeavesFileUntouched_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<double>("limit");

    const QByteArray jpeg = Encode(Photo(320, 240), "JPEG", 90);
    QTest::newRow("jpeg under the limit") << jpeg << kLimit;
    QTest::newRow("jpeg exactly at the limit") << jpeg << double(jpeg.size());
    QTest::newRow("png over the limit") << Encode(Photo(320, 240), "PNG") << 1000.0;
    QTest::newRow("text over the limit") << QByteArray(5000, 'x') << 1000.0;
    QTest::newRow("jpeg signature, broken data")
        << QByteArray("\xFF\xD8\xFF\xE0garbage", 11) << 4.0;
    // Not even a single pixel fits: the picture is kept rather than destroyed.
    QTest::newRow("limit nothing can meet") << jpeg << 10.0;
}

void tst_PalImageUtils::scaleLeavesFileUntouched()
{
    QFETCH(QByteArray, content);
    QFETCH(double, limit);

    const QString path = m_dir.filePath(QStringLiteral("untouched.bin"));
    QVERIFY(WriteFile(path, content));
    QCOMPARE(PalImageUtils::ScaleImage(path, limit), content);
    QCOMPARE(ReadFile(path), content);
}

void tst_PalImageUtils::pixmapToRound_data()
{
    QTest::addColumn<QSize>("sourceSize");
    QTest::addColumn<int>("alpha");
    QTest::addColumn<QPoint>("transparentAt");
    QTest::addColumn<QPoint>("opaqueAt");
    QTest::addColumn<int>("expectedAlpha");

    QTest::newRow("square, corner")
        << QSize(100, 100) << 255 << QPoint(0, 0) << QPoint(32, 32) << 255;
    QTest::newRow("square, far corner")
        << QSize(200, 200) << 255 << QPoint(63, 63) << QPoint(60, 32) << 255;
    // A wide picture fits as 64 x 32, centred: the bands above and below stay clear.
    QTest::newRow("wide, band above")
        << QSize(200, 100) << 255 << QPoint(32, 4) << QPoint(32, 32) << 255;
    QTest::newRow("wide, its own corner")
        << QSize(200, 100) << 255 << QPoint(0, 16) << QPoint(4, 24) << 255;
    QTest::newRow("smaller than asked")
        << QSize(16, 16) << 255 << QPoint(0, 0) << QPoint(32, 32) << 255;
    QTest::newRow("half opacity") << QSize(100, 100) << 128 << QPoint(0, 0) << QPoint(32, 32)
                                  << 128;
}

void tst_PalImageUtils::pixmapToRound()
{
    QFETCH(QSize, sourceSize);
    QFETCH(int, alpha);
    QFETCH(QPoint, transparentAt);
    QFETCH(QPoint, opaqueAt);
    QFETCH(int, expectedAlpha);

    QPixmap source(sourceSize);
    source.fill(QColor(200, 40, 40));

    const QImage result = PalImageUtils::PixmapToRound(source, 64, 64, 8, 8, alpha).toImage();
    QCOMPARE(result.size(), QSize(64, 64));
    QCOMPARE(qAlpha(result.pixel(transparentAt)), 0);
    QVERIFY(qAbs(qAlpha(result.pixel(opaqueAt)) - expectedAlpha) <= 1);
    // The picture itself, not a blank: premultiplied red dominates.
    QVERIFY(qRed(result.pixel(opaqueAt)) > 3 * qGreen(result.pixel(opaqueAt)));
}

void tst_PalImageUtils::pixmapToRoundOfNothing()
{
    QVERIFY(PalImageUtils::PixmapToRound(QPixmap(), 64, 64, 2, 2, 255).isNull());
    QPixmap source(10, 10);
    source.fill(Qt::red);
    QVERIFY(PalImageUtils::PixmapToRound(source, 0, 64, 2, 2, 255).isNull());
}

QTEST_MAIN(tst_PalImageUtils)
#include "tst_palimageutils.moc"
