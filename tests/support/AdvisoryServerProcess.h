#pragma once

#include <QJsonArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// Runs the local advisory service for one test: on a free loopback port, with its
// database and stored images inside a directory the test owns.
class AdvisoryServerProcess
{
public:
    AdvisoryServerProcess() = default;
    ~AdvisoryServerProcess();

    AdvisoryServerProcess(const AdvisoryServerProcess&) = delete;
    AdvisoryServerProcess& operator=(const AdvisoryServerProcess&) = delete;

    // Starts the service with its files under dataDir and any extra arguments
    // (for example "--fault", "<api>=delay:30000"). Returns false, with errorString()
    // set, when it does not announce its address in time.
    bool start(const QString& dataDir, const QStringList& extraArgs = {});
    void stop();
    // Ends the service the hard way (SIGKILL), as a crash would.
    void kill();

    QString baseUrl() const { return m_baseUrl; }
    quint16 port() const { return m_port; }
    qint64 processId() const { return m_process.processId(); }
    QString errorString() const { return m_error; }
    QString programPath() const;

    // The stored feedback records, newest first, as GET /advisory/records gives them.
    QJsonArray records(bool* ok = nullptr) const;

private:
    QProcess m_process;
    QString m_baseUrl;
    QString m_error;
    quint16 m_port = 0;
};
