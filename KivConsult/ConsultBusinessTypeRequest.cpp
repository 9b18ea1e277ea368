#include "ConsultBusinessTypeRequest.h"

#include "KivConsultGlobals.h"
#include "ZorGlobalData.h"

#include <QJsonDocument>
#include <QJsonObject>

ConsultBusinessTypeRequest::ConsultBusinessTypeRequest(QObject* parent) : IHttpRequestDsm(parent)
{}

QString ConsultBusinessTypeRequest::GetApiName() const
{
    return QString::fromLatin1(g_apiGetBusinessType);
}

QByteArray ConsultBusinessTypeRequest::GetBusinessParam() const
{
    // The service expects the vender id as text, not as a JSON number.
    const QJsonObject param{
        {QStringLiteral("venderId"), QString::number(ZorGlobalData::Instance()->GetVenderId())}};
    return QJsonDocument(param).toJson();
}
