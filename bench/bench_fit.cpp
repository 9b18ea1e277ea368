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
    // An ImageMagick installed elsewhere.
    if (!qEnvironmentVariableIsEmpty("KIV_BENCH_CONVERT"))
        candidates = QStringList{qEnvironmentVariable("KIV_BENCH_CONVERT")};
    for (const QString& program : qAsConst(candidates)) {
        QProcess probe;
        probe.start(program, {QStringLiteral("-version")});
        // Only ImageMagick's own banner counts: a stand-in may name it in a message.
        if (probe.waitForFinished(10000) && probe.exitCode() == 0 &&
            probe.readAllStandardOutput().startsWith("Version: ImageMagick "))
            return program;
    }
    return QString();
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One run of the project's fit step on a copy of input: the file read, decoded, fitted and
// rewritten. The elapsed milliseconds go to *ms.
QByteArray ProjectFit(const QByteArray& input, const QString& work, double* ms)
{
    QFile::remove(work);
    if (!WriteFile(work, input))
        return QByteArray();
    QElapsedTimer clock;
    clock.start();
    const QByteArray bytes = PalImageUtils::ScaleImage(work, kCopyLimit);
    *ms = clock.nsecsElapsed() / 1e6;
    return bytes;
}

// One run of ImageMagick on input, written to out; empty (and a message) when it fails.
QByteArray ImageMagickFit(const QString& convert, const QString& input, const QString& out,
                          double* ms)
{
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
        return QByteArray();
    }
    *ms = clock.nsecsElapsed() / 1e6;
    return ReadAll(out);
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
        // Alternating, so that a change in the machine's load falls on both alike.
        const QByteArray inputBytes = ReadAll(input.second);
        QVector<double> projectTimes;
        QVector<double> referenceTimes;
        QByteArray project;
        QByteArray reference;
        for (int run = 0; run < kRuns && !failed; ++run) {
            double ms = 0.0;
            project = ProjectFit(inputBytes, dir.filePath(QStringLiteral("project.jpg")), &ms);
            projectTimes.append(ms);
            failed = project.isEmpty();
            if (failed || convert.isEmpty())
                continue;
            reference =
                ImageMagickFit(convert, input.second, dir.filePath(QStringLiteral("im.jpg")), &ms);
            referenceTimes.append(ms);
            failed = reference.isEmpty();
        }
        if (failed)
            break;
        const double projectSsim = LumaSsim(picked, QImage::fromData(project));
        if (convert.isEmpty()) {
            std::printf("%-46s  project %9.1f ms  SSIM %.4f  %s\n", "fit step",
                        Median(projectTimes), projectSsim, qPrintable(Describe(project)));
            continue;
        }
        const double referenceSsim = LumaSsim(picked, QImage::fromData(reference));
        Report(QStringLiteral("fit step time"), Median(projectTimes), Median(referenceTimes),
               QStringLiteral("ms"), 0.35, QStringLiteral("ImageMagick"));
        const bool met = projectSsim >= referenceSsim && project.size() <= kCopyLimit;
        std::printf("%-46s  project %9.4f     ImageMagick %9.4f     (goal >= ImageMagick at <= "
                    "%d bytes: %s)\n",
                    "fit step luma SSIM", projectSsim, referenceSsim, kCopyLimit,
                    met ? "met" : "MISSED");
        Note(QStringLiteral("project: %1; ImageMagick: %2")
                 .arg(Describe(project), Describe(reference)));
    }
    return failed ? 1 : 0;
}
