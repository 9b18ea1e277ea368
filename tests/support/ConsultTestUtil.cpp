#include "ConsultTestUtil.h"

#include "ConsultBusinessTypeEntity.h"
#include "ZorGlobalData.h"

#include <QStringList>

QByteArray ConsultTestUtil::successEnvelope(const QByteArray& data)
{
    return "{\"code\":0,\"msg\":\"\",\"data\":" + data + "}";
}

QString
ConsultTestUtil::describeCategories(const QList<QSharedPointer<ConsultBusinessTypeEntity>>& list)
{
    QStringList parts;
    for (const auto& entity : list) {
        QString text = entity->businessTypeCode + QLatin1Char(':') + entity->businessTypeName;
        if (!entity->children.isEmpty())
            text += QLatin1Char('!');
        const auto children = entity->GetChildren();
        if (!children.isEmpty())
            text += QLatin1Char('(') + describeCategories(children) + QLatin1Char(')');
        parts << text;
    }
    return parts.join(QLatin1Char(','));
}

void ConsultTestUtil::setSession(qint64 venderId, const QString& pin, const QByteArray& appVersion,
                                 const QString& clientIp, const QString& deviceId)
{
    ZorGlobalData* data = ZorGlobalData::Instance();
    data->SetVenderId(venderId);
    data->SetPin(pin);
    data->SetAppVersion(appVersion);
    data->SetClientIp(clientIp);
    data->SetUUID(deviceId);
}

QStringList ConsultTestUtil::recordKeys()
{
    return {QStringLiteral("startBusinessCode1"),
            QStringLiteral("startBusinessName1"),
            QStringLiteral("startBusinessCode2"),
            QStringLiteral("startBusinessName2"),
            QStringLiteral("venderId"),
            QStringLiteral("userId"),
            QStringLiteral("telphone"),
            QStringLiteral("questionDesc"),
            QStringLiteral("files"),
            QStringLiteral("version"),
            QStringLiteral("platform"),
            QStringLiteral("systemName"),
            QStringLiteral("systemVersion"),
            QStringLiteral("ip"),
            QStringLiteral("resolution"),
            QStringLiteral("sourceType"),
            QStringLiteral("browserVersion"),
            QStringLiteral("deviceId")};
}

QByteArray ConsultTestUtil::userIdKey()
{
    return QByteArrayLiteral("quorlendtavishmo");
}
