#pragma once

#include "IHttpResponseDsm.h"

#include <QString>

class ConsultSubmitDescResponse : public IHttpResponseDsm
{
    Q_OBJECT
public:
    explicit ConsultSubmitDescResponse(QObject* parent = nullptr);

    // The id the advisory service gave the new feedback; empty unless the reply's data
    // was a string.
    QString GetFeedbackId() const;

    void ParseData(const QJsonValue& data) override;

private:
    QString m_feedbackId;
};
