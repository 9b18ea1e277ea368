#pragma once

#include <QString>

struct MerchantFacts;

// What the host sets up before it loads the module: where its configuration, caches and
// logs live, who the merchant is, and which advisory service its gateway talks to.
namespace HostSetup {

// Puts the host's configuration file, image cache, code-tracking log and Qt's own user
// settings under stateDir, creating it. With bScript the file dialogs start in stateDir too.
bool PrepareStateDir(const QString& stateDir, bool bScript, QString& error);

void ApplyMerchantFacts(const MerchantFacts& facts);

// Points the gateway, the image service and the history page at the service's base address.
void UseAdvisoryService(const QString& baseUrl);

QString ImageUploadUrl(const QString& baseUrl);
QString HistoryPageUrl(const QString& baseUrl);
QString RecordsUrl(const QString& baseUrl);

} // namespace HostSetup
