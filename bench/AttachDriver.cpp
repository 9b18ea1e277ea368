#include "AttachDriver.h"

#include "BenchSupport.h"
#include "UploadImageWidget.h"
#include "ZorToast.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

namespace Bench {

namespace {

// Answers the next modal file dialog: chooses file (cancels when it is empty) and calls
// chosen with the dialog just before it is accepted.
void AnswerFileDialog(QObject* owner, const QString& file,
                      const std::function<void(QFileDialog*)>& chosen)
{
    auto* poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, file, chosen]() {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        if (file.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(file);
        chosen(dialog);
        // QFileDialog::accept checks the choice; it is public as QDialog's.
        static_cast<QDialog*>(dialog)->accept();
    });
    poll->start(2);
}

} // namespace

void AttachDriver::UseDrivableFileDialog()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

AttachDriver::AttachDriver(QWidget* dialog) : m_dialog(dialog)
{}

AttachDriver::Outcome AttachDriver::Attach(const QString& file, int timeoutMs)
{
    Outcome outcome;
    QEventLoop loop;
    QElapsedTimer clock;
    // Two watches over the same ticks: one from the choice, one from the moment Qt's file
    // dialog is gone and the module's own work begins.
    struct Watch
    {
        qint64 lastTick = -1;
        qint64 longestGap = 0;
        qint64 longestGapAt = 0;
        void Tick(qint64 now)
        {
            if (lastTick < 0)
                return;
            if (now - lastTick > longestGap) {
                longestGap = now - lastTick;
                longestGapAt = lastTick;
            }
            lastTick = now;
        }
    };
    Watch fromChoice;
    Watch afterFileDialog;
    bool started = false;

    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&]() {
        const qint64 now = clock.nsecsElapsed();
        fromChoice.Tick(now);
        afterFileDialog.Tick(now);
    });

    // The strip announces each copy once it is written; the copy must then be complete.
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    if (!strip) {
        outcome.error = QStringLiteral("the dialog has no attachment strip");
        return outcome;
    }
    QObject::connect(strip, &UploadImageWidget::SigCopySaved, &loop, [&](const QString& path) {
        const qint64 now = clock.nsecsElapsed();
        fromChoice.Tick(now);
        afterFileDialog.Tick(now);
        const QFileInfo info(path);
        if (!info.exists() || info.size() == 0 || info.size() > kCopyLimit) {
            outcome.error = QStringLiteral("copy %1 reported saved with %2 bytes")
                                .arg(path)
                                .arg(info.exists() ? info.size() : -1);
        } else {
            outcome.ok = true;
            outcome.totalMs = now / 1e6;
            outcome.savedPath = path;
        }
        loop.quit();
    });

    QObject::connect(ZorToastNotifier::Instance(), &ZorToastNotifier::SigToastShown, &loop,
                     [&](const QString& text) {
                         outcome.error = QStringLiteral("refused: ") + text;
                         loop.quit();
                     });

    AnswerFileDialog(&loop, file, [&](QFileDialog* dialog) {
        started = true;
        clock.start();
        fromChoice.lastTick = 0;
        ticker.start();
        // Emitted at the very end of the dialog's destruction, as the module's code resumes.
        QObject::connect(dialog, &QObject::destroyed, &loop,
                         [&]() { afterFileDialog.lastTick = clock.nsecsElapsed(); });
    });
    QTimer::singleShot(timeoutMs, &loop, [&]() {
        outcome.error = QStringLiteral("no saved copy within %1 ms").arg(timeoutMs);
        loop.quit();
    });
    QMetaObject::invokeMethod(m_dialog, "SlotUploadClicked", Qt::QueuedConnection);
    loop.exec();
    ticker.stop();

    if (!started && outcome.error.isEmpty())
        outcome.error = QStringLiteral("the file dialog never opened");
    outcome.longestStallMs = fromChoice.longestGap / 1e6;
    outcome.longestStallAtMs = fromChoice.longestGapAt / 1e6;
    outcome.longestModuleStallMs = afterFileDialog.longestGap / 1e6;
    return outcome;
}

bool AttachDriver::OpenAndCancel(int timeoutMs)
{
    QEventLoop loop;
    bool opened = false;
    AnswerFileDialog(&loop, QString(), [](QFileDialog*) {});
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QTimer::singleShot(0, m_dialog, [this, &loop, &opened]() {
        QMetaObject::invokeMethod(m_dialog, "SlotUploadClicked", Qt::DirectConnection);
        opened = true;
        loop.quit();
    });
    loop.exec();
    return opened;
}

} // namespace Bench
