#include "ConsultConfig.h"

#include "ZorCacheManager.h"
#include "ZorConfigManager.h"

#include <QVariant>

ConsultConfig::ConsultConfig()
{
    imageCacheDir = ZorCacheManager::Instance()->GetImageCacheDir();
    recordUrl = ZorConfigManager::Instance()
                    ->GetValue(QStringLiteral("common"), QStringLiteral("feedback_record_url"),
                               DefaultRecordUrl())
                    .toString();
}

QString ConsultConfig::GetImageCacheDir() const
{
    return imageCacheDir;
}

QString ConsultConfig::GetRecordUrl() const
{
    return recordUrl;
}

QString ConsultConfig::DefaultRecordUrl()
{
    return QStringLiteral("https://advisory.kivconsult.example/app/advisory/AdvisoryList");
}
