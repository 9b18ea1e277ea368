#pragma once

#include "ConsultImageEntity.h"
#include "PalJsonParserBase.h"

#include <QByteArray>
#include <QList>
#include <QSharedPointer>
#include <QString>

// The feedback record. Besides what the dialog stores, it carries facts about the merchant
// and the client computer that are never stored but computed whenever the record is read
// (serialised): writing them through the property system is accepted and ignored.
class ConsultDescEntity : public PalJsonParserBase
{
    Q_OBJECT
    Q_PROPERTY(long startBusinessCode1 READ GetStartBusinessCode1 WRITE SetStartBusinessCode1)
    Q_PROPERTY(QString startBusinessName1 READ GetStartBusinessName1 WRITE SetStartBusinessName1)
    Q_PROPERTY(long startBusinessCode2 READ GetStartBusinessCode2 WRITE SetStartBusinessCode2)
    Q_PROPERTY(QString startBusinessName2 READ GetStartBusinessName2 WRITE SetStartBusinessName2)
    Q_PROPERTY(QString venderId READ GetVenderId WRITE SetVenderId)
    Q_PROPERTY(QString userId READ GetUserId WRITE SetUserId)
    Q_PROPERTY(QString telphone READ GetTelphone WRITE SetTelphone)
    Q_PROPERTY(QString questionDesc READ GetQuestionDesc WRITE SetQuestionDesc)
    Q_PROPERTY(QByteArray files READ GetFiles WRITE SetFiles)
    Q_PROPERTY(QString version READ GetVersion WRITE SetVersion)
    Q_PROPERTY(int platform READ GetPlatform WRITE SetPlatform)
    Q_PROPERTY(QString systemName READ GetSystemName WRITE SetSystemName)
    Q_PROPERTY(QString systemVersion READ GetSystemVersion WRITE SetSystemVersion)
    Q_PROPERTY(QString ip READ GetIp WRITE SetIp)
    Q_PROPERTY(QString resolution READ GetResolution WRITE SetResolution)
    Q_PROPERTY(QString sourceType READ GetSourceType WRITE SetSourceType)
    Q_PROPERTY(QString browserVersion READ GetBrowserVersion WRITE SetBrowserVersion)
    Q_PROPERTY(QString deviceId READ GetDeviceId)
public:
    explicit ConsultDescEntity(QObject* parent = nullptr);

    long GetStartBusinessCode1() const;
    void SetStartBusinessCode1(long code);
    QString GetStartBusinessName1() const;
    void SetStartBusinessName1(const QString& name);
    long GetStartBusinessCode2() const;
    void SetStartBusinessCode2(long code);
    QString GetStartBusinessName2() const;
    void SetStartBusinessName2(const QString& name);
    QString GetVenderId() const;
    void SetVenderId(const QString&);
    QString GetUserId() const;
    void SetUserId(const QString&);
    QString GetTelphone() const;
    void SetTelphone(const QString& telphone);
    QString GetQuestionDesc() const;
    void SetQuestionDesc(const QString& desc);
    QByteArray GetFiles() const;
    void SetFiles(const QByteArray&);
    QString GetVersion() const;
    void SetVersion(const QString&);
    int GetPlatform() const;
    void SetPlatform(int);
    QString GetSystemName() const;
    void SetSystemName(const QString&);
    QString GetSystemVersion() const;
    void SetSystemVersion(const QString&);
    QString GetIp() const;
    void SetIp(const QString&);
    // "<width>*<height> <scale>%" of the primary screen's available area.
    QString GetResolution() const;
    void SetResolution(const QString&);
    QString GetSourceType() const;
    void SetSourceType(const QString& sourceType);
    QString GetBrowserVersion() const;
    void SetBrowserVersion(const QString& browserVersion);
    QString GetDeviceId() const;

    void SetFileList(const QList<QSharedPointer<ConsultImageEntity>>& list);
    QList<QSharedPointer<ConsultImageEntity>> GetFileList() const;

    bool ParseSpecial(const QString& key, const QJsonValue& value) override;
    bool ToSpecial(const QString& key, QJsonValue& out) const override;

private:
    qint32 m_startBusinessCode1 = 0;
    QString m_startBusinessName1;
    qint32 m_startBusinessCode2 = 0;
    QString m_startBusinessName2;
    QString m_telphone;
    QString m_questionDesc;
    QString m_sourceType;
    QString m_browserVersion;
    QByteArray m_files;
    QList<QSharedPointer<ConsultImageEntity>> m_fileList;
};
