// Fitting a photo's copy into 1 MiB: the project's fit step against ImageMagick's
// `convert -define jpeg:extent=1MB` on the same file, by time, bytes and luma SSIM against
// the picture the user attached.

#include "BenchSupport.h"
#include "PalImageUtils.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using namespace Bench;

namespace {

// ImageMagick's convert, if installed; other programs answer to that name too, so it must
// say what it is.
QString FindImageMagick()
{
    QStringList candidates = {QStringLiteral("/usr/bin/convert"),
                              QStringLiteral("/usr/bin/convert-im6.q16")};
    const QString inPath = QStandardPaths::findExecutable(QStringLiteral("convert"));
    if (!inPath.isEmpty())
        candidates.append(inPath);
    for (const QString& program : qAsConst(candidates)) {
        QProcess probe;
        probe.start(program, {QStringLiteral("-version")});
        if (probe.waitForFinished(10000) && probe.exitCode() == 0 &&
            probe.readAllStandardOutput().contains("ImageMagick"))
            return program;
    }
    return QString();
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Fit
{
    double ms = 0.0;
    QByteArray bytes;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    // The photo as picked, then the full-quality copy the fit step is given.
    const QImage picked =
        QImage::fromData(JpegWithin(NoisyPhoto(QSize(4000, 3000), 1), 1250000, 95));
    const QString input = dir.filePath(QStringLiteral("copy-q100.jpg"));
    if (picked.isNull() || !WriteFile(input, EncodeJpeg(picked, 100)))
        return 1;
    const QByteArray inputBytes = ReadAll(input);
    std::printf("Fit of a 12 MP photo's copy (%d bytes) into %d bytes (median of %d runs)\n",
                inputBytes.size(), kCopyLimit, kRuns);

    Fit project;
    {
        QVector<double> times;
        for (int run = 0; run < kRuns; ++run) {
            const QString work = dir.filePath(QStringLiteral("project.jpg"));
            QFile::remove(work);
            if (!WriteFile(work, inputBytes))
                return 1;
            QElapsedTimer clock;
            clock.start();
            project.bytes = PalImageUtils::ScaleImage(work, kCopyLimit);
            times.append(clock.nsecsElapsed() / 1e6);
        }
        project.ms = Median(times);
    }
    const double projectSsim = LumaSsim(picked, QImage::fromData(project.bytes));

    const QString convert = FindImageMagick();
    if (convert.isEmpty()) {
        std::printf("fit step  project %9.1f ms  %d bytes  SSIM %.4f\n", project.ms,
                    project.bytes.size(), projectSsim);
        Skip(QStringLiteral("ImageMagick reference"),
             QStringLiteral(
                 "ImageMagick's convert is not installed (scripts/install-bench-deps.sh)"));
        return 0;
    }

    Fit reference;
    {
        const QString out = dir.filePath(QStringLiteral("imagemagick.jpg"));
        QVector<double> times;
        for (int run = 0; run < kRuns; ++run) {
            QFile::remove(out);
            QProcess process;
            QElapsedTimer clock;
            clock.start();
            process.start(convert, {input, QStringLiteral("-define"),
                                    QStringLiteral("jpeg:extent=1MB"), out});
            if (!process.waitForFinished(120000) || process.exitCode() != 0) {
                Skip(QStringLiteral("ImageMagick reference"),
                     QStringLiteral("convert failed: ") +
                         QString::fromLocal8Bit(process.readAllStandardError()));
                return 1;
            }
            times.append(clock.nsecsElapsed() / 1e6);
        }
        reference.ms = Median(times);
        reference.bytes = ReadAll(out);
    }
    const double referenceSsim = LumaSsim(picked, QImage::fromData(reference.bytes));

    Report(QStringLiteral("fit step time"), project.ms, reference.ms, QStringLiteral("ms"), 0.35,
           QStringLiteral("ImageMagick"));
    Report(QStringLiteral("fit step bytes"), project.bytes.size() / 1024.0,
           reference.bytes.size() / 1024.0, QStringLiteral("KiB"), 0.0,
           QStringLiteral("ImageMagick"));
    const JpegFacts projectFacts = ReadJpegFacts(project.bytes);
    const JpegFacts referenceFacts = ReadJpegFacts(reference.bytes);
    const bool met = projectSsim >= referenceSsim && project.bytes.size() <= kCopyLimit;
    std::printf("%-46s  project %9.4f     ImageMagick %9.4f     (goal >= ImageMagick at <= %d "
                "bytes: %s)\n",
                "fit step luma SSIM", projectSsim, referenceSsim, kCopyLimit,
                met ? "met" : "MISSED");
    Note(QStringLiteral("project: %1 bytes, quality %2%3; ImageMagick: %4 bytes, quality %5%6")
             .arg(project.bytes.size())
             .arg(projectFacts.quality)
             .arg(projectFacts.optimized ? QStringLiteral(", optimised tables") : QString())
             .arg(reference.bytes.size())
             .arg(referenceFacts.quality)
             .arg(referenceFacts.optimized ? QStringLiteral(", optimised tables") : QString()));
    return 0;
}
