#include "KivConsultGlobals.h"

const QByteArray g_apiGetBusinessType("dsm.zorapp.service.center.VenderAdvisoryLyn.getBusinessType");
const QByteArray g_apiStartAdvisory("dsm.zorapp.service.center.VenderAdvisoryLyn.startAdvisory");

const QString g_screenShotExecutor = QStringLiteral("PalScreenShotExecutor.exe");

const QString g_trackCodeOpenFileForReadFail = QStringLiteral("363");
const QString g_trackCodeSaveImageFail = QStringLiteral("364");
const QString g_trackCodeUploadImageFail = QStringLiteral("365");
