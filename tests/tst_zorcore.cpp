// The host's core services: the configuration file and the image cache directory kept in it,
// and the code-tracking log.

#include "ZorCacheManager.h"
#include "ZorCodeTracking.h"
#include "ZorConfigManager.h"

#include <QDateTime>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

namespace {

QList<QStringList> readLog(const QString& path)
{
    QList<QStringList> lines;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QString& line :
             QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts))
            lines.append(line.split(QLatin1Char('\t')));
    }
    return lines;
}

} // namespace

class TestZorCore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void imageCacheDir_data();
    void imageCacheDir();

    void trackingLine_data();
    void trackingLine();
    void trackingFromManyThreads();

private:
    QTemporaryDir m_dir;
};

void TestZorCore::initTestCase()
{
    // Keeps the default locations away from the user's real directories.
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
    ZorConfigManager::Instance()->SetConfigFile(m_dir.filePath(QStringLiteral("host.ini")));
}

void TestZorCore::imageCacheDir_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected");

    // File names are appended to it, so it ends in exactly one separator.
    QTest::newRow("without separator")
        << QByteArray("[cache]\nimage_cache_dir=/var/img\n") << QStringLiteral("/var/img/");
    QTest::newRow("with separator")
        << QByteArray("[cache]\nimage_cache_dir=/var/img/\n") << QStringLiteral("/var/img/");
#ifdef Q_OS_WIN
    QTest::newRow("native separators")
        << QByteArray("[cache]\nimage_cache_dir=C:\\\\Cache\\\\Img\n")
        << QStringLiteral("C:/Cache/Img/");
#endif
    QTest::newRow("not set") << QByteArray("[common]\nother=1\n")
                             << QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                                    QStringLiteral("/images/");
}

void TestZorCore::imageCacheDir()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);

    // The file was read already when another program rewrites it; the next read must see
    // the change. (The first contents are longer than any row's, so the change shows even
    // within one file-time tick.)
    const QString first(100, QLatin1Char('a'));
    ZorCacheManager::Instance()->SetImageCacheDir(first);
    QCOMPARE(ZorCacheManager::Instance()->GetImageCacheDir(), first + QLatin1Char('/'));
    QFile config(ZorConfigManager::Instance()->GetConfigFile());
    QVERIFY(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(config.write(file), qint64(file.size()));
    config.close();
    QCOMPARE(ZorCacheManager::Instance()->GetImageCacheDir(), expected);
}

void TestZorCore::trackingLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("written");

    QTest::newRow("plain") << QString("cannot open") << QString("cannot open");
    // Escaped, so that no text can split a line or a column.
    QTest::newRow("tab") << QString("a\tb") << QString("a\\tb");
    QTest::newRow("line breaks") << QString("line 1\r\nline 2") << QString("line 1\\r\\nline 2");
    QTest::newRow("backslash") << QString("C:\\path\\n") << QString("C:\\\\path\\\\n");
    QTest::newRow("non-ASCII") << QStringLiteral("Bild \u00fcbergro\u00df")
                               << QStringLiteral("Bild \u00fcbergro\u00df");
}

void TestZorCore::trackingLine()
{
    QFETCH(QString, text);
    QFETCH(QString, written);

    const QString log = m_dir.filePath(QStringLiteral("logs/%1.log"))
                            .arg(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-'));
    ZorCodeTracking::SetLogFilePath(log);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    ZorCodeTracking::Info(QStringLiteral("363"), QStringLiteral("key ") + text,
                          QStringLiteral("message ") + text, -5, QStringLiteral("extra ") + text,
                          QStringLiteral("at ") + text);

    const QList<QStringList> lines = readLog(log);
    QCOMPARE(lines.size(), 1);
    const QDateTime time = QDateTime::fromString(lines.at(0).at(0), Qt::ISODateWithMs);
    QVERIFY2(time >= before && time <= before.addSecs(30), qPrintable(lines.at(0).at(0)));
    QCOMPARE(lines.at(0).mid(1), (QStringList{"363", "key " + written, "message " + written, "-5",
                                              "extra " + written, "at " + written}));
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

    // No entry lost, none interleaved with another.
    const QList<QStringList> lines = readLog(log);
    QCOMPARE(lines.size(), kThreads * kEntries);
    for (const QStringList& line : lines)
        QCOMPARE(line.size(), 7);
}

QTEST_GUILESS_MAIN(TestZorCore)
#include "tst_zorcore.moc"
