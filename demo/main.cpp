#include "DemoOptions.h"
#include "FeedbackScript.h"
#include "HostLanguage.h"
#include "HostSetup.h"
#include "HostWindow.h"
#include "LocalAdvisoryService.h"
#include "TerminationSignals.h"

#include "KivConsult.h"
#include "ZorSkin.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// A scripted run that hangs (a modal loop nobody closes) must still end, and take the
// service it started with it.
constexpr int kScriptWatchdogMs = 180000;

void PrintLine(FILE* stream, const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("feedback-host"));
    QApplication::setOrganizationName(QStringLiteral("KivConsult"));
    const QString appDir = QCoreApplication::applicationDirPath();

    DemoOptions options;
    QString error;
    QString help;
    if (!ParseDemoOptions(QCoreApplication::arguments(),
                          QDir::cleanPath(appDir + QStringLiteral("/../demo-state")), options,
                          error, help)) {
        if (error.isEmpty()) {
            PrintLine(stdout, help);
            return 0;
        }
        PrintLine(stderr, QStringLiteral("feedback-host: %1 (see --help)").arg(error));
        return 2;
    }

    // The module runs the capture program by its bare name, so the host's own directory,
    // where it is installed, comes first in the search path.
    qputenv("PATH", QDir::toNativeSeparators(appDir).toLocal8Bit() +
                        QDir::listSeparator().toLatin1() + qgetenv("PATH"));
    // A script fills the file dialog's own widgets; a platform's native dialog has none.
    if (options.script)
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);

    HostLanguage language;
    if (!language.Use(options.language)) {
        PrintLine(stderr,
                  QStringLiteral("feedback-host: no translation for --lang %1 (available: en %2)")
                      .arg(options.language, HostLanguage::Available().join(QLatin1Char(' '))));
        return 2;
    }

    if (!HostSetup::PrepareStateDir(options.stateDir, options.script, error)) {
        PrintLine(stderr, QStringLiteral("feedback-host: %1").arg(error));
        return 1;
    }
    PrintLine(
        stdout,
        QStringLiteral("state directory: %1").arg(QDir::toNativeSeparators(options.stateDir)));

    // The host's look is chosen before its first window exists.
    ZorSkin::ChangeSkin(options.skin);

    int exitCode = 0;
    {
        HostWindow window(options.facts, options.browserVersion, !options.script, &language);
        LocalAdvisoryService service;
        std::unique_ptr<FeedbackScript> script;
        TerminationSignals termination;

        // A scripted run may be deep in a step's wait: it ends at once, after the service.
        const auto abortScript = [&](const QString& reason) {
            PrintLine(
                stdout,
                QStringLiteral("FAILED at step '%1': %2").arg(script->GetCurrentStep(), reason));
            service.Stop();
            std::_Exit(1);
        };
        QObject::connect(&termination, &TerminationSignals::SigTerminationRequested, &app,
                         [&](int signalNumber) {
                             if (script)
                                 abortScript(
                                     QStringLiteral("stopped by signal %1").arg(signalNumber));
                             service.Stop();
                             QCoreApplication::exit(128 + signalNumber);
                         });

        const auto begin = [&](const QString& baseUrl, const QString& origin) {
            HostSetup::UseAdvisoryService(baseUrl);
            PrintLine(stdout, QStringLiteral("advisory service: %1 (%2)").arg(baseUrl, origin));
            window.SetServiceDescription(
                QObject::tr("Advisory service: %1 (%2)\nHistory page: %3")
                    .arg(baseUrl, origin, HostSetup::HistoryPageUrl(baseUrl)));
            if (!options.script) {
                window.show();
                return;
            }
            FeedbackScript::Settings settings;
            settings.description = options.description;
            settings.phone = options.phone;
            settings.screenshotPath = options.screenshotPath;
            settings.photoPath = QDir(options.stateDir).filePath(QStringLiteral("photo.jpg"));
            settings.serviceUrl = baseUrl;
            script = std::make_unique<FeedbackScript>(&window, settings);
            QTimer::singleShot(0, &app, [&] { QCoreApplication::exit(script->Run()); });
            QTimer::singleShot(kScriptWatchdogMs, &app, [&] {
                abortScript(QStringLiteral("the script did not end within %1 s")
                                .arg(kScriptWatchdogMs / 1000));
            });
        };

        QObject::connect(&service, &LocalAdvisoryService::SigFailed, &app,
                         [&](const QString& reason) {
                             PrintLine(stderr, QStringLiteral("feedback-host: %1").arg(reason));
                             if (!window.isVisible() && !script) {
                                 if (!options.script)
                                     QMessageBox::critical(nullptr, window.windowTitle(), reason);
                                 else
                                     PrintLine(stdout, QStringLiteral("FAILED at step 'start the "
                                                                      "advisory service': %1")
                                                           .arg(reason));
                                 QCoreApplication::exit(1);
                                 return;
                             }
                             window.SetServiceDescription(
                                 QObject::tr("The advisory service stopped: %1").arg(reason));
                         });
        QObject::connect(
            &service, &LocalAdvisoryService::SigReady, &app, [&](const QString& baseUrl) {
                begin(baseUrl,
                      QObject::tr("started by this host, data in %1")
                          .arg(QDir::toNativeSeparators(
                              QDir(options.stateDir).filePath(QStringLiteral("advisory")))));
            });

        if (!options.gatewayUrl.isEmpty()) {
            begin(options.gatewayUrl, QObject::tr("given with --gateway"));
        } else {
            service.Start(QDir(appDir).filePath(QStringLiteral("advisory-server")),
                          QDir(options.stateDir).filePath(QStringLiteral("advisory")));
        }
        exitCode = QApplication::exec();
    }
    // The dialog went with the window; the module goes last.
    KivConsult::ReleaseInstance();
    return exitCode;
}
