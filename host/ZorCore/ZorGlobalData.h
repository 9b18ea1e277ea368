#pragma once

#include "zorcore_export.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>

// The host's session data: who the merchant is and what the client computer is. The host
// sets the values after login; components read them whenever they need them. Reads and
// writes are locked, so a value may be set from any thread.
class ZORCORE_EXPORT ZorGlobalData : public QObject
{
    Q_OBJECT
public:
    static ZorGlobalData* Instance();

    qint64 GetVenderId() const;
    void SetVenderId(qint64 venderId);

    QString GetPin() const;
    void SetPin(const QString& pin);

    QByteArray GetAppVersion() const;
    void SetAppVersion(const QByteArray& version);

    QString GetClientIp() const;
    void SetClientIp(const QString& ip);

    // The device id of this installation.
    QString GetUUID() const;
    void SetUUID(const QString& uuid);

private:
    explicit ZorGlobalData(QObject* parent = nullptr);

    mutable QMutex m_mutex;
    qint64 m_venderId = 0;
    QString m_pin;
    QByteArray m_appVersion;
    QString m_clientIp;
    QString m_uuid;
};
