#include "ZorConfigManager.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSettings>
#include <QStandardPaths>

namespace {

// Guards the file name only; QSettings serialises access to the file itself.
QMutex s_fileMutex;

// A fresh QSettings per access: it re-reads the file when someone else changed it.
class ScopedSettings
{
public:
    ScopedSettings(const QString& file, const QString& group)
        : m_settings(file, QSettings::IniFormat)
    {
        if (!group.isEmpty())
            m_settings.beginGroup(group);
    }
    QSettings* operator->() { return &m_settings; }

private:
    QSettings m_settings;
};

} // namespace

ZorConfigManager::ZorConfigManager(QObject* parent) : QObject(parent)
{}

ZorConfigManager* ZorConfigManager::Instance()
{
    // Never destroyed: components still read their settings during static destruction.
    static ZorConfigManager* const instance = new ZorConfigManager;
    return instance;
}

void ZorConfigManager::SetConfigFile(const QString& path)
{
    QMutexLocker locker(&s_fileMutex);
    m_configFile = path;
}

QString ZorConfigManager::GetConfigFile() const
{
    QMutexLocker locker(&s_fileMutex);
    if (!m_configFile.isEmpty())
        return m_configFile;
    // Decided at each call: the host may name its application after the first use.
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
           QStringLiteral("/host.ini");
}

QVariant ZorConfigManager::GetValue(const QString& group, const QString& key,
                                    const QVariant& defaultValue) const
{
    ScopedSettings settings(GetConfigFile(), group);
    return settings->value(key, defaultValue);
}

void ZorConfigManager::SetValue(const QString& group, const QString& key, const QVariant& value)
{
    const QString file = GetConfigFile();
    QDir().mkpath(QFileInfo(file).absolutePath());
    ScopedSettings settings(file, group);
    settings->setValue(key, value);
}

void ZorConfigManager::RemoveValue(const QString& group, const QString& key)
{
    ScopedSettings settings(GetConfigFile(), group);
    settings->remove(key);
}
