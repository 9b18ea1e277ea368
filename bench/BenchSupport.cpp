#include "BenchSupport.h"

#include "ZorCacheManager.h"
#include "ZorCodeTracking.h"
#include "ZorConfigManager.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QRadialGradient>
#include <QtMath>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

namespace Bench {

namespace {

// Code lengths 1..16 of the standard luma DC Huffman table that a JPEG writer uses unless
// it builds tables for the picture.
constexpr std::array<quint8, 16> kStandardLumaDcCounts = {0, 1, 5, 1, 1, 1, 1, 1,
                                                          1, 0, 0, 0, 0, 0, 0, 0};

quint32 NextRandom(quint32& state)
{
    // xorshift32: fast, and the same pictures on every machine.
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

int Clamp255(int value)
{
    return value < 0 ? 0 : (value > 255 ? 255 : value);
}

int ReadBigEndian16(const QByteArray& bytes, int at)
{
    return (quint8(bytes.at(at)) << 8) | quint8(bytes.at(at + 1));
}

// The luma quantisation table (table 0, in file order) of a JPEG; empty when it has none.
QVector<int> LumaTable(const QByteArray& bytes, JpegFacts* facts)
{
    QVector<int> table;
    const int n = bytes.size();
    if (n < 4 || quint8(bytes.at(0)) != 0xFF || quint8(bytes.at(1)) != 0xD8)
        return table;
    int i = 2;
    bool dcSeen = false;
    while (i + 4 <= n) {
        if (quint8(bytes.at(i)) != 0xFF)
            break;
        const int marker = quint8(bytes.at(i + 1));
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            i += 2;
            continue;
        }
        const int length = ReadBigEndian16(bytes, i + 2);
        const int begin = i + 4;
        const int end = qMin(n, i + 2 + length);
        if (length < 2)
            break;
        if (marker == 0xDB) {
            int p = begin;
            while (p < end) {
                const bool wide = (quint8(bytes.at(p)) >> 4) != 0;
                const int id = quint8(bytes.at(p)) & 0x0F;
                ++p;
                const int step = wide ? 2 : 1;
                if (p + 64 * step > end)
                    break;
                if (id == 0) {
                    table.clear();
                    for (int k = 0; k < 64; ++k)
                        table.append(wide ? ReadBigEndian16(bytes, p + 2 * k)
                                          : quint8(bytes.at(p + k)));
                }
                p += 64 * step;
            }
        } else if (marker == 0xC4 && facts) {
            int p = begin;
            while (p + 17 <= end) {
                const int cls = quint8(bytes.at(p)) >> 4;
                const int id = quint8(bytes.at(p)) & 0x0F;
                int total = 0;
                bool standard = true;
                for (int k = 0; k < 16; ++k) {
                    const quint8 count = quint8(bytes.at(p + 1 + k));
                    total += count;
                    standard = standard && count == kStandardLumaDcCounts[size_t(k)];
                }
                if (cls == 0 && id == 0 && !dcSeen) {
                    dcSeen = true;
                    facts->optimized = !standard;
                }
                p += 17 + total;
            }
        } else if ((marker == 0xC0 || marker == 0xC1 || marker == 0xC2) && facts &&
                   begin + 5 <= end) {
            facts->progressive = marker == 0xC2;
            facts->size =
                QSize(ReadBigEndian16(bytes, begin + 3), ReadBigEndian16(bytes, begin + 1));
        } else if (marker == 0xDA) {
            break;
        }
        i += 2 + length;
    }
    return table;
}

// Qt's writer's luma table at every quality, index 0 for quality 1.
const QVector<QVector<int>>& WriterTables()
{
    static const QVector<QVector<int>> tables = []() {
        QVector<QVector<int>> result;
        QImage probe(16, 16, QImage::Format_RGB32);
        probe.fill(Qt::gray);
        for (int quality = 1; quality <= 100; ++quality)
            result.append(LumaTable(EncodeJpeg(probe, quality), nullptr));
        return result;
    }();
    return tables;
}

QVector<float> Luma(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    QVector<float> luma(rgb.width() * rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        float* out = luma.data() + y * rgb.width();
        for (int x = 0; x < rgb.width(); ++x)
            out[x] = 0.299f * qRed(line[x]) + 0.587f * qGreen(line[x]) + 0.114f * qBlue(line[x]);
    }
    return luma;
}

} // namespace

double Median(QVector<double> values)
{
    if (values.isEmpty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const int middle = values.size() / 2;
    if (values.size() % 2 == 1)
        return values.at(middle);
    return (values.at(middle - 1) + values.at(middle)) / 2.0;
}

double MedianMs(int runs, const std::function<void()>& work)
{
    QVector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        work();
        times.append(clock.nsecsElapsed() / 1e6);
    }
    return Median(times);
}

void Report(const QString& what, double project, double reference, const QString& unit,
            double goalRatio, const QString& referenceName)
{
    const double ratio =
        reference > 0 ? project / reference : std::numeric_limits<double>::quiet_NaN();
    QString line = QStringLiteral("%1  project %2 %3  %4 %5 %3  ratio %6")
                       .arg(what, -46)
                       .arg(project, 9, 'f', 1)
                       .arg(unit)
                       .arg(referenceName.isEmpty() ? QStringLiteral("reference") : referenceName)
                       .arg(reference, 9, 'f', 1)
                       .arg(ratio, 0, 'f', 2);
    if (goalRatio > 0) {
        line += QStringLiteral("  (goal <= %1: %2)")
                    .arg(goalRatio, 0, 'f', 2)
                    .arg(ratio <= goalRatio ? QStringLiteral("met") : QStringLiteral("MISSED"));
    }
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

void Note(const QString& text)
{
    std::printf("    %s\n", qPrintable(text));
    std::fflush(stdout);
}

void Skip(const QString& what, const QString& reason)
{
    std::printf("%s  skipped: %s\n", qPrintable(what), qPrintable(reason));
    std::fflush(stdout);
}

QImage NoisyPhoto(const QSize& size, quint32 seed, int noise)
{
    QImage image(size, QImage::Format_RGB32);
    quint32 state = seed * 2654435761u + 1u;
    const double w = size.width();
    const double h = size.height();
    // A few soft light sources, placed by the seed.
    struct Blob
    {
        double x, y, r2, strength;
    };
    QVector<Blob> blobs;
    for (int k = 0; k < 6; ++k) {
        const double r = (0.1 + (NextRandom(state) % 1000) / 4000.0) * w;
        blobs.append({(NextRandom(state) % 1000) / 1000.0 * w,
                      (NextRandom(state) % 1000) / 1000.0 * h, r * r,
                      ((NextRandom(state) % 1000) / 1000.0 - 0.5) * 160.0});
    }
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double fy = y / h;
        for (int x = 0; x < size.width(); ++x) {
            const double fx = x / w;
            double light = 70.0 + 90.0 * fx * (1.0 - 0.4 * fy) + 40.0 * fy;
            for (const Blob& blob : qAsConst(blobs)) {
                const double dx = x - blob.x;
                const double dy = y - blob.y;
                light += blob.strength / (1.0 + (dx * dx + dy * dy) / blob.r2);
            }
            const quint32 random = NextRandom(state);
            // Triangular noise, mostly in brightness with a little colour, as a sensor gives.
            const int grain = (int(random & 0xFF) + int((random >> 8) & 0xFF) - 255) * noise / 128;
            const int tint = (int((random >> 16) & 0xFF) - 128) * noise / 512;
            const int base = int(light);
            line[x] = qRgb(Clamp255(base + 18 + grain + tint), Clamp255(base + grain),
                           Clamp255(int(base * 0.8) + grain - tint));
        }
    }
    return image;
}

QImage Illustration(const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Shading down the picture only: every row is one colour, as in an exported chart.
    QLinearGradient background(0, 0, 0, size.height());
    background.setColorAt(0.0, QColor(250, 248, 240));
    background.setColorAt(1.0, QColor(200, 215, 235));
    painter.fillRect(image.rect(), background);
    const int unit = qMax(1, size.width() / 40);
    painter.setPen(Qt::NoPen);
    for (int k = 0; k < 24; ++k) {
        const QPointF centre((k * 7 % 23) * size.width() / 23.0,
                             (k * 11 % 17) * size.height() / 17.0);
        painter.setBrush(QColor::fromHsv(k * 15 % 360, 160, 230));
        painter.drawEllipse(centre, unit * (2 + k % 5), unit * (1 + k % 3));
    }
    for (int k = 0; k < 16; ++k) {
        painter.setBrush(QColor::fromHsv(200 + k * 5, 120, 200));
        painter.drawRect(QRectF(unit * (4 + k * 2), size.height() * (0.9 - 0.04 * (k % 9)),
                                unit * 1.5, size.height() * (0.04 * (k % 9) + 0.02)));
    }
    QFont font = painter.font();
    font.setPixelSize(qMax(8, unit / 2));
    painter.setFont(font);
    for (int k = 0; k < 12; ++k) {
        painter.setPen(QPen(QColor::fromHsv(k * 30, 200, 160), unit / 6.0));
        painter.drawLine(0, k * size.height() / 12, size.width(), (k + 3) * size.height() / 12);
        painter.drawText(
            QPointF(unit, (k + 1) * size.height() / 13.0),
            QStringLiteral("Series %1: printer jams per week, store %2").arg(k).arg(k * 17 + 3));
    }
    return image;
}

QImage Screenshot(const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(243, 243, 243));
    QPainter painter(&image);
    const int w = size.width();
    const int h = size.height();
    painter.fillRect(0, 0, w, 40, QColor(45, 45, 48));
    painter.fillRect(0, 40, w / 6, h - 40, QColor(230, 232, 236));
    painter.fillRect(0, h - 28, w, 28, QColor(0, 122, 204));
    QFont font = painter.font();
    font.setPixelSize(14);
    painter.setFont(font);
    for (int row = 0; row * 24 + 56 < h - 40; ++row) {
        const int y = row * 24 + 56;
        painter.setPen(QColor(60, 60, 60));
        painter.drawText(12, y + 16, QStringLiteral("Folder %1").arg(row));
        painter.setPen(row % 2 ? QColor(30, 30, 30) : QColor(0, 90, 160));
        painter.drawText(w / 6 + 16, y + 16,
                         QStringLiteral("%1  order #%2  receipt printer offline, status %3")
                             .arg(row, 3)
                             .arg(100000 + row * 37)
                             .arg(row % 7));
        painter.setPen(QColor(220, 220, 220));
        painter.drawLine(w / 6, y + 23, w, y + 23);
    }
    painter.fillRect(w - 360, h / 3, 320, 180, Qt::white);
    painter.setPen(QColor(180, 180, 180));
    painter.drawRect(w - 360, h / 3, 320, 180);
    painter.fillRect(w - 140, h / 3 + 130, 90, 32, QColor(0, 122, 204));
    return image;
}

QByteArray EncodeJpeg(const QImage& image, int quality, bool optimized, bool progressive)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.setOptimizedWrite(optimized);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

QByteArray JpegWithin(const QImage& image, int limit, int maxQuality, int* quality)
{
    QByteArray best;
    int bestQuality = 0;
    int low = 1;
    int high = maxQuality;
    while (low <= high) {
        const int q = (low + high) / 2;
        QByteArray bytes = EncodeJpeg(image, q);
        if (!bytes.isEmpty() && bytes.size() <= limit) {
            best = std::move(bytes);
            bestQuality = q;
            low = q + 1;
        } else {
            high = q - 1;
        }
    }
    if (quality)
        *quality = bestQuality;
    return best;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

JpegFacts ReadJpegFacts(const QByteArray& bytes)
{
    JpegFacts facts;
    const QVector<int> table = LumaTable(bytes, &facts);
    facts.valid = !table.isEmpty() && facts.size.isValid() && !facts.size.isEmpty();
    if (!facts.valid)
        return facts;
    facts.optimized = facts.optimized || facts.progressive;
    const QVector<QVector<int>>& tables = WriterTables();
    for (int q = tables.size(); q >= 1; --q) {
        if (tables.at(q - 1) == table) {
            facts.quality = q;
            break;
        }
    }
    return facts;
}

double LumaSsim(const QImage& a, const QImage& b)
{
    if (a.isNull() || b.isNull())
        return 0.0;
    const QImage other = b.size() == a.size()
                             ? b
                             : b.scaled(a.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QVector<float> x = Luma(a);
    const QVector<float> y = Luma(other);
    const int width = a.width();
    constexpr int kWindow = 8;
    constexpr int kStride = 4;
    constexpr double kC1 = (0.01 * 255) * (0.01 * 255);
    constexpr double kC2 = (0.03 * 255) * (0.03 * 255);
    constexpr double kCount = kWindow * kWindow;
    double total = 0.0;
    int windows = 0;
    for (int top = 0; top + kWindow <= a.height(); top += kStride) {
        for (int left = 0; left + kWindow <= width; left += kStride) {
            double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
            for (int row = top; row < top + kWindow; ++row) {
                const float* px = x.constData() + row * width + left;
                const float* py = y.constData() + row * width + left;
                for (int k = 0; k < kWindow; ++k) {
                    sx += px[k];
                    sy += py[k];
                    sxx += double(px[k]) * px[k];
                    syy += double(py[k]) * py[k];
                    sxy += double(px[k]) * py[k];
                }
            }
            const double mx = sx / kCount;
            const double my = sy / kCount;
            const double vx = sxx / kCount - mx * mx;
            const double vy = syy / kCount - my * my;
            const double cov = sxy / kCount - mx * my;
            total += ((2 * mx * my + kC1) * (2 * cov + kC2)) /
                     ((mx * mx + my * my + kC1) * (vx + vy + kC2));
            ++windows;
        }
    }
    return windows ? total / windows : 0.0;
}

qint64 ParsePeakResidentKiB(const QByteArray& status)
{
    for (const QByteArray& line : status.split('\n')) {
        if (!line.startsWith("VmHWM:"))
            continue;
        const QList<QByteArray> fields = line.mid(6).simplified().split(' ');
        bool ok = false;
        const qint64 value = fields.value(0).toLongLong(&ok);
        if (!ok)
            return -1;
        const QByteArray unit = fields.value(1).toLower();
        if (unit == "kb")
            return value;
        if (unit == "mb")
            return value * 1024;
        return -1;
    }
    return -1;
}

qint64 PeakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    return ParsePeakResidentKiB(status.readAll());
}

double RunChild(const QStringList& args, int timeoutMs)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QCoreApplication::applicationFilePath(), args);
    if (!child.waitForFinished(timeoutMs)) {
        child.kill();
        child.waitForFinished();
        std::fprintf(stderr, "child %s did not finish\n", qPrintable(args.join(' ')));
        return std::numeric_limits<double>::quiet_NaN();
    }
    const QByteArray out = child.readAllStandardOutput();
    for (const QByteArray& line : out.split('\n')) {
        if (!line.startsWith("RESULT "))
            continue;
        bool ok = false;
        const double value = line.mid(7).trimmed().toDouble(&ok);
        if (ok && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0)
            return value;
    }
    std::fprintf(stderr, "child %s failed (exit %d):\n%s%s\n", qPrintable(args.join(' ')),
                 child.exitCode(), out.constData(), child.readAllStandardError().constData());
    return std::numeric_limits<double>::quiet_NaN();
}

void PrintResult(double value)
{
    std::printf("RESULT %.6f\n", value);
    std::fflush(stdout);
}

HostFiles::HostFiles()
{
    if (!m_dir.isValid())
        return;
    ZorConfigManager::Instance()->SetConfigFile(Path(QStringLiteral("host.ini")));
    ZorCacheManager::Instance()->SetImageCacheDir(ImageCacheDir());
    ZorCacheManager::Instance()->SetDefaultExportPath(Path(QStringLiteral("pictures")));
    ZorCodeTracking::SetLogFilePath(Path(QStringLiteral("code-tracking.log")));
    QDir().mkpath(Path(QStringLiteral("pictures")));
    QDir().mkpath(ImageCacheDir());
}

bool HostFiles::IsValid() const
{
    return m_dir.isValid();
}

QString HostFiles::Path(const QString& relative) const
{
    return m_dir.filePath(relative);
}

QString HostFiles::ImageCacheDir() const
{
    return Path(QStringLiteral("cache")) + QLatin1Char('/');
}

void HostFiles::ClearImageCache() const
{
    QDir cache(ImageCacheDir());
    for (const QString& name : cache.entryList(QDir::Files))
        cache.remove(name);
}

namespace {

// The offscreen platform's notes on what it cannot do (raise a window, pass size hints on)
// say nothing about the module; everything else Qt says is shown.
void QuietPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.startsWith(QLatin1String("This plugin does not support")) ||
        text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

} // namespace

void UseOffscreenPlatformByDefault()
{
    qInstallMessageHandler(QuietPlatformNotes);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace Bench
