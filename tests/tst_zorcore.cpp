// The host's core services: the configuration file, the cache and export directories kept
// in it, and the code-tracking log.

#include "ZorCacheManager.h"
#include "ZorCodeTracking.h"
#include "ZorConfigManager.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

namespace {

const QString kCommon = QStringLiteral("common");
const QString kRecordUrl = QStringLiteral("feedback_record_url");

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), qint64(content.size()));
}

QList<QStringList> readLog(const QString& path)
{
    QList<QStringList> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    const QList<QByteArray> raw = file.readAll().split('\n');
    for (const QByteArray& line : raw) {
        if (!line.isEmpty())
            lines.append(QString::fromUtf8(line).split(QLatin1Char('\t')));
    }
    return lines;
}

} // namespace

class TestZorCore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void configSeesExternalChange_data();
    void configSeesExternalChange();
    void configValueSurvivesInFile();
    void configFollowsNewFile();

    void imageCacheDir_data();
    void imageCacheDir();
    void defaultImageCacheDir();
    void exportPathPersisted();

    void trackingAppendsLines();
    void trackingEscapesFields_data();
    void trackingEscapesFields();
    void trackingFromManyThreads();

private:
    QString iniPath() const { return m_dir.filePath(QStringLiteral("config/host.ini")); }

    QTemporaryDir m_dir;
};

void TestZorCore::initTestCase()
{
    // Keeps the default locations away from the user's real directories.
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TestZorCore::init()
{
    QFile::remove(iniPath());
    ZorConfigManager::Instance()->SetConfigFile(iniPath());
}

void TestZorCore::configSeesExternalChange_data()
{
    QTest::addColumn<QByteArray>("external");
    QTest::addColumn<QVariant>("expected");

    const QVariant fallback = QStringLiteral("fallback");
    QTest::newRow("value changed")
        << QByteArray("[common]\nfeedback_record_url=https://b.example/x\n")
        << QVariant(QStringLiteral("https://b.example/x"));
    QTest::newRow("value removed") << QByteArray("[common]\nother=1\n") << fallback;
    QTest::newRow("group removed")
        << QByteArray("[gateway]\nbase_url=http://127.0.0.1:1\n") << fallback;
    QTest::newRow("file emptied") << QByteArray() << fallback;
}

void TestZorCore::configSeesExternalChange()
{
    QFETCH(QByteArray, external);
    QFETCH(QVariant, expected);

    ZorConfigManager* config = ZorConfigManager::Instance();
    config->SetValue(kCommon, kRecordUrl, QStringLiteral("https://a.example/first/value"));
    QCOMPARE(config->GetValue(kCommon, kRecordUrl, QStringLiteral("fallback")).toString(),
             QStringLiteral("https://a.example/first/value"));

    // Another program rewrites the file; the next read must see it. (The contents differ in
    // size from the first, so the change shows even within one file-time tick.)
    writeFile(iniPath(), external);
    QCOMPARE(config->GetValue(kCommon, kRecordUrl, QStringLiteral("fallback")), expected);
}

void TestZorCore::configValueSurvivesInFile()
{
    ZorConfigManager::Instance()->SetValue(QStringLiteral("gateway"), QStringLiteral("base_url"),
                                           QStringLiteral("http://127.0.0.1:8730"));
    const QSettings file(iniPath(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("gateway/base_url")).toString(),
             QStringLiteral("http://127.0.0.1:8730"));

    ZorConfigManager::Instance()->RemoveValue(QStringLiteral("gateway"),
                                              QStringLiteral("base_url"));
    QVERIFY(!ZorConfigManager::Instance()
                 ->GetValue(QStringLiteral("gateway"), QStringLiteral("base_url"))
                 .isValid());
}

void TestZorCore::configFollowsNewFile()
{
    const QString other = m_dir.filePath(QStringLiteral("other/host.ini"));
    ZorConfigManager::Instance()->SetValue(kCommon, kRecordUrl, QStringLiteral("in first"));
    ZorConfigManager::Instance()->SetConfigFile(other);
    QCOMPARE(ZorConfigManager::Instance()->GetConfigFile(), other);
    QVERIFY(!ZorConfigManager::Instance()->GetValue(kCommon, kRecordUrl).isValid());
    ZorConfigManager::Instance()->SetValue(kCommon, kRecordUrl, QStringLiteral("in second"));
    QVERIFY(QFile::exists(other));
}

void TestZorCore::imageCacheDir_data()
{
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("expected");

    QTest::newRow("without separator") << "/var/cache/host/img"
                                       << "/var/cache/host/img/";
    QTest::newRow("with separator") << "/var/cache/host/img/"
                                    << "/var/cache/host/img/";
#ifdef Q_OS_WIN
    QTest::newRow("native separators") << "C:\\Cache\\Img"
                                       << "C:/Cache/Img/";
#endif
    QTest::newRow("surrounding blanks") << "  /srv/img  "
                                        << "/srv/img/";
}

void TestZorCore::imageCacheDir()
{
    QFETCH(QString, configured);
    QFETCH(QString, expected);

    ZorCacheManager::Instance()->SetImageCacheDir(configured);
    QCOMPARE(ZorCacheManager::Instance()->GetImageCacheDir(), expected);
}

void TestZorCore::defaultImageCacheDir()
{
    const QString dir = ZorCacheManager::Instance()->GetImageCacheDir();
    QCOMPARE(dir, QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                      QStringLiteral("/images/"));
}

void TestZorCore::exportPathPersisted()
{
    ZorCacheManager* cache = ZorCacheManager::Instance();
    QCOMPARE(cache->GetDefaultExportPath(),
             QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));

    const QString chosen = m_dir.filePath(QStringLiteral("exports"));
    cache->SetDefaultExportPath(chosen);
    QCOMPARE(cache->GetDefaultExportPath(), chosen);
    // Kept in the configuration file, so the next start of the host finds it.
    const QSettings file(iniPath(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("cache/default_export_path")).toString(), chosen);
}

void TestZorCore::trackingAppendsLines()
{
    const QString log = m_dir.filePath(QStringLiteral("logs/appends.log"));
    ZorCodeTracking::SetLogFilePath(log);
    QCOMPARE(ZorCodeTracking::GetLogFilePath(), log);
    const QSettings config(iniPath(), QSettings::IniFormat);
    QCOMPARE(config.value(QStringLiteral("tracking/log_file")).toString(), log);

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    ZorCodeTracking::Info(QStringLiteral("363"), QStringLiteral("OpenFileForReadFail"),
                          QStringLiteral("cannot open"), 5, QStringLiteral("/tmp/a.png"),
                          QStringLiteral("ZorConsultDialog"));
    ZorCodeTracking::Info(QStringLiteral("364"), QStringLiteral("Second"), QString(), -1, QString(),
                          QString());
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    const QList<QStringList> lines = readLog(log);
    QCOMPARE(lines.size(), 2);
    const QStringList& first = lines.at(0);
    QCOMPARE(first.size(), 7);
    const QDateTime time = QDateTime::fromString(first.at(0), Qt::ISODateWithMs);
    QVERIFY2(time.isValid(), qPrintable(first.at(0)));
    QVERIFY(time >= before && time <= after);
    QCOMPARE(first.mid(1), (QStringList{"363", "OpenFileForReadFail", "cannot open", "5",
                                        "/tmp/a.png", "ZorConsultDialog"}));
    QCOMPARE(lines.at(1).mid(1), (QStringList{"364", "Second", "", "-1", "", ""}));

    // Appended, never rewritten: an entry written later adds a line after these two, and
    // every line, the last one too, is complete.
    ZorCodeTracking::Info(QStringLiteral("365"), QStringLiteral("Third"), QString(), 0, QString(),
                          QString());
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QVERIFY(content.endsWith('\n'));
    QCOMPARE(content.count('\n'), 3);
    QCOMPARE(readLog(log).at(0), first);
}

void TestZorCore::trackingEscapesFields_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("written");

    QTest::newRow("tab") << "a\tb"
                         << "a\\tb";
    QTest::newRow("line break") << "line 1\nline 2"
                                << "line 1\\nline 2";
    QTest::newRow("carriage return") << "a\r\nb"
                                     << "a\\r\\nb";
    QTest::newRow("backslash") << "C:\\path\\n"
                               << "C:\\\\path\\\\n";
    QTest::newRow("non-ASCII") << QStringLiteral("Bild \u00fcbergro\u00df")
                               << QStringLiteral("Bild \u00fcbergro\u00df");
}

void TestZorCore::trackingEscapesFields()
{
    QFETCH(QString, message);
    QFETCH(QString, written);

    const QString log = m_dir.filePath(QStringLiteral("logs/escape-%1.log"))
                            .arg(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-'));
    ZorCodeTracking::SetLogFilePath(log);
    ZorCodeTracking::Info(QStringLiteral("363"), message, message, 0, message, message);
    const QList<QStringList> lines = readLog(log);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.at(0).size(), 7);
    for (int field : {2, 3, 5, 6})
        QCOMPARE(lines.at(0).at(field), written);
}

void TestZorCore::trackingFromManyThreads()
{
    const QString log = m_dir.filePath(QStringLiteral("logs/threads.log"));
    ZorCodeTracking::SetLogFilePath(log);
    constexpr int kThreads = 8;
    constexpr int kEntries = 50;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back(QThread::create([t]() {
            for (int i = 0; i < kEntries; ++i)
                ZorCodeTracking::Info(QStringLiteral("363"), QStringLiteral("thread-%1").arg(t),
                                      QStringLiteral("entry"), i, QString(), QString());
        }));
        threads.back()->start();
    }
    for (auto& thread : threads)
        QVERIFY(thread->wait(30000));

    const QList<QStringList> lines = readLog(log);
    QCOMPARE(lines.size(), kThreads * kEntries);
    QSet<QString> seen;
    for (const QStringList& line : lines) {
        QCOMPARE(line.size(), 7);
        seen.insert(line.at(2) + QLatin1Char('/') + line.at(4));
    }
    QCOMPARE(seen.size(), kThreads * kEntries);
}

QTEST_GUILESS_MAIN(TestZorCore)
#include "tst_zorcore.moc"
