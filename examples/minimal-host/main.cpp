// A host in its smallest form: it tells the module where the advisory service is and who the
// merchant is, opens the feedback dialog from a button and prints each submitted feedback id.
// With --check it opens the dialog at once and exits 0 when the dialog is on screen, 1 if not.
#include "KivConsult.h"
#include "ZorConfigManager.h"
#include "ZorGlobalData.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);

    const QString service = QStringLiteral("http://127.0.0.1:8730");
    ZorConfigManager* config = ZorConfigManager::Instance();
    config->SetValue(QStringLiteral("gateway"), QStringLiteral("base_url"), service);
    config->SetValue(QStringLiteral("image"), QStringLiteral("upload_url"),
                     service + QStringLiteral("/image/upload"));
    ZorGlobalData::Instance()->SetVenderId(1001);

    QPushButton window(QStringLiteral("Problem feedback..."));
    KivConsult* feedback = KivConsult::Instance();
    QObject::connect(feedback, &KivConsult::SigSubmitSuccess, [](const QString& id) {
        std::printf("feedback %s submitted\n", qPrintable(id));
    });
    // The fixed category list needs no service until the user submits.
    QObject::connect(&window, &QPushButton::clicked, [&] {
        feedback->ShowFeedbackDlg(&window, KivConsult::SourceOtherProblem, QString());
    });
    window.show();

    if (app.arguments().contains(QStringLiteral("--check"))) {
        window.click();
        QTimer::singleShot(0, [&] {
            const auto* dialog = window.findChild<QWidget*>(QStringLiteral("ZorConsultDialog"));
            std::printf("feedback dialog %s\n",
                        dialog && dialog->isVisible() ? "shown" : "missing");
            app.exit(dialog && dialog->isVisible() ? 0 : 1);
        });
    }
    const int code = app.exec();
    KivConsult::ReleaseInstance();
    return code;
}
