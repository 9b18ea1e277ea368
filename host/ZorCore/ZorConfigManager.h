#pragma once

#include "zorcore_export.h"

#include <QObject>
#include <QString>
#include <QVariant>

// The host's configuration store: an INI file that the host chooses. Every read goes to
// the file, so a value changed by anyone (another component, another process) is seen at
// the next read.
class ZORCORE_EXPORT ZorConfigManager : public QObject
{
    Q_OBJECT
public:
    static ZorConfigManager* Instance();

    // The INI file behind the store. Until the host sets one, a file named "host.ini" in
    // the application's configuration directory is used.
    void SetConfigFile(const QString& path);
    QString GetConfigFile() const;

    QVariant GetValue(const QString& group, const QString& key,
                      const QVariant& defaultValue = QVariant()) const;
    void SetValue(const QString& group, const QString& key, const QVariant& value);
    void RemoveValue(const QString& group, const QString& key);

private:
    explicit ZorConfigManager(QObject* parent = nullptr);

    QString m_configFile;
};
