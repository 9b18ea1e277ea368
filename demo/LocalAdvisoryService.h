#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>

class QTimer;

// advisory-server as a child of the host: started on a free loopback port with its files in
// a directory of the host's, announced by its "listening on <address>" line, and stopped
// when the host goes.
class LocalAdvisoryService : public QObject
{
    Q_OBJECT
public:
    explicit LocalAdvisoryService(QObject* parent = nullptr);
    ~LocalAdvisoryService() override;

    // Returns at once. SigReady follows once the service has announced its address;
    // SigFailed, at most once, when it could not start or later ended by itself.
    void Start(const QString& program, const QString& dataDir);
    void Stop();
    QString BaseUrl() const { return m_baseUrl; }

    // How long the service may take to announce its address.
    static constexpr int kStartTimeoutMs = 15000;

signals:
    void SigReady(const QString& baseUrl);
    void SigFailed(const QString& reason);

private slots:
    void SlotReadOutput();
    void SlotProcessError(QProcess::ProcessError error);
    void SlotFinished(int exitCode, QProcess::ExitStatus status);
    void SlotStartTimeout();

private:
    void Fail(const QString& reason);

    QProcess* m_process = nullptr;
    QTimer* m_startTimer = nullptr;
    QByteArray m_pendingOutput;
    QString m_baseUrl;
    bool m_bStopping = false;
    bool m_bFailed = false;
};
