#pragma once

// Pieces the benchmark programs share: statistics and the printed comparison, generated
// pictures, JPEG facts read from the bytes, picture similarity, peak memory and child runs.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <functional>

namespace Bench {

// Runs per figure; every figure printed is the median of this many.
constexpr int kRuns = 5;
// The byte budget of a saved copy.
constexpr int kCopyLimit = 1048576;
// A chosen file is refused from this many bytes on.
constexpr int kPickLimit = 2097152;

// The median; the mean of the two middle values for an even count, 0 for none.
double Median(QVector<double> values);

// Milliseconds one call of work takes, as the median of runs calls.
double MedianMs(int runs, const std::function<void()>& work);

// One printed comparison: "what: project X unit, reference Y unit, ratio R". With
// goalRatio > 0 the line ends with whether the ratio meets it (ratio <= goal).
void Report(const QString& what, double project, double reference, const QString& unit,
            double goalRatio = 0.0, const QString& referenceName = QString());
// A line of context under a comparison.
void Note(const QString& text);
// The reference of a comparison could not be measured; says why.
void Skip(const QString& what, const QString& reason);

// A camera-like picture: smooth shading with sensor noise of the given amplitude
// (grey levels), the same for the same seed.
QImage NoisyPhoto(const QSize& size, quint32 seed, int noise = 6);
// A drawing: gradients, shapes and lines, nothing noisy (compresses well as PNG).
QImage Illustration(const QSize& size);
// A desktop screenshot: flat panels, rules and text.
QImage Screenshot(const QSize& size);

// The picture as JPEG at the quality, as Qt's writer makes it.
QByteArray EncodeJpeg(const QImage& image, int quality, bool optimized = false,
                      bool progressive = false);
// The picture as JPEG at the highest quality up to maxQuality whose bytes stay within
// limit; empty when none does. The quality found goes to *quality when given.
QByteArray JpegWithin(const QImage& image, int limit, int maxQuality = 100, int* quality = nullptr);
bool WriteFile(const QString& path, const QByteArray& bytes);

// What the bytes of a JPEG say about how it was written.
struct JpegFacts
{
    bool valid = false;
    QSize size;
    // The quality whose luma quantisation table Qt's writer uses; 0 when none matches.
    int quality = 0;
    bool progressive = false;
    // Huffman tables built for this picture rather than the standard ones.
    bool optimized = false;
};
JpegFacts ReadJpegFacts(const QByteArray& bytes);

// Structural similarity of the luma of b to that of a, 8 x 8 windows every 4 pixels;
// b is scaled to a's size first when they differ. 1 for the same picture.
double LumaSsim(const QImage& a, const QImage& b);

// This process's peak resident memory in KiB (VmHWM on Linux); -1 when unknown.
qint64 PeakResidentKiB();
// VmHWM from the text of /proc/<pid>/status; -1 when absent.
qint64 ParsePeakResidentKiB(const QByteArray& status);

// Runs this program again with args and returns the number it printed after "RESULT "
// on a line of its own; NaN (and a message) when the run failed.
double RunChild(const QStringList& args, int timeoutMs = 120000);
// What a child prints for RunChild.
void PrintResult(double value);

// The host's files (configuration, image cache, file-dialog start directory, log) in a
// temporary directory, as the host configures them before it opens the dialog.
class HostFiles
{
public:
    HostFiles();
    bool IsValid() const;
    QString Path(const QString& relative) const;
    // Ends with a separator, as the host's setting does.
    QString ImageCacheDir() const;
    // Removes every saved copy.
    void ClearImageCache() const;

private:
    QTemporaryDir m_dir;
};

// The offscreen platform unless the caller chose one; call before QApplication exists.
void UseOffscreenPlatformByDefault();

} // namespace Bench
