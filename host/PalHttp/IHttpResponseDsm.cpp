#include "IHttpResponseDsm.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace {

// The envelope's "code" when it is a whole number that fits an int.
bool ReadCode(const QJsonObject& envelope, int* code)
{
    const QJsonValue value = envelope.value(QStringLiteral("code"));
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (std::trunc(d) != d || d < std::numeric_limits<int>::min() ||
        d > std::numeric_limits<int>::max())
        return false;
    *code = int(d);
    return true;
}

} // namespace

IHttpResponseDsm::IHttpResponseDsm(QObject* parent) : QObject(parent)
{}

IHttpResponseDsm::~IHttpResponseDsm() = default;

void IHttpResponseDsm::SetData(const QByteArray& data)
{
    DoReset();
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        SetError(HttpErrorCode::BadReply,
                 QCoreApplication::translate(
                     "IHttpResponseDsm",
                     "The advisory service sent a reply that could not be read (%1 at offset "
                     "%2). Please try again later.")
                     .arg(parseError.errorString(), QString::number(parseError.offset)));
        return;
    }
    if (!document.isObject()) {
        SetError(HttpErrorCode::BadReply,
                 QCoreApplication::translate(
                     "IHttpResponseDsm",
                     "The advisory service sent a reply of an unexpected form (not a JSON "
                     "object). Please try again later."));
        return;
    }
    const QJsonObject envelope = document.object();
    int code = 0;
    if (!ReadCode(envelope, &code)) {
        SetError(HttpErrorCode::BadReply,
                 QCoreApplication::translate(
                     "IHttpResponseDsm",
                     "The advisory service sent a reply without a result code. Please try "
                     "again later."));
        return;
    }
    if (code != GetSuccessCode()) {
        const QString message = envelope.value(QStringLiteral("msg")).toString().trimmed();
        SetError(
            code,
            message.isEmpty()
                ? QCoreApplication::translate("IHttpResponseDsm",
                                              "The advisory service refused the request (code %1).")
                      .arg(code)
                // One pass, so a "%1" inside the message stays as it is.
                : QCoreApplication::translate(
                      "IHttpResponseDsm", "The advisory service refused the request: %1 (code %2)")
                      .arg(message, QString::number(code)));
        return;
    }
    m_bSuccess = true;
    m_errorCode = code;
    ParseBusinessData(envelope);
}

bool IHttpResponseDsm::IsSuccess() const
{
    return m_bSuccess;
}

int IHttpResponseDsm::GetErrorCode() const
{
    return m_errorCode;
}

QString IHttpResponseDsm::GetErrorDesc() const
{
    return m_errorDesc;
}

bool IHttpResponseDsm::ShouldRetry() const
{
    return !m_bSuccess && m_errorCode == HttpErrorCode::ConnectionFailed;
}

void IHttpResponseDsm::DoReset()
{
    m_bSuccess = false;
    m_errorCode = HttpErrorCode::Unknown;
    m_errorDesc.clear();
}

int IHttpResponseDsm::GetSuccessCode() const
{
    return 0;
}

void IHttpResponseDsm::SetNetworkError(int code, const QString& desc)
{
    SetError(code, desc);
}

void IHttpResponseDsm::ParseData(const QJsonValue&)
{}

void IHttpResponseDsm::ParseBusinessData(const QJsonValue& envelope)
{
    ParseData(envelope.toObject().value(QStringLiteral("data")));
}

void IHttpResponseDsm::SetError(int code, const QString& desc)
{
    m_bSuccess = false;
    m_errorCode = code;
    m_errorDesc = desc;
}
