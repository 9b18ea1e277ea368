#include "HttpGateway.h"

#include "IHttpRequestDsm.h"
#include "IHttpResponse.h"
#include "ZorConfigManager.h"

#include <QCoreApplication>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace {

const QString kConfigGroup = QStringLiteral("gateway");
const QString kBaseUrlKey = QStringLiteral("base_url");

// Pause before the n-th further attempt after a failed connection, growing with n.
constexpr int kRetryDelayStepMs = 200;

// Failures in which the request certainly never reached the service, so sending it again
// cannot store anything twice.
bool IsConnectionFailure(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
        return true;
    default:
        return false;
    }
}

QString SecondsText(int ms)
{
    return QString::number(ms / 1000.0, 'f', QLocale::FloatingPointShortest);
}

// One request from SendRequest until done has been handed on: its attempts, the timer of
// the running attempt and the outcome. A child of the gateway, so the gateway can cancel
// whatever is still running when it goes away.
class GatewayCall : public QObject
{
    Q_OBJECT
public:
    GatewayCall(HttpGateway* gateway, QNetworkAccessManager* network,
                QSharedPointer<IHttpRequest> request, QSharedPointer<IHttpResponse> response,
                std::function<void()> done, int timeoutMs, int retries)
        : QObject(gateway)
        , m_network(network)
        , m_request(std::move(request))
        , m_response(std::move(response))
        , m_done(std::move(done))
        , m_timeoutMs(timeoutMs)
        , m_retriesLeft(qMax(0, retries))
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &GatewayCall::OnTimer);
    }

    void Start();
    // The gateway is going away: whatever still runs ends as cancelled.
    void Cancel();

private:
    enum class Waiting { Nothing, Reply, RetryPause };

    QString ResolveUrl(QString* problem) const;
    void StartAttempt();
    void OnTimer();
    void OnFinished();
    void Fail(int code, const QString& desc);
    void Complete();

    QNetworkAccessManager* m_network = nullptr;
    QSharedPointer<IHttpRequest> m_request;
    QSharedPointer<IHttpResponse> m_response;
    std::function<void()> m_done;
    int m_timeoutMs = 0;
    int m_retriesLeft = 0;
    int m_attempt = 0;
    QUrl m_url;
    QPointer<QNetworkReply> m_reply;
    QTimer m_timer;
    Waiting m_waiting = Waiting::Nothing;
    bool m_bTimedOut = false;
    bool m_bCompleted = false;
};

} // namespace

QString GatewayCall::ResolveUrl(QString* problem) const
{
    if (!m_request) {
        *problem = HttpGateway::tr("There is no request to send.");
        return {};
    }
    QString address = m_request->GetApiUrl().trimmed();
    if (address.isEmpty()) {
        QString base =
            ZorConfigManager::Instance()->GetValue(kConfigGroup, kBaseUrlKey).toString().trimmed();
        while (base.endsWith(QLatin1Char('/')))
            base.chop(1);
        if (base.isEmpty()) {
            *problem =
                HttpGateway::tr(
                    "The address of the advisory service is not configured (setting \"%1\" in "
                    "group \"%2\" of the host configuration). Check the gateway address.")
                    .arg(kBaseUrlKey, kConfigGroup);
            return {};
        }
        // Requests without an address of their own are gateway API calls, named by API.
        const auto* dsm = dynamic_cast<const IHttpRequestDsm*>(m_request.data());
        const QString api = dsm ? dsm->GetApiName().trimmed() : QString();
        if (api.isEmpty()) {
            *problem = HttpGateway::tr("The request names neither an address nor a gateway API, "
                                       "so it cannot be sent.");
            return {};
        }
        address = base + QLatin1Char('/') + api;
    }
    return address;
}

void GatewayCall::Start()
{
    QString problem;
    const QString address = ResolveUrl(&problem);
    if (!problem.isEmpty()) {
        Fail(HttpErrorCode::Unknown, problem);
        return;
    }
    m_url = QUrl(address, QUrl::StrictMode);
    const QString scheme = m_url.scheme().toLower();
    if (!m_url.isValid() || m_url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        Fail(HttpErrorCode::Unknown,
             HttpGateway::tr("The address of the advisory service, \"%1\", is not a valid http or "
                             "https address. Check the gateway address.")
                 .arg(address));
        return;
    }
    StartAttempt();
}

void GatewayCall::StartAttempt()
{
    ++m_attempt;
    QNetworkRequest request(m_url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    const QString identity = m_request->GetIdentity();
    // Percent-encoded, so no identity can break out of its header line.
    if (!identity.isEmpty())
        request.setRawHeader(QByteArrayLiteral("X-Request-Id"), QUrl::toPercentEncoding(identity));

    QByteArray method = m_request->GetMethodName().trimmed().toUpper().toLatin1();
    if (method.isEmpty())
        method = QByteArrayLiteral("POST");
    const QByteArray body = m_request->GetApiBody();
    QNetworkReply* reply = method == "POST" ? m_network->post(request, body)
                                            : m_network->sendCustomRequest(request, method, body);
    m_reply = reply;
    m_waiting = Waiting::Reply;
    m_bTimedOut = false;
    connect(reply, &QNetworkReply::finished, this, &GatewayCall::OnFinished);
    if (m_timeoutMs > 0)
        m_timer.start(m_timeoutMs);
}

void GatewayCall::OnTimer()
{
    switch (m_waiting) {
    case Waiting::Reply:
        // The abort finishes the reply at once; OnFinished reports the timeout.
        m_bTimedOut = true;
        if (m_reply)
            m_reply->abort();
        break;
    case Waiting::RetryPause:
        StartAttempt();
        break;
    case Waiting::Nothing:
        break;
    }
}

void GatewayCall::OnFinished()
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply || reply != m_reply)
        return;
    m_reply = nullptr;
    m_waiting = Waiting::Nothing;
    m_timer.stop();
    reply->deleteLater();

    if (m_bTimedOut) {
        Fail(HttpErrorCode::Timeout,
             HttpGateway::tr("The advisory service did not answer within %1 seconds. Please try "
                             "again later.")
                 .arg(SecondsText(m_timeoutMs)));
        return;
    }

    const QNetworkReply::NetworkError error = reply->error();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        const int code = status.toInt();
        if (code < 200 || code > 299) {
            const QString reason =
                reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
            Fail(HttpErrorCode::HttpStatus,
                 reason.isEmpty()
                     ? HttpGateway::tr("The advisory service answered with HTTP status %1. "
                                       "Please try again later.")
                           .arg(code)
                     : HttpGateway::tr("The advisory service answered with HTTP status %1 (%2). "
                                       "Please try again later.")
                           .arg(QString::number(code), reason));
            return;
        }
        if (error != QNetworkReply::NoError) {
            Fail(HttpErrorCode::BadReply,
                 HttpGateway::tr("The reply of the advisory service broke off: %1. Please try "
                                 "again later.")
                     .arg(reply->errorString()));
            return;
        }
        if (m_response)
            m_response->SetData(reply->readAll());
        Complete();
        return;
    }

    const QString where = m_url.toString(QUrl::RemoveUserInfo);
    if (IsConnectionFailure(error)) {
        if (m_retriesLeft > 0) {
            --m_retriesLeft;
            m_waiting = Waiting::RetryPause;
            m_timer.start(kRetryDelayStepMs * m_attempt);
            return;
        }
        Fail(HttpErrorCode::ConnectionFailed,
             HttpGateway::tr("Could not connect to the advisory service at %1: %2. Check the "
                             "network connection and the gateway address.")
                 .arg(where, reply->errorString()));
        return;
    }
    // Anything else may have reached the service already, so it is not sent again.
    Fail(HttpErrorCode::ConnectionFailed,
         HttpGateway::tr("The connection to the advisory service at %1 failed: %2. Please try "
                         "again later.")
             .arg(where, reply->errorString()));
}

void GatewayCall::Fail(int code, const QString& desc)
{
    if (m_response)
        m_response->SetNetworkError(code, desc);
    Complete();
}

void GatewayCall::Complete()
{
    if (m_bCompleted)
        return;
    m_bCompleted = true;
    m_waiting = Waiting::Nothing;
    m_timer.stop();
    // Queued on the application object rather than on this call or the gateway: done must
    // still run when the gateway is destroyed before the event loop gets to it. Without an
    // application nothing can run any more, and dropping done releases what it holds.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app,
            [done = std::move(m_done), request = m_request, response = m_response]() {
                if (done)
                    done();
            },
            Qt::QueuedConnection);
    }
    m_done = nullptr;
    deleteLater();
}

void GatewayCall::Cancel()
{
    if (m_bCompleted)
        return;
    if (m_reply) {
        // Disconnected first: the abort would otherwise finish the reply as a failure.
        disconnect(m_reply, nullptr, this, nullptr);
        m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    Fail(HttpErrorCode::Cancelled,
         HttpGateway::tr("The request to the advisory service was cancelled because the "
                         "connection to the service was shut down."));
}

HttpGateway::HttpGateway(QObject* parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this))
{}

HttpGateway::~HttpGateway()
{
    const auto calls = findChildren<GatewayCall*>(QString(), Qt::FindDirectChildrenOnly);
    for (GatewayCall* call : calls)
        call->Cancel();
}

void HttpGateway::SendRequest(QSharedPointer<IHttpRequest> request,
                              QSharedPointer<IHttpResponse> response, std::function<void()> done,
                              int timeoutMs, int retries)
{
    auto* call = new GatewayCall(this, m_network, std::move(request), std::move(response),
                                 std::move(done), timeoutMs, retries);
    call->Start();
}

#include "HttpGateway.moc"
