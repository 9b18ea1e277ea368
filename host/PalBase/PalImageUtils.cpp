#include "PalImageUtils.h"

#include "JpegPlanes.h"

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QtMath>

#include <memory>

namespace {

// Every signature below fits in the first 16 bytes.
constexpr qint64 kSniffBytes = 16;

// The lowest quality worth trying before giving up pixels instead.
constexpr int kMinQuality = 10;
constexpr int kMaxQuality = 100;

bool StartsWith(const QByteArray& head, const char* magic, int length, int offset = 0)
{
    return head.size() >= offset + length && head.mid(offset, length) == QByteArray(magic, length);
}

bool IsJpeg(const QByteArray& head)
{
    return StartsWith(head, "\xFF\xD8\xFF", 3);
}

bool IsBmp(const QByteArray& head)
{
    // "BM" alone is too weak (any text may start with it): also require a known DIB header
    // size at offset 14.
    if (!StartsWith(head, "BM", 2) || head.size() < 16)
        return false;
    const quint8 low = static_cast<quint8>(head.at(14));
    const quint8 high = static_cast<quint8>(head.at(15));
    const int dibSize = low | (high << 8);
    return dibSize == 12 || dibSize == 40 || dibSize == 52 || dibSize == 56 || dibSize == 64 ||
           dibSize == 108 || dibSize == 124;
}

bool IsIcon(const QByteArray& head)
{
    // Reserved 0, type 1 (icon), then a non-zero image count.
    return StartsWith(head, "\x00\x00\x01\x00", 4) && head.size() >= 6 &&
           (head.at(4) != 0 || head.at(5) != 0);
}

// Optimised Huffman tables make the same picture at the same quality some percent smaller.
// Progressive scans were measured to gain nothing on photos at this size and to double the
// encoding time, so the copy stays baseline.
QByteArray Encode(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.setOptimizedWrite(true);
    if (!writer.write(image))
        return QByteArray();
    return bytes;
}

// What the fit needs of a picture, for a JPEG's planes as for a decoded QImage.
QByteArray Encode(const JpegPlanes& planes, int quality)
{
    return planes.Encode(quality);
}

int HeightOf(const QImage& image)
{
    return image.height();
}

int HeightOf(const JpegPlanes& planes)
{
    return planes.Height();
}

// Every step-th band of rows rows, as a picture of its own.
std::unique_ptr<QImage> BandsOf(const QImage& image, int rows, int step)
{
    const int bands = (image.height() + rows - 1) / rows;
    int height = 0;
    for (int band = 0; band < bands; band += step)
        height += qMin(rows, image.height() - band * rows);
    auto sample = std::make_unique<QImage>(image.width(), height, image.format());
    sample->setColorTable(image.colorTable());
    const int lineBytes = qMin(image.bytesPerLine(), sample->bytesPerLine());
    int row = 0;
    for (int band = 0; band < bands; band += step) {
        const int end = qMin(image.height(), (band + 1) * rows);
        for (int y = band * rows; y < end; ++y)
            memcpy(sample->scanLine(row++), image.constScanLine(y), size_t(lineBytes));
    }
    return sample;
}

// The planes' bands are always one row of their blocks.
std::unique_ptr<JpegPlanes> BandsOf(const JpegPlanes& planes, int /*rows*/, int step)
{
    return planes.Bands(step);
}

std::unique_ptr<QImage> CornerOf(const QImage& image)
{
    return std::make_unique<QImage>(image.copy(0, 0, 8, 8));
}

std::unique_ptr<JpegPlanes> CornerOf(const JpegPlanes& planes)
{
    return planes.Corner();
}

// Estimates the encoded size of a picture from a sample of it: every kSampleStep-th band of
// kBandRows rows stands for the bands around it. A band is one row of 4:2:0 blocks, so the
// sample's blocks are the picture's own, and a trial encode of the sample costs a fraction
// of a full one.
template <typename Picture>
class SizeModel
{
public:
    static constexpr int kBandRows = 16;
    static constexpr int kSampleStep = 16;
    // Scaled to a full encode's size, the estimate of the next quality was within 0.7 % of
    // the real size over photos, drawings and screenshots at every quality; a next quality
    // estimated this far over the limit is not worth a full encode to rule it out.
    static constexpr double kClearMargin = 0.02;

    // Whether a picture is tall enough for a sample to be much cheaper than itself.
    static bool IsWorthwhile(const Picture& picture)
    {
        return HeightOf(picture) >= kBandRows * kSampleStep * 4;
    }

    explicit SizeModel(const Picture& picture)
        : m_sample(BandsOf(picture, kBandRows, kSampleStep))
        // Markers and tables are paid once, whatever the picture's size.
        , m_header(CornerOf(picture))
    {
        if (m_sample)
            m_ratio = double(HeightOf(picture)) / HeightOf(*m_sample);
    }

    // The highest quality whose estimate fits; the lowest when none does, the highest when
    // the sample could not be made.
    int HighestQualityWithin(double limit) const
    {
        if (!IsUsable() || Estimate(kMaxQuality) <= limit)
            return kMaxQuality;
        int low = kMinQuality;
        int high = kMaxQuality - 1;
        while (low < high) {
            const int quality = low + (high - low + 1) / 2;
            if (Estimate(quality) <= limit)
                low = quality;
            else
                high = quality - 1;
        }
        return low;
    }

    // Whether quality is sure not to fit, judged by its estimate scaled by what a full
    // encode at a neighbouring quality measured against that one's estimate.
    bool IsClearlyOver(int quality, int measuredQuality, double measuredBytes, double limit) const
    {
        const double measuredEstimate = Estimate(measuredQuality);
        const double estimate = Estimate(quality);
        return measuredEstimate > 0.0 && estimate > 0.0 &&
               estimate * measuredBytes / measuredEstimate > limit * (1.0 + kClearMargin);
    }

    // Frees the sample before the full encodes, keeping the estimates made so far: those of
    // the quality found and the next one, which is what the checks after it ask for.
    void ReleaseSample()
    {
        m_sample.reset();
        m_header.reset();
    }

private:
    bool IsUsable() const { return m_sample && m_header; }

    // Remembered: the search and the checks after it ask for the same qualities. Negative
    // when unknown.
    double Estimate(int quality) const
    {
        auto known = m_estimates.constFind(quality);
        if (known != m_estimates.cend())
            return *known;
        if (!IsUsable())
            return -1.0;
        const QByteArray header = Encode(*m_header, quality);
        const QByteArray sample = Encode(*m_sample, quality);
        const double estimate = header.isEmpty() || sample.isEmpty()
                                    ? -1.0
                                    : header.size() + (sample.size() - header.size()) * m_ratio;
        m_estimates.insert(quality, estimate);
        return estimate;
    }

    std::unique_ptr<Picture> m_sample;
    std::unique_ptr<Picture> m_header;
    double m_ratio = 1.0;
    mutable QHash<int, double> m_estimates;
};

// The highest quality at which the picture fits, as its encoded bytes; empty when even the
// lowest quality is too large, or the picture cannot be encoded. Size grows with quality, so
// the answer lies between the highest quality known to fit and the lowest known not to. The
// model's guess is mostly right within a step, which one or two full encodes confirm; when it
// is not, steps that double close in on the answer.
template <typename Picture>
QByteArray BestQualityThatFits(const Picture& picture, double limit)
{
    std::unique_ptr<SizeModel<Picture>> model;
    if (SizeModel<Picture>::IsWorthwhile(picture))
        model = std::make_unique<SizeModel<Picture>>(picture);
    int quality = model ? model->HighestQualityWithin(limit) : kMaxQuality;
    if (model)
        model->ReleaseSample();
    int fitting = kMinQuality - 1;
    int failing = kMaxQuality + 1;
    QByteArray best;
    int step = 1;
    while (fitting + 1 < failing) {
        QByteArray bytes = Encode(picture, quality);
        // A picture that cannot be encoded (broken data behind a good header) fails at every
        // quality alike.
        if (bytes.isEmpty())
            return QByteArray();
        if (bytes.size() <= limit) {
            fitting = quality;
            if (model && quality < failing - 1 &&
                model->IsClearlyOver(quality + 1, quality, bytes.size(), limit))
                failing = quality + 1;
            best = std::move(bytes);
            quality += step;
        } else {
            failing = quality;
            quality -= step;
        }
        // Once a fitting and a failing quality are known, halve what lies between: steps that
        // kept doubling would overshoot to its ends and close in one quality at a time.
        if (fitting >= kMinQuality && failing <= kMaxQuality)
            quality = fitting + (failing - fitting) / 2;
        else
            step *= 2;
        quality = qBound(fitting + 1, quality, failing - 1);
    }
    return best;
}

// Shrinks the picture step by step, always from the original so that the quality loss of
// one step does not carry into the next, until some quality fits.
QByteArray ShrinkUntilFits(const QImage& image, double limit)
{
    double scale = 1.0;
    QByteArray atMinQuality = Encode(image, kMinQuality);
    while (!atMinQuality.isEmpty()) {
        // Encoded size follows the pixel count, so aim at the limit by area, with some
        // headroom, but never shrink by more than half or less than a tenth per step.
        const double step = qBound(0.5, qSqrt(limit / atMinQuality.size()) * 0.95, 0.9);
        scale *= step;
        const QSize size(qMax(1, qRound(image.width() * scale)),
                         qMax(1, qRound(image.height() * scale)));
        const QImage smaller = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QByteArray bytes = BestQualityThatFits(smaller, limit);
        if (!bytes.isEmpty())
            return bytes;
        if (size == QSize(1, 1))
            break;
        atMinQuality = Encode(smaller, kMinQuality);
    }
    return QByteArray();
}

} // namespace

QString PalImageUtils::GetImgContentType(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray head = file.read(kSniffBytes);

    if (StartsWith(head, "\x89PNG\r\n\x1A\n", 8))
        return QStringLiteral("image/png");
    if (IsJpeg(head))
        return QStringLiteral("image/jpeg");
    if (StartsWith(head, "GIF87a", 6) || StartsWith(head, "GIF89a", 6))
        return QStringLiteral("image/gif");
    if (IsBmp(head))
        return QStringLiteral("image/bmp");
    if (StartsWith(head, "RIFF", 4) && StartsWith(head, "WEBP", 4, 8))
        return QStringLiteral("image/webp");
    if (StartsWith(head, "II*\x00", 4) || StartsWith(head, "MM\x00*", 4))
        return QStringLiteral("image/tiff");
    if (IsIcon(head))
        return QStringLiteral("image/x-icon");
    return QString();
}

QByteArray PalImageUtils::ScaleImage(const QString& path, double limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray original = file.readAll();
    file.close();

    if (original.size() <= limit || !IsJpeg(original))
        return original;

    // Nothing fits at all (an absurdly small limit): keep the picture rather than lose it.
    const QByteArray result = FitJpegFile(original, limit);
    if (result.isEmpty())
        return original;

    // Write through a temporary file so that a failed write never leaves a truncated image.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(result) != result.size() || !out.commit())
        return original;
    return result;
}

QByteArray PalImageUtils::FitJpeg(QImage image, double limit)
{
    if (image.isNull())
        return QByteArray();
    if (image.format() == QImage::Format_RGB32)
        image.convertTo(QImage::Format_RGB888);
    QByteArray result = BestQualityThatFits(image, limit);
    if (result.isEmpty())
        result = ShrinkUntilFits(image, limit);
    return result;
}

QByteArray PalImageUtils::FitJpegFile(const QByteArray& file, double limit)
{
    if (std::unique_ptr<JpegPlanes> planes = JpegPlanes::Decode(file)) {
        const QByteArray result = BestQualityThatFits(*planes, limit);
        if (!result.isEmpty())
            return result;
        // Fewer pixels are needed, which only a decoded picture can give.
    }
    return FitJpeg(QImage::fromData(file, "JPEG"), limit);
}

QPixmap PalImageUtils::PixmapToRound(const QPixmap& source, int width, int height, int rx, int ry,
                                     int alpha)
{
    if (source.isNull() || width <= 0 || height <= 0)
        return QPixmap();

    QPixmap scaled = source.scaled(width, height, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    // Sizes here are pixels; a high-DPI source must not be drawn at half its size.
    scaled.setDevicePixelRatio(1.0);
    QPixmap result(width, height);
    result.fill(Qt::transparent);

    // The corners belong to the picture, which is centred when its aspect ratio differs.
    const QRect target((width - scaled.width()) / 2, (height - scaled.height()) / 2, scaled.width(),
                       scaled.height());
    // A textured brush rather than a clip path: clipping is not antialiased, a filled path is.
    QBrush brush(scaled);
    brush.setTransform(QTransform::fromTranslate(target.x(), target.y()));

    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(qBound(0, alpha, 255) / 255.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(brush);
    painter.drawRoundedRect(target, qMax(0, rx), qMax(0, ry));
    return result;
}
