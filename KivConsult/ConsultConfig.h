#pragma once

#include <QString>

// The module's two configured locations, read from the host each time a ConsultConfig is
// built, so a changed setting is seen at the next use.
class ConsultConfig
{
public:
    ConsultConfig();

    // The host's image cache directory, as the host gives it (ending with a separator).
    QString GetImageCacheDir() const;
    // The feedback-record page: "common/feedback_record_url", else the advisory list page.
    QString GetRecordUrl() const;

    static QString DefaultRecordUrl();

private:
    QString imageCacheDir;
    QString recordUrl;
};
