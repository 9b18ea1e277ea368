// Peak resident memory of a process that attaches five 12 MP photos one after another,
// against the same process that only opens the dialog (and its file dialog, cancelled).
// Each figure comes from a fresh child process, since a peak never goes down.

#include "AttachDriver.h"
#include "BenchSupport.h"
#include "ZorConsultDialog.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

using namespace Bench;

namespace {

constexpr int kPhotos = 5;

// Child: opens the dialog, then attaches every photo in dir (none with attach false), and
// prints its peak resident memory in KiB.
int RunChildProcess(const QString& mode, const QString& dir)
{
    HostFiles host;
    if (!host.IsValid())
        return 1;
    QPointer<ZorConsultDialog> dialog = new ZorConsultDialog(nullptr);
    dialog->show();
    AttachDriver driver(dialog);
    if (mode == QLatin1String("attach")) {
        const QStringList photos = QDir(dir).entryList({QStringLiteral("*.jpg")}, QDir::Files);
        for (const QString& photo : photos) {
            const AttachDriver::Outcome outcome = driver.Attach(QDir(dir).filePath(photo));
            if (!outcome.ok) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(photo), qPrintable(outcome.error));
                return 1;
            }
        }
    } else if (!driver.OpenAndCancel()) {
        return 1;
    }
    PrintResult(double(PeakResidentKiB()));
    delete dialog;
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    UseOffscreenPlatformByDefault();
    AttachDriver::UseDrivableFileDialog();
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("--child"))
        return RunChildProcess(args.at(2), args.at(3));

    if (PeakResidentKiB() < 0) {
        Skip(QStringLiteral("peak memory"), QStringLiteral("VmHWM is not available here"));
        return 0;
    }
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    for (int k = 0; k < kPhotos; ++k) {
        const QByteArray photo =
            JpegWithin(NoisyPhoto(QSize(4000, 3000), quint32(k + 1)), 1250000, 95);
        if (photo.isEmpty() ||
            !WriteFile(dir.filePath(QStringLiteral("photo-%1.jpg").arg(k + 1)), photo))
            return 1;
    }

    std::printf("Peak resident memory, %d photos of 12 MP attached in a row (median of %d "
                "processes each)\n",
                kPhotos, kRuns);
    QVector<double> attached;
    QVector<double> alone;
    for (int run = 0; run < kRuns; ++run) {
        // Alternating, so that a change in the machine's load falls on both alike.
        const double a =
            RunChild({QStringLiteral("--child"), QStringLiteral("attach"), dir.path()});
        const double b =
            RunChild({QStringLiteral("--child"), QStringLiteral("dialog"), dir.path()});
        if (std::isnan(a) || std::isnan(b))
            return 1;
        attached.append(a / 1024.0);
        alone.append(b / 1024.0);
    }
    const double project = Median(attached);
    const double reference = Median(alone);
    Report(QStringLiteral("peak memory, five photos"), project, reference, QStringLiteral("MiB"),
           0.0, QStringLiteral("dialog only"));
    const double growth = project - reference;
    std::printf("%-46s  project %9.1f MiB above the dialog alone  (goal <= 60 MiB: %s)\n",
                "peak memory growth", growth, growth <= 60.0 ? "met" : "MISSED");
    return 0;
}
