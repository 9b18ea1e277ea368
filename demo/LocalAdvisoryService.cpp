#include "LocalAdvisoryService.h"

#include <QDir>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>

LocalAdvisoryService::LocalAdvisoryService(QObject* parent)
    : QObject(parent), m_process(new QProcess(this)), m_startTimer(new QTimer(this))
{
    // The service's own diagnostics go straight to the host's stderr; its stdout is read
    // for the announcement and then passed on, so that its pipe never fills up.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_startTimer->setSingleShot(true);
    connect(m_process, &QProcess::readyReadStandardOutput, this,
            &LocalAdvisoryService::SlotReadOutput);
    connect(m_process, &QProcess::errorOccurred, this, &LocalAdvisoryService::SlotProcessError);
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &LocalAdvisoryService::SlotFinished);
    connect(m_startTimer, &QTimer::timeout, this, &LocalAdvisoryService::SlotStartTimeout);
}

LocalAdvisoryService::~LocalAdvisoryService()
{
    Stop();
}

void LocalAdvisoryService::Start(const QString& program, const QString& dataDir)
{
    Stop();
    m_bStopping = false;
    m_bFailed = false;
    m_pendingOutput.clear();
    if (!QDir().mkpath(dataDir)) {
        QTimer::singleShot(0, this, [this, dataDir] {
            Fail(QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(dataDir)));
        });
        return;
    }
    const QDir dir(dataDir);
    m_startTimer->start(kStartTimeoutMs);
    m_process->start(program, {QStringLiteral("--port"), QStringLiteral("0"),
                               QStringLiteral("--db"), dir.filePath(QStringLiteral("advisory.db")),
                               QStringLiteral("--data-dir"), dir.filePath(QStringLiteral("data"))});
}

void LocalAdvisoryService::Stop()
{
    m_startTimer->stop();
    m_baseUrl.clear();
    if (m_process->state() == QProcess::NotRunning)
        return;
    // An ending the host asked for is no failure of the service.
    m_bStopping = true;
    m_process->terminate();
    if (!m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

void LocalAdvisoryService::SlotReadOutput()
{
    static const QRegularExpression announce(QStringLiteral("^listening on (https?://\\S+?)/?$"));
    m_pendingOutput += m_process->readAllStandardOutput();
    int end = -1;
    while ((end = m_pendingOutput.indexOf('\n')) >= 0) {
        const QByteArray line = m_pendingOutput.left(end + 1);
        m_pendingOutput.remove(0, end + 1);
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
        if (!m_baseUrl.isEmpty())
            continue;
        const auto match = announce.match(QString::fromUtf8(line).trimmed());
        if (match.hasMatch()) {
            m_baseUrl = match.captured(1);
            m_startTimer->stop();
            emit SigReady(m_baseUrl);
        }
    }
    std::fflush(stderr);
}

void LocalAdvisoryService::SlotProcessError(QProcess::ProcessError error)
{
    if (error == QProcess::FailedToStart)
        Fail(QStringLiteral("%1 did not start: %2")
                 .arg(QDir::toNativeSeparators(m_process->program()), m_process->errorString()));
}

void LocalAdvisoryService::SlotFinished(int exitCode, QProcess::ExitStatus status)
{
    m_baseUrl.clear();
    Fail(status == QProcess::CrashExit
             ? QStringLiteral("advisory-server crashed")
             : QStringLiteral("advisory-server exited with code %1").arg(exitCode));
}

void LocalAdvisoryService::SlotStartTimeout()
{
    Fail(QStringLiteral("advisory-server did not announce its address within %1 s")
             .arg(kStartTimeoutMs / 1000));
    Stop();
}

void LocalAdvisoryService::Fail(const QString& reason)
{
    if (m_bStopping || m_bFailed)
        return;
    m_bFailed = true;
    m_startTimer->stop();
    emit SigFailed(reason);
}
