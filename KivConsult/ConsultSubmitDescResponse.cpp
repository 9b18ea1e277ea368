#include "ConsultSubmitDescResponse.h"

#include <QJsonValue>

ConsultSubmitDescResponse::ConsultSubmitDescResponse(QObject* parent) : IHttpResponseDsm(parent)
{}

QString ConsultSubmitDescResponse::GetFeedbackId() const
{
    return m_feedbackId;
}

void ConsultSubmitDescResponse::ParseData(const QJsonValue& data)
{
    m_feedbackId = data.isString() ? data.toString() : QString();
}
