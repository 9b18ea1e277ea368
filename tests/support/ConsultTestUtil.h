#pragma once

#include <QByteArray>
#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

class ConsultBusinessTypeEntity;

namespace ConsultTestUtil {

// The gateway's envelope of a successful reply around the business data.
QByteArray successEnvelope(const QByteArray& data);

// "code:name(children...)" for each entity, comma separated, at every depth; "!" marks an
// entity whose "children" placeholder property was filled, which must never happen.
QString describeCategories(const QList<QSharedPointer<ConsultBusinessTypeEntity>>& list);

// The feedback record's 18 keys in the order the advisory service documents them.
QStringList recordKeys();

// The key the advisory service decrypts "userId" with.
QByteArray userIdKey();

// Sets the host's session data that the feedback record reports.
void setSession(qint64 venderId, const QString& pin, const QByteArray& appVersion,
                const QString& clientIp, const QString& deviceId);

} // namespace ConsultTestUtil
