#include "ConsultSubmitDescRequest.h"

#include "KivConsultGlobals.h"

#include <QJsonDocument>
#include <QJsonObject>

ConsultSubmitDescRequest::ConsultSubmitDescRequest(QObject* parent) : IHttpRequestDsm(parent)
{}

void ConsultSubmitDescRequest::SetDescEntity(QSharedPointer<ConsultDescEntity> entity)
{
    m_descEntity = std::move(entity);
}

QSharedPointer<ConsultDescEntity> ConsultSubmitDescRequest::GetDescEntity() const
{
    return m_descEntity;
}

QString ConsultSubmitDescRequest::GetApiName() const
{
    return QString::fromLatin1(g_apiStartAdvisory);
}

QByteArray ConsultSubmitDescRequest::GetBusinessParam() const
{
    // The record travels as a nested object, not as a string holding JSON; its computed
    // fields are evaluated here, when the gateway builds the request. Without a record the
    // service gets an empty one rather than the module crashing.
    const QJsonObject record = m_descEntity ? m_descEntity->ToJsonObject() : QJsonObject();
    const QJsonObject param{{QStringLiteral("param"), record}};
    return QJsonDocument(param).toJson(QJsonDocument::Compact);
}
