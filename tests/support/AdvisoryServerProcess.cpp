#include "AdvisoryServerProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>

AdvisoryServerProcess::~AdvisoryServerProcess()
{
    stop();
}

QString AdvisoryServerProcess::programPath() const
{
    return QStringLiteral(ADVISORY_SERVER_PATH);
}

bool AdvisoryServerProcess::start(const QString& dataDir, const QStringList& extraArgs)
{
    stop();
    QDir().mkpath(dataDir);
    QStringList args{
        QStringLiteral("--port"),     QStringLiteral("0"),
        QStringLiteral("--db"),       QDir(dataDir).filePath(QStringLiteral("advisory.db")),
        QStringLiteral("--data-dir"), QDir(dataDir).filePath(QStringLiteral("data"))};
    args += extraArgs;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(programPath(), args);
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("advisory-server did not start: %1").arg(m_process.errorString());
        return false;
    }
    static const QRegularExpression announce(
        QStringLiteral("^listening on (http://127\\.0\\.0\\.1:(\\d+))"));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(500)) {
            if (m_process.state() != QProcess::Running)
                break;
            continue;
        }
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            const auto match = announce.match(line);
            if (match.hasMatch()) {
                m_baseUrl = match.captured(1);
                m_port = match.captured(2).toUShort();
                return true;
            }
        }
    }
    m_error = QStringLiteral("advisory-server did not announce its address (exit code %1)")
                  .arg(m_process.exitCode());
    stop();
    return false;
}

void AdvisoryServerProcess::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    m_baseUrl.clear();
    m_port = 0;
}

void AdvisoryServerProcess::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
    stop();
}

QJsonArray AdvisoryServerProcess::records(bool* ok) const
{
    if (ok)
        *ok = false;
    if (m_baseUrl.isEmpty())
        return {};
    QNetworkAccessManager manager;
    QNetworkReply* reply =
        manager.get(QNetworkRequest(QUrl(m_baseUrl + QStringLiteral("/advisory/records"))));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    QJsonArray result;
    if (reply->isFinished() && reply->error() == QNetworkReply::NoError) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(reply->readAll(), &error);
        if (error.error == QJsonParseError::NoError && doc.isArray()) {
            result = doc.array();
            if (ok)
                *ok = true;
        }
    }
    reply->abort();
    delete reply;
    return result;
}
