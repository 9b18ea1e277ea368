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
// chosen just before the dialog is accepted.
void AnswerFileDialog(QObject* owner, const QString& file, const std::function<void()>& chosen)
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
        chosen();
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
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    qint64 longestGapAt = 0;
    bool started = false;

    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&]() {
        const qint64 now = clock.nsecsElapsed();
        if (now - lastTick > longestGap) {
            longestGap = now - lastTick;
            longestGapAt = lastTick;
        }
        lastTick = now;
    });

    // The strip announces each copy once it is written; the copy must then be complete.
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    if (!strip) {
        outcome.error = QStringLiteral("the dialog has no attachment strip");
        return outcome;
    }
    QObject::connect(strip, &UploadImageWidget::SigCopySaved, &loop, [&](const QString& path) {
        const qint64 now = clock.nsecsElapsed();
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

    AnswerFileDialog(&loop, file, [&]() {
        started = true;
        clock.start();
        lastTick = 0;
        ticker.start();
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
    outcome.longestStallMs = longestGap / 1e6;
    outcome.longestStallAtMs = longestGapAt / 1e6;
    return outcome;
}

bool AttachDriver::OpenAndCancel(int timeoutMs)
{
    QEventLoop loop;
    bool opened = false;
    AnswerFileDialog(&loop, QString(), []() {});
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
