#include "ZorGlobalData.h"

#include <QMutexLocker>

ZorGlobalData::ZorGlobalData(QObject* parent) : QObject(parent)
{}

ZorGlobalData* ZorGlobalData::Instance()
{
    // Never destroyed: records are still serialised while other statics go away.
    static ZorGlobalData* const instance = new ZorGlobalData;
    return instance;
}

qint64 ZorGlobalData::GetVenderId() const
{
    QMutexLocker locker(&m_mutex);
    return m_venderId;
}

void ZorGlobalData::SetVenderId(qint64 venderId)
{
    QMutexLocker locker(&m_mutex);
    m_venderId = venderId;
}

QString ZorGlobalData::GetPin() const
{
    QMutexLocker locker(&m_mutex);
    return m_pin;
}

void ZorGlobalData::SetPin(const QString& pin)
{
    QMutexLocker locker(&m_mutex);
    m_pin = pin;
}

QByteArray ZorGlobalData::GetAppVersion() const
{
    QMutexLocker locker(&m_mutex);
    return m_appVersion;
}

void ZorGlobalData::SetAppVersion(const QByteArray& version)
{
    QMutexLocker locker(&m_mutex);
    m_appVersion = version;
}

QString ZorGlobalData::GetClientIp() const
{
    QMutexLocker locker(&m_mutex);
    return m_clientIp;
}

void ZorGlobalData::SetClientIp(const QString& ip)
{
    QMutexLocker locker(&m_mutex);
    m_clientIp = ip;
}

QString ZorGlobalData::GetUUID() const
{
    QMutexLocker locker(&m_mutex);
    return m_uuid;
}

void ZorGlobalData::SetUUID(const QString& uuid)
{
    QMutexLocker locker(&m_mutex);
    m_uuid = uuid;
}
