// The host's image helpers: content sniffing, fitting a JPEG into a byte limit, rounded
// thumbnails.

#include "PalImageUtils.h"
#include "TestMessageHandler.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
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

// Gradients with noise of the given amplitude per channel: mild noise gives a photo that is
// large at quality 100 and small at low quality; full noise (256) barely compresses at all.
QImage Picture(int width, int height, int noise)
{
    QRandomGenerator random(7);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            auto n = [&]() { return static_cast<int>(random.bounded(noise)); };
            line[x] = qRgb((x * 255 / width + n()) % 256, (y * 255 / height + n()) % 256,
                           ((x + y) % 256 + n()) % 256);
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
    void scaleImage_data();
    void scaleImage();
    void pixmapToRound_data();
    void pixmapToRound();
    void pixmapToRoundOfNothing();

private:
    QTemporaryDir m_dir;
};

void tst_PalImageUtils::contentType_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content"); // null: no such file
    QTest::addColumn<QString>("expected");

    const QByteArray png = Encode(Picture(40, 30, 1), "PNG");
    QTest::newRow("png") << "a.png" << png << "image/png";
    QTest::newRow("jpeg") << "a.jpg" << Encode(Picture(40, 30, 1), "JPEG") << "image/jpeg";
    QTest::newRow("png named .jpg") << "b.jpg" << png << "image/png";
    QTest::newRow("text named .png") << "c.png" << QByteArray("just some text\n") << "";
    QTest::newRow("truncated png signature") << "m.png" << png.left(5) << "";
    QTest::newRow("missing file") << "missing.png" << QByteArray() << "";
    QTest::newRow("bmp") << "f.bmp" << Encode(Picture(40, 30, 1), "BMP") << "image/bmp";
    QTest::newRow("text starting with BM") << "g.bmp" << QByteArray("BMW owners club") << "";
    QTest::newRow("webp") << "h.webp" << QByteArray("RIFF\x24\x00\x00\x00WEBPVP8 ", 16)
                          << "image/webp";
    QTest::newRow("riff but not webp")
        << "i.wav" << QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16) << "";
    QTest::newRow("tiff") << "j.tif" << QByteArray("II*\x00\x08\x00\x00\x00", 8) << "image/tiff";
    QTest::newRow("icon") << "l.ico" << Encode(Picture(40, 30, 1), "ICO") << "image/x-icon";
}

void tst_PalImageUtils::contentType()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);

    QVERIFY(m_dir.isValid());
    const QString path = m_dir.filePath(fileName);
    if (!content.isNull())
        QVERIFY(WriteFile(path, content));
    QCOMPARE(PalImageUtils::GetImgContentType(path), expected);
}

void tst_PalImageUtils::scaleImage_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<double>("limit");
    QTest::addColumn<QString>("outcome"); // "kept", "lower quality" or "fewer pixels"

    const QByteArray photo = Encode(Picture(640, 480, 48), "JPEG", 100);
    const QImage decoded = QImage::fromData(photo);
    // Some quality between 30 and 95 fits at full size.
    QTest::newRow("a lower quality fits")
        << photo << (Encode(decoded, "JPEG", 30).size() + Encode(decoded, "JPEG", 95).size()) / 2.0
        << "lower quality";
    // A 12-megapixel photo too large even at the lowest quality.
    QTest::newRow("pixels must go")
        << Encode(Picture(4000, 3000, 256), "JPEG", 100) << kLimit << "fewer pixels";
    QTest::newRow("jpeg under the limit") << photo << kLimit << "kept";
    QTest::newRow("jpeg exactly at the limit") << photo << double(photo.size()) << "kept";
    QTest::newRow("png over the limit") << Encode(decoded, "PNG") << 1000.0 << "kept";
    QTest::newRow("jpeg signature, broken data")
        << QByteArray("\xFF\xD8\xFF\xE0garbage", 11) << 4.0 << "kept";
    // Not even a single pixel fits: the picture is kept rather than destroyed.
    QTest::newRow("limit nothing can meet") << photo << 10.0 << "kept";
}

void tst_PalImageUtils::scaleImage()
{
    QFETCH(QByteArray, content);
    QFETCH(double, limit);
    QFETCH(QString, outcome);

    const QString path = m_dir.filePath(QStringLiteral("photo.jpg"));
    QVERIFY(WriteFile(path, content));
    const QByteArray result = PalImageUtils::ScaleImage(path, limit);
    QCOMPARE(ReadFile(path), result);
    if (outcome == "kept") {
        QCOMPARE(result, content);
        return;
    }

    const QImage original = QImage::fromData(content);
    QVERIFY(content.size() > limit);
    QCOMPARE(Encode(original, "JPEG", 10).size() > limit, outcome == "fewer pixels");
    QVERIFY2(!result.isEmpty() && result.size() <= limit, QByteArray::number(result.size()));
    const QImage written = QImage::fromData(result, "JPEG");
    QCOMPARE(written.width() < original.width(), outcome == "fewer pixels");
    const double ratio = double(written.width()) / written.height();
    QVERIFY2(qAbs(ratio - 4.0 / 3.0) < 0.01, qPrintable(QString::number(ratio)));
    if (outcome == "lower quality") {
        // The highest quality that fits, found here by trying them all.
        QByteArray expected;
        for (int quality = 100; quality >= 10 && expected.isEmpty(); --quality) {
            const QByteArray bytes = Encode(original, "JPEG", quality);
            if (bytes.size() <= limit)
                expected = bytes;
        }
        QVERIFY(result == expected);
    }
}

void tst_PalImageUtils::pixmapToRound_data()
{
    QTest::addColumn<QSize>("sourceSize");
    QTest::addColumn<int>("alpha");
    QTest::addColumn<QPoint>("clearAt");

    QTest::newRow("square") << QSize(100, 100) << 255 << QPoint(0, 0);
    // A wide picture fits as 64 x 32, centred: the bands above and below stay clear.
    QTest::newRow("wide") << QSize(200, 100) << 255 << QPoint(32, 4);
    QTest::newRow("smaller than asked") << QSize(16, 16) << 255 << QPoint(0, 0);
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

void tst_PalImageUtils::pixmapToRoundOfNothing()
{
    QVERIFY(PalImageUtils::PixmapToRound(QPixmap(), 64, 64, 2, 2, 255).isNull());
    QPixmap source(10, 10);
    source.fill(Qt::red);
    QVERIFY(PalImageUtils::PixmapToRound(source, 0, 64, 2, 2, 255).isNull());
}

QTEST_MAIN(tst_PalImageUtils)
#include "tst_palimageutils.moc"
