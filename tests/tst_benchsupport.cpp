// What the benchmarks' figures rest on: the JPEG facts read back from a file's bytes (the
// floor and the fit comparison are built on them), picture similarity, medians, and the
// peak memory read from the process status.

#include "AttachDriver.h"
#include "BenchSupport.h"
#include "ZorConsultDialog.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPointer>
#include <QTest>

using namespace Bench;

class TestBenchSupport : public QObject
{
    Q_OBJECT

private slots:
    void jpegFacts_data();
    void jpegFacts();
    void jpegFactsOfNoJpeg_data();
    void jpegFactsOfNoJpeg();
    void jpegWithin();
    void ssim_data();
    void ssim();
    void median_data();
    void median();
    void peakResident_data();
    void peakResident();
    void attachDriver_data();
    void attachDriver();
};

void TestBenchSupport::jpegFacts_data()
{
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("optimized");
    QTest::addColumn<bool>("progressive");

    QTest::newRow("quality 1") << 1 << false << false;
    QTest::newRow("quality 50") << 50 << false << false;
    QTest::newRow("quality 57, optimised") << 57 << true << false;
    QTest::newRow("quality 93, progressive") << 93 << true << true;
    QTest::newRow("quality 99") << 99 << false << false;
    QTest::newRow("quality 100, optimised") << 100 << true << false;
}

void TestBenchSupport::jpegFacts()
{
    QFETCH(int, quality);
    QFETCH(bool, optimized);
    QFETCH(bool, progressive);

    const QImage picture = NoisyPhoto(QSize(120, 80), 3);
    const JpegFacts facts = ReadJpegFacts(EncodeJpeg(picture, quality, optimized, progressive));
    QVERIFY(facts.valid);
    QCOMPARE(facts.size, QSize(120, 80));
    QCOMPARE(facts.quality, quality);
    QCOMPARE(facts.optimized, optimized);
    QCOMPARE(facts.progressive, progressive);
}

void TestBenchSupport::jpegFactsOfNoJpeg_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        NoisyPhoto(QSize(8, 8), 1).save(&buffer, "PNG");
    }
    const QByteArray jpeg = EncodeJpeg(NoisyPhoto(QSize(64, 64), 1), 80);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("png") << png;
    QTest::newRow("cut inside the headers") << jpeg.left(30);
    QTest::newRow("start of image only") << QByteArray("\xFF\xD8", 2);
}

void TestBenchSupport::jpegFactsOfNoJpeg()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!ReadJpegFacts(bytes).valid);
}

void TestBenchSupport::jpegWithin()
{
    const QImage picture = NoisyPhoto(QSize(200, 150), 5, 12);
    const int atFull = EncodeJpeg(picture, 100).size();
    int quality = 0;
    const QByteArray bytes = JpegWithin(picture, atFull / 3, 100, &quality);
    QVERIFY(!bytes.isEmpty());
    QVERIFY(bytes.size() <= atFull / 3);
    QCOMPARE(ReadJpegFacts(bytes).quality, quality);
    // The highest quality that fits: one step up does not.
    QVERIFY(EncodeJpeg(picture, quality + 1).size() > atFull / 3);
    QVERIFY(JpegWithin(picture, 100).isEmpty());
}

void TestBenchSupport::ssim_data()
{
    QTest::addColumn<int>("lowQuality");
    QTest::addColumn<int>("highQuality");

    QTest::newRow("10 against 90") << 10 << 90;
    QTest::newRow("40 against 75") << 40 << 75;
    QTest::newRow("75 against 98") << 75 << 98;
}

void TestBenchSupport::ssim()
{
    QFETCH(int, lowQuality);
    QFETCH(int, highQuality);

    const QImage original = NoisyPhoto(QSize(160, 120), 9);
    QCOMPARE(LumaSsim(original, original), 1.0);
    const double low = LumaSsim(original, QImage::fromData(EncodeJpeg(original, lowQuality)));
    const double high = LumaSsim(original, QImage::fromData(EncodeJpeg(original, highQuality)));
    QVERIFY2(low < high, qPrintable(QStringLiteral("%1 >= %2").arg(low).arg(high)));
    QVERIFY(high < 1.0);
    QVERIFY(low > 0.0);
    // A picture of another size is compared at the original's size.
    const QImage half = original.scaled(80, 60, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QVERIFY(LumaSsim(original, half) > 0.3);
    QVERIFY(LumaSsim(original, half) < 1.0);
}

void TestBenchSupport::median_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("expected");

    QTest::newRow("none") << QVector<double>{} << 0.0;
    QTest::newRow("odd, unsorted") << QVector<double>{9, 1, 5, 3, 7} << 5.0;
    QTest::newRow("even: mean of the middle two") << QVector<double>{4, 1, 3, 2} << 2.5;
    QTest::newRow("an outlier does not move it") << QVector<double>{10, 11, 1000, 12, 9} << 11.0;
}

void TestBenchSupport::median()
{
    QFETCH(QVector<double>, values);
    QFETCH(double, expected);
    QCOMPARE(Median(values), expected);
}

void TestBenchSupport::peakResident_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("kB") << QByteArray("Name:\tx\nVmPeak:\t 9000 kB\nVmHWM:\t   131200 kB\n"
                                      "VmRSS:\t 1 kB\n")
                        << qint64(131200);
    QTest::newRow("absent") << QByteArray("Name:\tx\nVmRSS:\t 1 kB\n") << qint64(-1);
    QTest::newRow("unknown unit") << QByteArray("VmHWM:\t 12 pages\n") << qint64(-1);
    QTest::newRow("not a number") << QByteArray("VmHWM:\t many kB\n") << qint64(-1);
}

void TestBenchSupport::peakResident()
{
    QFETCH(QByteArray, status);
    QFETCH(qint64, expected);
    QCOMPARE(ParsePeakResidentKiB(status), expected);
}

void TestBenchSupport::attachDriver_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error"); // empty: attached

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    Screenshot(QSize(320, 200)).save(&buffer, "PNG");
    QTest::newRow("picture attached") << png << QString();
    QTest::newRow("text refused") << QByteArray("not a picture") << "refused: File format error";
}

void TestBenchSupport::attachDriver()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);

    // The driver goes through the dialog's real Upload path: it must end on the strip's
    // report of the copy, or on the refusal, never on its own timeout.
    AttachDriver::UseDrivableFileDialog();
    HostFiles host;
    QVERIFY(host.IsValid());
    const QString file = host.Path(QStringLiteral("pictures/chosen.png"));
    QVERIFY(WriteFile(file, content));
    QPointer<ZorConsultDialog> dialog = new ZorConsultDialog(nullptr);
    dialog->show();
    const AttachDriver::Outcome outcome = AttachDriver(dialog).Attach(file, 30000);
    delete dialog;

    QCOMPARE(outcome.error, error);
    QCOMPARE(outcome.ok, error.isEmpty());
    if (!outcome.ok)
        return;
    const QFileInfo copy(outcome.savedPath);
    QVERIFY(copy.exists());
    QVERIFY(outcome.savedPath.startsWith(host.ImageCacheDir()));
    QVERIFY(outcome.totalMs > 0);
    QVERIFY(outcome.longestStallMs > 0 && outcome.longestStallMs <= outcome.totalMs);
    QVERIFY(outcome.longestModuleStallMs <= outcome.longestStallMs);
}

QTEST_MAIN(TestBenchSupport)
#include "tst_benchsupport.moc"
