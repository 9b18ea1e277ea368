// Fitting a photo into 1 MiB: the project's fit step against ImageMagick's
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
    double ssim = 0.0;
};

// The project's fit step on a copy of input: the file read, decoded, fitted and rewritten.
Fit ProjectFit(const QString& input, const QString& work, const QImage& picked)
{
    const QByteArray bytes = ReadAll(input);
    QVector<double> times;
    Fit fit;
    for (int run = 0; run < kRuns; ++run) {
        QFile::remove(work);
        if (!WriteFile(work, bytes))
            return Fit();
        QElapsedTimer clock;
        clock.start();
        fit.bytes = PalImageUtils::ScaleImage(work, kCopyLimit);
        times.append(clock.nsecsElapsed() / 1e6);
    }
    fit.ms = Median(times);
    fit.ssim = LumaSsim(picked, QImage::fromData(fit.bytes));
    return fit;
}

// ImageMagick on input, written to out; an empty result (and a message) when it fails.
Fit ImageMagickFit(const QString& convert, const QString& input, const QString& out,
                   const QImage& picked)
{
    QVector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        QFile::remove(out);
        QProcess process;
        QElapsedTimer clock;
        clock.start();
        process.start(convert,
                      {input, QStringLiteral("-define"), QStringLiteral("jpeg:extent=1MB"), out});
        if (!process.waitForFinished(120000) || process.exitCode() != 0) {
            Skip(QStringLiteral("ImageMagick reference"),
                 QStringLiteral("convert failed: ") +
                     QString::fromLocal8Bit(process.readAllStandardError()));
            return Fit();
        }
        times.append(clock.nsecsElapsed() / 1e6);
    }
    Fit fit;
    fit.ms = Median(times);
    fit.bytes = ReadAll(out);
    fit.ssim = LumaSsim(picked, QImage::fromData(fit.bytes));
    return fit;
}

QString Describe(const QByteArray& bytes)
{
    const JpegFacts facts = ReadJpegFacts(bytes);
    return QStringLiteral("%1 bytes, quality %2%3")
        .arg(bytes.size())
        .arg(facts.quality)
        .arg(facts.optimized ? QStringLiteral(", optimised tables") : QString());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    // The photo as picked, and the full-quality copy of it that the fit step was once given.
    const QByteArray photo = JpegWithin(NoisyPhoto(QSize(4000, 3000), 1), 1250000, 95);
    const QImage picked = QImage::fromData(photo);
    const QString photoFile = dir.filePath(QStringLiteral("photo.jpg"));
    const QString copyFile = dir.filePath(QStringLiteral("copy-q100.jpg"));
    if (picked.isNull() || !WriteFile(photoFile, photo) ||
        !WriteFile(copyFile, EncodeJpeg(picked, 100)))
        return 1;
    const QString convert = FindImageMagick();
    std::printf("Fit into %d bytes of a 12 MP photo: file read, decoded, fitted, written "
                "(median of %d runs; SSIM against the photo as picked)\n",
                kCopyLimit, kRuns);
    if (convert.isEmpty()) {
        Skip(QStringLiteral("ImageMagick reference"),
             QStringLiteral("ImageMagick's convert is not installed "
                            "(scripts/install-bench-deps.sh installs it)"));
    }

    const QList<QPair<QString, QString>> inputs = {
        {QStringLiteral("the photo (%1 bytes)").arg(photo.size()), photoFile},
        {QStringLiteral("its q100 copy (%1 bytes)").arg(ReadAll(copyFile).size()), copyFile}};
    bool failed = false;
    for (const auto& input : inputs) {
        std::printf("from %s\n", qPrintable(input.first));
        const Fit project =
            ProjectFit(input.second, dir.filePath(QStringLiteral("project.jpg")), picked);
        if (project.bytes.isEmpty()) {
            failed = true;
            continue;
        }
        if (convert.isEmpty()) {
            std::printf("%-46s  project %9.1f ms  SSIM %.4f  %s\n", "fit step", project.ms,
                        project.ssim, qPrintable(Describe(project.bytes)));
            continue;
        }
        const Fit reference =
            ImageMagickFit(convert, input.second, dir.filePath(QStringLiteral("im.jpg")), picked);
        if (reference.bytes.isEmpty()) {
            failed = true;
            continue;
        }
        Report(QStringLiteral("fit step time"), project.ms, reference.ms, QStringLiteral("ms"),
               0.35, QStringLiteral("ImageMagick"));
        const bool met = project.ssim >= reference.ssim && project.bytes.size() <= kCopyLimit;
        std::printf("%-46s  project %9.4f     ImageMagick %9.4f     (goal >= ImageMagick at <= "
                    "%d bytes: %s)\n",
                    "fit step luma SSIM", project.ssim, reference.ssim, kCopyLimit,
                    met ? "met" : "MISSED");
        Note(QStringLiteral("project: %1; ImageMagick: %2")
                 .arg(Describe(project.bytes), Describe(reference.bytes)));
    }
    return failed ? 1 : 0;
}
