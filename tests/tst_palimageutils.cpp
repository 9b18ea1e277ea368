// The host's image helpers: content sniffing, fitting a JPEG into a byte limit, rounded
// thumbnails.

#include "PalImageUtils.h"

#include "JpegPlanes.h"
#include "TestMessageHandler.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A JPEG as the fitting writes it: optimised Huffman tables.
QByteArray Encode(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setOptimizedWrite(true);
    writer.write(image);
    return bytes;
}

// Gradients with noise of the given amplitude per channel: mild noise gives a photo that is
// large at quality 100 and small at low quality; full noise (256) barely compresses at all.
QImage Picture(int width, int height, int noise)
{
    QRandomGenerator random(7);
    auto channel = [&](int base) { return (base + random.bounded(noise)) % 256; };
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y,
                qRgb(channel(x * 255 / width), channel(y * 255 / height), channel((x + y) % 256)));
    return image;
}

} // namespace

class tst_PalImageUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestMessageHandler::install();
        // The decoder's complaints about the broken JPEGs below.
        TestMessageHandler::allow(
            QRegularExpression("^(JPEG datastream|Invalid JPEG file structure)"));
    }
    void init() { m_path = m_dir.filePath(QTest::currentDataTag()); }

    void contentType_data();
    void contentType();
    void scaleImage_data();
    void scaleImage();
    void fitJpeg_data();
    void fitJpeg();
    void fitJpegFile_data();
    void fitJpegFile();
    void pixmapToRound_data();
    void pixmapToRound();

private:
    // Writes the file each row works on (named after the row); a null content writes nothing.
    bool Write(const QByteArray& content)
    {
        QFile file(m_path);
        return content.isNull() ||
               (file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }

    QTemporaryDir m_dir;
    QString m_path;
};

void tst_PalImageUtils::contentType_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no such file
    QTest::addColumn<QString>("expected");

    const QImage picture = Picture(40, 30, 1);
    const QByteArray png = Encode(picture, "PNG");
    // The names say what the files pretend to be; only the content counts.
    QTest::newRow("a.png") << png << "image/png";
    QTest::newRow("a.jpg") << Encode(picture, "JPEG") << "image/jpeg";
    QTest::newRow("png named b.jpg") << png << "image/png";
    QTest::newRow("text named c.png") << QByteArray("just some text\n") << "";
    QTest::newRow("empty d.png") << QByteArray("") << "";
    QTest::newRow("missing.png") << QByteArray() << "";
    QTest::newRow("f.bmp") << Encode(picture, "BMP") << "image/bmp";
    QTest::newRow("text starting with BM, g.bmp") << QByteArray("BMW owners club") << "";
}

void tst_PalImageUtils::contentType()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);

    QVERIFY(Write(content));
    QCOMPARE(PalImageUtils::GetImgContentType(m_path), expected);
}

void tst_PalImageUtils::scaleImage_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<double>("limit");
    QTest::addColumn<QByteArray>("expected"); // empty: fewer pixels, checked below

    const QByteArray photo = Encode(Picture(640, 480, 48), "JPEG", 100);
    const QImage decoded = QImage::fromData(photo);
    // Some quality between 30 and 95 fits at full size: the highest that does, found by trying.
    // A colour JPEG is re-encoded from its own planes.
    const std::unique_ptr<JpegPlanes> planes = JpegPlanes::Decode(photo);
    QVERIFY(planes);
    const double limit = (planes->Encode(30).size() + planes->Encode(95).size()) / 2.0;
    QByteArray best;
    for (int quality = 100; best.isEmpty() || best.size() > limit; --quality)
        best = planes->Encode(quality);
    QTest::newRow("a lower quality fits") << photo << limit << best;
    const QByteArray noise = Encode(Picture(640, 480, 256), "JPEG", 100);
    QTest::newRow("noise, too large at any quality")
        << noise << Encode(QImage::fromData(noise), "JPEG", 10).size() / 3.0 << QByteArray();
    QTest::newRow("jpeg under the limit") << photo << 1048576.0 << photo;
    QTest::newRow("jpeg exactly at the limit") << photo << double(photo.size()) << photo;
    const QByteArray png = Encode(decoded, "PNG");
    QTest::newRow("png over the limit") << png << 1000.0 << png;
    const QByteArray broken("\xFF\xD8\xFF\xE0garbage", 11);
    QTest::newRow("jpeg signature, broken data") << broken << 4.0 << broken;
    // Not even a single pixel fits: the picture is kept rather than destroyed.
    QTest::newRow("limit nothing can meet") << photo << 10.0 << photo;
}

void tst_PalImageUtils::scaleImage()
{
    QFETCH(QByteArray, content);
    QFETCH(double, limit);
    QFETCH(QByteArray, expected);

    QVERIFY(Write(content));
    const QByteArray result = PalImageUtils::ScaleImage(m_path, limit);
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), result);
    if (!expected.isEmpty()) {
        QVERIFY(result == expected);
        return;
    }

    const QImage original = QImage::fromData(content);
    QVERIFY(Encode(original, "JPEG", 10).size() > limit);
    QVERIFY2(!result.isEmpty() && result.size() <= limit, QByteArray::number(result.size()));
    const QImage scaled = QImage::fromData(result, "JPEG");
    QVERIFY(scaled.width() < original.width());
    const double ratio = double(scaled.width()) / scaled.height();
    QVERIFY2(qAbs(ratio - 4.0 / 3.0) < 0.01, qPrintable(QString::number(ratio)));
}

void tst_PalImageUtils::fitJpeg_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<double>("limit");
    QTest::addColumn<int>("quality"); // the one expected, found by trying every one

    // Tall enough to be estimated from a sample before the full encodes; the short one is
    // searched by full encodes only.
    const QImage tall = Picture(1200, 1100, 48);
    const QImage shortOne = Picture(900, 300, 48);
    const auto size = [](const QImage& picture, int quality) {
        return double(Encode(picture, "JPEG", quality).size());
    };
    QTest::newRow("tall, between 80 and 81") << tall << (size(tall, 80) + size(tall, 81)) / 2 << 80;
    QTest::newRow("tall, exactly 93's size") << tall << size(tall, 93) << 93;
    QTest::newRow("tall, a byte below 93's size") << tall << size(tall, 93) - 1 << 92;
    QTest::newRow("tall, 10 only") << tall << size(tall, 10) << 10;
    QTest::newRow("tall, 100 fits") << tall << size(tall, 100) << 100;
    QTest::newRow("short, between 60 and 61")
        << shortOne << (size(shortOne, 60) + size(shortOne, 61)) / 2 << 60;
    QTest::newRow("null picture") << QImage() << 1048576.0 << 0;
}

void tst_PalImageUtils::fitJpeg()
{
    QFETCH(QImage, picture);
    QFETCH(double, limit);
    QFETCH(int, quality);

    const QByteArray result = PalImageUtils::FitJpeg(picture, limit);
    QCOMPARE(result, quality ? Encode(picture, "JPEG", quality) : QByteArray());
}

void tst_PalImageUtils::fitJpegFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<double>("limit");
    QTest::addColumn<QByteArray>("expected"); // empty: fewer pixels, or nothing (see below)

    // A colour JPEG: the highest quality of its planes' re-encodes that fits, found by trying.
    // The tall one is estimated from a sample first, the short one searched by full encodes.
    const QByteArray tall = Encode(Picture(1200, 1100, 48), "JPEG", 100);
    const QByteArray shortOne = Encode(Picture(900, 300, 48), "JPEG", 100);
    const std::unique_ptr<JpegPlanes> tallPlanes = JpegPlanes::Decode(tall);
    const std::unique_ptr<JpegPlanes> shortPlanes = JpegPlanes::Decode(shortOne);
    QVERIFY(tallPlanes && shortPlanes);
    const auto size = [](const JpegPlanes& planes, int quality) {
        return double(planes.Encode(quality).size());
    };
    QTest::newRow("tall, between 80 and 81")
        << tall << (size(*tallPlanes, 80) + size(*tallPlanes, 81)) / 2 << tallPlanes->Encode(80);
    QTest::newRow("tall, exactly 93's size")
        << tall << size(*tallPlanes, 93) << tallPlanes->Encode(93);
    QTest::newRow("tall, a byte below 93's size")
        << tall << size(*tallPlanes, 93) - 1 << tallPlanes->Encode(92);
    QTest::newRow("short, between 60 and 61")
        << shortOne << (size(*shortPlanes, 60) + size(*shortPlanes, 61)) / 2
        << shortPlanes->Encode(60);

    // Anything else is decoded to a picture and fitted as FitJpeg fits it.
    const QImage grey = Picture(900, 300, 48).convertToFormat(QImage::Format_Grayscale8);
    const QByteArray greyFile = Encode(grey, "JPEG", 100);
    const QImage greyDecoded = QImage::fromData(greyFile, "JPEG");
    const double greyLimit = (Encode(greyDecoded, "JPEG", 70).size() +
                              Encode(greyDecoded, "JPEG", 71).size()) / 2.0;
    QTest::newRow("greyscale, between 70 and 71")
        << greyFile << greyLimit << Encode(greyDecoded, "JPEG", 70);

    // No quality fits: the planes give way to a picture with fewer pixels.
    QTest::newRow("colour, too large at any quality") << shortOne << size(*shortPlanes, 10) / 3
                                                      << QByteArray();
    QTest::newRow("JPEG signature, broken data")
        << QByteArray("\xFF\xD8\xFF\xE0garbage", 11) << 1048576.0 << QByteArray();
    // Broken only after its data (a second frame header): no copy, whatever decodes first.
    const int frame = shortOne.indexOf(QByteArray("\xFF\xC0", 2));
    const int frameLength =
        (quint8(shortOne.at(frame + 2)) << 8) | quint8(shortOne.at(frame + 3));
    QTest::newRow("colour, broken after its data")
        << shortOne.left(shortOne.size() - 2) + shortOne.mid(frame, 2 + frameLength) +
               QByteArray("\xFF\xD9", 2)
        << 1048576.0 << QByteArray();
}

void tst_PalImageUtils::fitJpegFile()
{
    QFETCH(QByteArray, file);
    QFETCH(double, limit);
    QFETCH(QByteArray, expected);

    const QByteArray result = PalImageUtils::FitJpegFile(file, limit);
    if (!expected.isEmpty()) {
        QCOMPARE(result, expected);
        return;
    }
    const QImage original = QImage::fromData(file, "JPEG");
    if (original.isNull()) {
        QVERIFY(result.isEmpty());
        return;
    }
    QVERIFY2(!result.isEmpty() && result.size() <= limit, QByteArray::number(result.size()));
    const QImage smaller = QImage::fromData(result, "JPEG");
    QVERIFY(smaller.width() < original.width());
    const double ratio = double(smaller.width()) / smaller.height();
    QVERIFY2(qAbs(ratio - 3.0) < 0.05, qPrintable(QString::number(ratio)));
}

void tst_PalImageUtils::pixmapToRound_data()
{
    QTest::addColumn<QSize>("sourceSize");
    QTest::addColumn<int>("alpha");
    QTest::addColumn<QPoint>("clearAt");

    QTest::newRow("square") << QSize(100, 100) << 255 << QPoint(0, 0);
    // A wide picture fits as 64 x 32, centred: the bands above and below stay clear.
    QTest::newRow("wide") << QSize(200, 100) << 255 << QPoint(32, 4);
    QTest::newRow("half opacity") << QSize(100, 100) << 128 << QPoint(0, 0);
}

void tst_PalImageUtils::pixmapToRound()
{
    QFETCH(QSize, sourceSize);
    QFETCH(int, alpha);
    QFETCH(QPoint, clearAt);

    QPixmap source(sourceSize);
    source.fill(QColor(200, 40, 40));
    const QImage result = PalImageUtils::PixmapToRound(source, 64, 64, 8, 8, alpha).toImage();
    QCOMPARE(result.size(), QSize(64, 64));
    QCOMPARE(qAlpha(result.pixel(clearAt)), 0);
    const QRgb centre = result.pixel(32, 32);
    QVERIFY(qAbs(qAlpha(centre) - alpha) <= 1);
    // The picture itself, not a blank: premultiplied red dominates.
    QVERIFY(qRed(centre) > 3 * qGreen(centre));
}

QTEST_MAIN(tst_PalImageUtils)
#include "tst_palimageutils.moc"
