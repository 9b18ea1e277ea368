#pragma once

#include "zorcore_export.h"

#include <QObject>
#include <QString>

// Where the host keeps cached files and which directory its file dialogs open in. Both are
// kept in the host configuration (group "cache"), so they survive a restart.
class ZORCORE_EXPORT ZorCacheManager : public QObject
{
    Q_OBJECT
public:
    static ZorCacheManager* Instance();

    // Directory for cached images, always ending with a directory separator ("/"), so a
    // file name can be appended directly. Configured by "cache/image_cache_dir"; the
    // default lies in the application's cache location. The directory may not exist yet.
    QString GetImageCacheDir() const;
    void SetImageCacheDir(const QString& dir);

    // Directory the host's file dialogs start in ("cache/default_export_path"); the user's
    // pictures directory until something was chosen.
    QString GetDefaultExportPath() const;
    void SetDefaultExportPath(const QString& path);

private:
    explicit ZorCacheManager(QObject* parent = nullptr);
};
