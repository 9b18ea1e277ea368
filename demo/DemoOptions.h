#pragma once

#include <QString>
#include <QStringList>

// Who the merchant is and what the client computer is, as the host knows it after login.
struct MerchantFacts
{
    qint64 venderId = 0;
    QString pin;
    QString appVersion;
    QString clientIp;
    QString deviceId;
};

struct DemoOptions
{
    MerchantFacts facts;
    QString browserVersion;
    // Where the host keeps its configuration, caches, logs and (when it starts one) the
    // advisory service's database.
    QString stateDir;
    // Base address of a running advisory service; empty: the host starts its own.
    QString gatewayUrl;
    // The host's skin at start ("light" or "dark").
    QString skin;

    // The language the host starts in ("zh_CN"); empty: the source texts (English).
    QString language;

    bool script = false;
    QString screenshotPath;
    QString description;
    QString phone;
};

// Reads the command line (arguments()[0] being the program). On a bad option, returns
// false with error set; on --help, returns false with error empty and help set.
bool ParseDemoOptions(const QStringList& arguments, const QString& defaultStateDir,
                      DemoOptions& options, QString& error, QString& help);
