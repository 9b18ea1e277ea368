#include "HostSetup.h"

#include "DemoOptions.h"

#include "ZorCacheManager.h"
#include "ZorCodeTracking.h"
#include "ZorConfigManager.h"
#include "ZorGlobalData.h"

#include <QDir>
#include <QSettings>

namespace HostSetup {

bool PrepareStateDir(const QString& stateDir, bool bScript, QString& error)
{
    const QDir dir(stateDir);
    const QString imageCache = dir.filePath(QStringLiteral("image-cache"));
    if (!QDir().mkpath(imageCache)) {
        error = QStringLiteral("cannot create the state directory %1")
                    .arg(QDir::toNativeSeparators(stateDir));
        return false;
    }
    // Qt keeps the file dialog's history in the user's settings; a scripted run leaves
    // nothing outside its state directory.
    if (bScript) {
        const QString qtSettings = dir.filePath(QStringLiteral("qt-settings"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, qtSettings);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, qtSettings);
    }

    ZorConfigManager::Instance()->SetConfigFile(dir.filePath(QStringLiteral("host.ini")));
    ZorCacheManager::Instance()->SetImageCacheDir(imageCache + QLatin1Char('/'));
    ZorCodeTracking::SetLogFilePath(dir.filePath(QStringLiteral("code-tracking.log")));
    if (bScript)
        ZorCacheManager::Instance()->SetDefaultExportPath(stateDir);
    return true;
}

void ApplyMerchantFacts(const MerchantFacts& facts)
{
    ZorGlobalData* data = ZorGlobalData::Instance();
    data->SetVenderId(facts.venderId);
    data->SetPin(facts.pin);
    data->SetAppVersion(facts.appVersion.toUtf8());
    data->SetClientIp(facts.clientIp);
    data->SetUUID(facts.deviceId);
}

void UseAdvisoryService(const QString& baseUrl)
{
    ZorConfigManager* config = ZorConfigManager::Instance();
    config->SetValue(QStringLiteral("gateway"), QStringLiteral("base_url"), baseUrl);
    config->SetValue(QStringLiteral("image"), QStringLiteral("upload_url"),
                     ImageUploadUrl(baseUrl));
    config->SetValue(QStringLiteral("common"), QStringLiteral("feedback_record_url"),
                     HistoryPageUrl(baseUrl));
}

QString ImageUploadUrl(const QString& baseUrl)
{
    return baseUrl + QStringLiteral("/image/upload");
}

QString HistoryPageUrl(const QString& baseUrl)
{
    return baseUrl + QStringLiteral("/app/advisory/AdvisoryList");
}

QString RecordsUrl(const QString& baseUrl)
{
    return baseUrl + QStringLiteral("/advisory/records");
}

} // namespace HostSetup
