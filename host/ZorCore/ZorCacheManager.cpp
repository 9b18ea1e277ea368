#include "ZorCacheManager.h"

#include "ZorConfigManager.h"

#include <QDir>
#include <QStandardPaths>

namespace {

const QString kGroup = QStringLiteral("cache");
const QString kImageCacheDirKey = QStringLiteral("image_cache_dir");
const QString kExportPathKey = QStringLiteral("default_export_path");

} // namespace

ZorCacheManager::ZorCacheManager(QObject* parent) : QObject(parent)
{}

ZorCacheManager* ZorCacheManager::Instance()
{
    // Never destroyed, like the configuration it reads.
    static ZorCacheManager* const instance = new ZorCacheManager;
    return instance;
}

QString ZorCacheManager::GetImageCacheDir() const
{
    QString dir = QDir::fromNativeSeparators(
        ZorConfigManager::Instance()->GetValue(kGroup, kImageCacheDirKey).toString().trimmed());
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
              QStringLiteral("/images");
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

void ZorCacheManager::SetImageCacheDir(const QString& dir)
{
    ZorConfigManager::Instance()->SetValue(kGroup, kImageCacheDirKey, dir);
}

QString ZorCacheManager::GetDefaultExportPath() const
{
    const QString path = ZorConfigManager::Instance()->GetValue(kGroup, kExportPathKey).toString();
    if (!path.isEmpty())
        return path;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return pictures.isEmpty() ? QDir::homePath() : pictures;
}

void ZorCacheManager::SetDefaultExportPath(const QString& path)
{
    ZorConfigManager::Instance()->SetValue(kGroup, kExportPathKey, path);
}
