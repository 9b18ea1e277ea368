#pragma once

// Module-wide constants, built when the module is loaded.
#include <QByteArray>
#include <QString>

// Gateway APIs of the advisory service.
extern const QByteArray g_apiGetBusinessType;
extern const QByteArray g_apiStartAdvisory;

// The external screen capture program, looked up the way the system finds programs.
extern const QString g_screenShotExecutor;

// Three-digit code-tracking codes of the module.
extern const QString g_trackCodeOpenFileForReadFail; // "363"
extern const QString g_trackCodeSaveImageFail;
extern const QString g_trackCodeUploadImageFail;

// Gateway notifications the consult logic dispatches.
enum ConsultMessageId : int {
    MSG_CONSULT_BUSINESS_TYPE = 20000, // the category query has ended
    MSG_CONSULT_SUBMIT_DESC = 20001,   // a feedback submission has ended
};
