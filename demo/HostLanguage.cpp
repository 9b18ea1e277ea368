#include "HostLanguage.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>

namespace {

const QString kCatalogueDir = QStringLiteral(":/translations");
const QString kCataloguePrefix = QStringLiteral("kivconsult_");

QString CataloguePath(const QString& language)
{
    return QStringLiteral("%1/%2%3.qm").arg(kCatalogueDir, kCataloguePrefix, language);
}

} // namespace

HostLanguage::HostLanguage(QObject* parent) : QObject(parent)
{}

HostLanguage::~HostLanguage()
{
    QCoreApplication::removeTranslator(&m_module);
    QCoreApplication::removeTranslator(&m_qt);
}

QStringList HostLanguage::Available()
{
    QStringList languages;
    const QStringList files =
        QDir(kCatalogueDir).entryList({kCataloguePrefix + QStringLiteral("*.qm")}, QDir::Files);
    for (const QString& file : files)
        languages << file.mid(kCataloguePrefix.size()).chopped(3);
    return languages;
}

bool HostLanguage::Use(const QString& language)
{
    const bool bSource = language.isEmpty() || language == QLatin1String("en");
    if (!bSource && !Available().contains(language))
        return false;
    if ((bSource && m_current.isEmpty()) || language == m_current)
        return true;

    QCoreApplication::removeTranslator(&m_module);
    QCoreApplication::removeTranslator(&m_qt);
    m_current.clear();
    if (!bSource) {
        if (!m_module.load(CataloguePath(language)))
            return false;
        // Qt's own texts are a nicety: a system without them still shows the module's.
        if (m_qt.load(QLocale(language), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(&m_qt);
        QCoreApplication::installTranslator(&m_module);
        m_current = language;
    }
    emit SigLanguageChanged(m_current);
    return true;
}
