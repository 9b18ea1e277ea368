#include "DemoOptions.h"

#include "ZorSkin.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

// The demo merchant: a plausible session so that every computed field of a record is filled.
const MerchantFacts kDefaultFacts{20731, QStringLiteral("merchant-demo"), QStringLiteral("3.8.2"),
                                  QStringLiteral("192.168.31.20"),
                                  QStringLiteral("5f1c9e02-7a43-4b8d-9e61-0c2d84a7b3f5")};

} // namespace

bool ParseDemoOptions(const QStringList& arguments, const QString& defaultStateDir,
                      DemoOptions& options, QString& error, QString& help)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Demo host of the problem-feedback module: shows the feedback dialog "
                       "the way the merchant client does.\nWithout --gateway it starts "
                       "advisory-server from its own directory for the time it runs."));
    const QCommandLineOption helpOption = parser.addHelpOption();

    const QCommandLineOption stateDir(
        QStringLiteral("state-dir"),
        QStringLiteral("Directory for the host's configuration, caches, logs and the service's "
                       "database (default: %1).")
            .arg(QDir::toNativeSeparators(defaultStateDir)),
        QStringLiteral("DIR"), defaultStateDir);
    const QCommandLineOption gateway(
        QStringLiteral("gateway"),
        QStringLiteral("Base address of a running advisory service, e.g. http://127.0.0.1:8730; "
                       "no service is started then."),
        QStringLiteral("URL"));
    // Each option of the merchant's facts says its default.
    const auto factOption = [](const QString& name, const QString& what, const QString& valueName,
                               const QString& defaultValue) {
        return QCommandLineOption(name, QStringLiteral("%1 (default %2).").arg(what, defaultValue),
                                  valueName, defaultValue);
    };
    const QCommandLineOption venderId =
        factOption(QStringLiteral("vender-id"), QStringLiteral("The merchant's vender id"),
                   QStringLiteral("N"), QString::number(kDefaultFacts.venderId));
    const QCommandLineOption pin =
        factOption(QStringLiteral("pin"), QStringLiteral("The user's pin"), QStringLiteral("TEXT"),
                   kDefaultFacts.pin);
    const QCommandLineOption appVersion =
        factOption(QStringLiteral("app-version"), QStringLiteral("The client's version"),
                   QStringLiteral("TEXT"), kDefaultFacts.appVersion);
    const QCommandLineOption clientIp =
        factOption(QStringLiteral("client-ip"), QStringLiteral("The client's address"),
                   QStringLiteral("ADDRESS"), kDefaultFacts.clientIp);
    const QCommandLineOption deviceId =
        factOption(QStringLiteral("device-id"), QStringLiteral("The installation's device id"),
                   QStringLiteral("ID"), kDefaultFacts.deviceId);
    const QCommandLineOption browserVersion(
        QStringLiteral("browser-version"),
        QStringLiteral("Browser version the host hands to the dialog."), QStringLiteral("TEXT"),
        QStringLiteral("QtWebEngine/5.15.13"));
    const QCommandLineOption language(
        QStringLiteral("lang"),
        QStringLiteral("Language the host chooses for the feedback module, e.g. zh_CN "
                       "(default: English); the Language menu switches it while the host runs."),
        QStringLiteral("LANGUAGE"));
    const QCommandLineOption skin(
        QStringLiteral("skin"),
        QStringLiteral("The host's skin: %1 (default %2); the Skin menu switches it while the "
                       "host runs.")
            .arg(ZorSkin::SkinNames().join(QStringLiteral(" or ")), ZorSkin::SkinNames().first()),
        QStringLiteral("NAME"), ZorSkin::SkinNames().first());
    const QCommandLineOption script(
        QStringLiteral("script"),
        QStringLiteral("Fill and submit one feedback unattended, print the outcome and exit "
                       "(non-zero with the reason when a step fails)."));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("With --script: where to save the picture of the filled dialog "
                       "(default: screenshot.png in the state directory)."),
        QStringLiteral("FILE"));
    const QCommandLineOption description(
        QStringLiteral("description"), QStringLiteral("With --script: the problem description."),
        QStringLiteral("TEXT"),
        QStringLiteral("The receipt printer stops after the first page of every order."));
    const QCommandLineOption phone(QStringLiteral("phone"),
                                   QStringLiteral("With --script: the telephone number."),
                                   QStringLiteral("DIGITS"), QStringLiteral("13800138000"));
    parser.addOptions({stateDir, gateway, venderId, pin, appVersion, clientIp, deviceId,
                       browserVersion, language, skin, script, screenshot, description, phone});

    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(helpOption)) {
        error.clear();
        help = parser.helpText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error =
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return false;
    }

    bool ok = false;
    options.facts.venderId = parser.value(venderId).toLongLong(&ok);
    if (!ok) {
        error = QStringLiteral("--vender-id needs a whole number, not '%1'")
                    .arg(parser.value(venderId));
        return false;
    }
    options.facts.pin = parser.value(pin);
    options.facts.appVersion = parser.value(appVersion);
    options.facts.clientIp = parser.value(clientIp);
    options.facts.deviceId = parser.value(deviceId);
    options.browserVersion = parser.value(browserVersion);
    options.language = parser.value(language);
    options.stateDir = QDir::cleanPath(QDir(parser.value(stateDir)).absolutePath());

    if (parser.isSet(gateway)) {
        const QUrl url(parser.value(gateway), QUrl::StrictMode);
        const QString scheme = url.scheme();
        if (!url.isValid() || url.host().isEmpty() ||
            (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
            error = QStringLiteral("--gateway needs an http or https address, not '%1'")
                        .arg(parser.value(gateway));
            return false;
        }
        // The derived addresses are appended to it, so no trailing slash may remain.
        QString text = url.toString(QUrl::StripTrailingSlash);
        while (text.endsWith(QLatin1Char('/')))
            text.chop(1);
        options.gatewayUrl = text;
    }

    options.skin = parser.value(skin);
    if (!ZorSkin::SkinNames().contains(options.skin)) {
        error = QStringLiteral("--skin needs one of %1, not '%2'")
                    .arg(ZorSkin::SkinNames().join(QStringLiteral(", ")), options.skin);
        return false;
    }

    options.script = parser.isSet(script);
    options.screenshotPath =
        parser.isSet(screenshot)
            ? QFileInfo(parser.value(screenshot)).absoluteFilePath()
            : QDir(options.stateDir).filePath(QStringLiteral("screenshot.png"));
    options.description = parser.value(description);
    options.phone = parser.value(phone);
    return true;
}
