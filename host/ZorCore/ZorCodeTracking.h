#pragma once

#include "zorcore_export.h"

#include <QString>

// The host's code-tracking log: one line per entry, appended to a file whose place the host
// configures ("tracking/log_file"; by default "code-tracking.log" in the application's data
// directory). Safe to call from any thread.
class ZORCORE_EXPORT ZorCodeTracking
{
public:
    // code: three-digit tracking code; key: short event name; message: free text;
    // value: a number attached to the event; extra: free text; location: where it happened.
    static void Info(const QString& code, const QString& key, const QString& message, int value,
                     const QString& extra, const QString& location);

    static QString GetLogFilePath();
    static void SetLogFilePath(const QString& path);
};
