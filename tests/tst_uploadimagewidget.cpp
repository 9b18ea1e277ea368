// The attachment strip: the state it reports while thumbnails come and go, and the uploads
// it starts, retries and reports, against the host's image service and advisory-server.

#include "AdvisoryServerProcess.h"
#include "ConsultImageEntity.h"
#include "ConsultSubmitDescResponse.h"
#include "HttpNotifyManager.h"
#include "IHttpResponse.h"
#include "ImageUploadResponse.h"
#include "NotificationRecorder.h"
#include "TestMessageHandler.h"
#include "UploadImageLabel.h"
#include "UploadImageWidget.h"
#include "ZorCacheManager.h"
#include "ZorConfigManager.h"
#include "ZorImageLogic.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QScopedPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kUploadMessage = ZorImageLogic::kUploadFinishedMessage;
// Generous: a loaded CI machine.
constexpr int kWaitMs = 30000;

QVariantList arguments(const QSignalSpy& spy)
{
    QVariantList values;
    for (const QList<QVariant>& call : spy)
        values << call.at(0);
    return values;
}

QString pathOf(const NotificationRecorder::Notification& notification)
{
    const auto* response = dynamic_cast<ImageUploadResponse*>(notification.response.data());
    return response ? response->GetFilePath() : QStringLiteral("<not an image upload>");
}

} // namespace

Q_DECLARE_METATYPE(QSharedPointer<IHttpResponse>)

class TestUploadImageWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void stateSignals_data();
    void stateSignals();
    void thumbnailsComeAndGo();
    void notificationNotForUs_data();
    void notificationNotForUs();
    void failedUploadIsRetriedAlone();
    void stopsObservingWhenDestroyed();

private:
    // Adds a thumbnail for the file and waits until it has saved its copy.
    UploadImageLabel* addLoaded(UploadImageWidget& strip, const QString& path);
    static void clickDelete(UploadImageLabel* label);

    QTemporaryDir m_dir;
    QString m_png;
    QScopedPointer<QTemporaryDir> m_serverDir;
    AdvisoryServerProcess m_server;
    QScopedPointer<NotificationRecorder> m_recorder;
};

void TestUploadImageWidget::initTestCase()
{
    TestMessageHandler::install();
    QVERIFY(m_dir.isValid());
    ZorConfigManager::Instance()->SetConfigFile(m_dir.filePath(QStringLiteral("host.ini")));
    ZorCacheManager::Instance()->SetImageCacheDir(m_dir.filePath(QStringLiteral("cache/")));

    QImage picture(80, 60, QImage::Format_RGB32);
    picture.fill(QColor(200, 90, 40));
    m_png = m_dir.filePath(QStringLiteral("picture.png"));
    QVERIFY(picture.save(m_png, "PNG"));
}

void TestUploadImageWidget::init()
{
    m_recorder.reset(new NotificationRecorder({kUploadMessage}));
}

void TestUploadImageWidget::cleanup()
{
    m_server.stop();
    m_recorder.reset();
    ZorConfigManager::Instance()->RemoveValue(QStringLiteral("image"),
                                              QStringLiteral("upload_url"));
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

UploadImageLabel* TestUploadImageWidget::addLoaded(UploadImageWidget& strip, const QString& path)
{
    strip.AddImage(false, path);
    UploadImageLabel* label =
        strip.findChildren<UploadImageLabel*>(QString(), Qt::FindDirectChildrenOnly).last();
    const bool bLoaded =
        QTest::qWaitFor([label]() { return !label->GetSavePath().isEmpty(); }, 10000);
    return bLoaded ? label : nullptr;
}

void TestUploadImageWidget::clickDelete(UploadImageLabel* label)
{
    label->findChild<QPushButton*>(QStringLiteral("imgDelBtn"))->click();
}

void TestUploadImageWidget::stateSignals_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("added");
    QTest::addColumn<int>("deleted");
    QTest::addColumn<QVariantList>("height");
    QTest::addColumn<QVariantList>("style");
    QTest::addColumn<bool>("visible");

    const QVariantList none;
    const QVariantList yes{true};
    const QVariantList no{false};
    QTest::newRow("first image") << 0 << 1 << 0 << yes << none << true;
    QTest::newRow("second image") << 1 << 1 << 0 << none << none << true;
    QTest::newRow("fourth image") << 3 << 1 << 0 << none << no << true;
    QTest::newRow("fifth image") << 4 << 1 << 0 << none << yes << true;
    // The strip itself takes a sixth; only the dialog's disabled buttons keep it to five.
    QTest::newRow("sixth image") << 5 << 1 << 0 << none << none << true;
    QTest::newRow("deleting one of five") << 5 << 0 << 1 << none << no << true;
    QTest::newRow("deleting the last") << 1 << 0 << 1 << no << none << false;
    QTest::newRow("deleting all of three")
        << 3 << 0 << 3 << QVariantList{true, false} << none << false;
}

void TestUploadImageWidget::stateSignals()
{
    QFETCH(int, before);
    QFETCH(int, added);
    QFETCH(int, deleted);
    QFETCH(QVariantList, height);
    QFETCH(QVariantList, style);
    QFETCH(bool, visible);

    QWidget dialog;
    auto& strip = *new UploadImageWidget(&dialog);
    QVERIFY(strip.isHidden());
    for (int i = 0; i < before; ++i)
        QVERIFY(addLoaded(strip, m_png));

    QSignalSpy heightSpy(&strip, &UploadImageWidget::SigUpdateHeight);
    QSignalSpy styleSpy(&strip, &UploadImageWidget::SigUpdateStyle);
    for (int i = 0; i < added; ++i)
        QVERIFY(addLoaded(strip, m_png));
    for (int i = 0; i < deleted; ++i)
        clickDelete(strip.findChildren<UploadImageLabel*>().at(i));

    QCOMPARE(arguments(heightSpy), height);
    QCOMPARE(arguments(styleSpy), style);
    QCOMPARE(!strip.isHidden(), visible);
    QCOMPARE(strip.HasImage(), before + added - deleted > 0);
}

void TestUploadImageWidget::thumbnailsComeAndGo()
{
    QWidget dialog;
    auto& strip = *new UploadImageWidget(&dialog);
    // A picture still loading counts: submitting must neither skip it nor send it half-made.
    strip.AddImage(false, m_png);
    QList<QPointer<UploadImageLabel>> labels{strip.findChild<UploadImageLabel*>()};
    QVERIFY(strip.isHidden() && strip.HasImage() && !strip.IsAllUploaded());
    QTRY_VERIFY(!labels.first()->GetSavePath().isEmpty());
    QVERIFY(!strip.isHidden());
    labels << addLoaded(strip, m_png) << addLoaded(strip, m_png);

    // A picture that does not load leaves no trace: no thumbnail, no state change.
    QSignalSpy heightSpy(&strip, &UploadImageWidget::SigUpdateHeight);
    QSignalSpy styleSpy(&strip, &UploadImageWidget::SigUpdateStyle);
    strip.AddImage(false, m_dir.filePath(QStringLiteral("gone.png")));
    const QPointer<UploadImageLabel> broken =
        strip.findChildren<UploadImageLabel*>(QString(), Qt::FindDirectChildrenOnly).last();
    QTRY_VERIFY(broken.isNull());
    QCOMPARE(heightSpy.count() + styleSpy.count(), 0);

    // After a deletion the rest keep their order, packed to the left.
    clickDelete(labels.at(1));
    QTRY_VERIFY(labels.at(1).isNull());
    QLayout* layout = strip.layout();
    QCOMPARE(layout->count(), 3);
    QCOMPARE(layout->itemAt(0)->widget(), labels.at(0).data());
    QCOMPARE(layout->itemAt(1)->widget(), labels.at(2).data());
    QVERIFY(layout->itemAt(2)->spacerItem());

    // Gone from the strip's accounts too.
    QVERIFY(!strip.IsAllUploaded());
    clickDelete(labels.at(0));
    clickDelete(labels.at(2));
    QVERIFY(!strip.HasImage());
    QVERIFY(strip.IsAllUploaded());
}

void TestUploadImageWidget::notificationNotForUs_data()
{
    QTest::addColumn<int>("thumbnails");
    QTest::addColumn<QSharedPointer<IHttpResponse>>("response");
    QTest::addColumn<QVariantList>("results");

    const auto foreign = [this](bool bStored) -> QSharedPointer<IHttpResponse> {
        auto upload = QSharedPointer<ImageUploadResponse>::create(
            m_dir.filePath(QStringLiteral("someone-elses.jpg")));
        if (bStored)
            upload->SetData(R"({"code":0,"msg":"","data":{"url":"http://127.0.0.1:9/i.jpg"}})");
        else
            upload->SetNetworkError(HttpErrorCode::ConnectionFailed, QStringLiteral("refused"));
        return upload;
    };
    const QVariantList none;
    const QVariantList allDone{true};
    QTest::newRow("empty strip, another upload stored") << 0 << foreign(true) << allDone;
    QTest::newRow("empty strip, another upload failed") << 0 << foreign(false) << allDone;
    QTest::newRow("empty strip, no response") << 0 << QSharedPointer<IHttpResponse>() << none;
    QTest::newRow("empty strip, not an image upload")
        << 0 << QSharedPointer<IHttpResponse>(QSharedPointer<ConsultSubmitDescResponse>::create())
        << none;
    QTest::newRow("thumbnail never sent, another upload stored") << 1 << foreign(true) << none;
    QTest::newRow("thumbnail never sent, another upload failed") << 1 << foreign(false) << none;
}

void TestUploadImageWidget::notificationNotForUs()
{
    QFETCH(int, thumbnails);
    QFETCH(QSharedPointer<IHttpResponse>, response);
    QFETCH(QVariantList, results);

    QWidget dialog;
    auto& strip = *new UploadImageWidget(&dialog);
    for (int i = 0; i < thumbnails; ++i)
        QVERIFY(addLoaded(strip, m_png));
    QSignalSpy resultSpy(&strip, &UploadImageWidget::SigUploadResult);
    HttpNotifyManager::Instance()->Dispatch(kUploadMessage, nullptr, response);
    QCOMPARE(arguments(resultSpy), results);
    QVERIFY(strip.GetImageList().isEmpty());
}

void TestUploadImageWidget::failedUploadIsRetriedAlone()
{
    m_serverDir.reset(new QTemporaryDir(m_dir.filePath(QStringLiteral("server-XXXXXX"))));
    QVERIFY(m_server.start(m_serverDir->path()));
    ZorConfigManager::Instance()->SetValue(QStringLiteral("image"), QStringLiteral("upload_url"),
                                           m_server.baseUrl() + QStringLiteral("/image/upload"));

    QWidget dialog;
    auto& strip = *new UploadImageWidget(&dialog);
    UploadImageLabel* stored = addLoaded(strip, m_png);
    UploadImageLabel* failing = addLoaded(strip, m_png);
    UploadImageLabel* dropped = addLoaded(strip, m_png);
    QVERIFY(stored && failing && dropped);
    const QString storedName = QFileInfo(stored->GetSavePath()).fileName();
    const QString failingPath = failing->GetSavePath();
    QSignalSpy resultSpy(&strip, &UploadImageWidget::SigUploadResult);

    // Two copies are gone, so their uploads fail; one thumbnail is deleted meanwhile, and
    // its failure is no longer the strip's concern.
    QVERIFY(QFile::rename(failingPath, failingPath + QStringLiteral(".away")));
    QVERIFY(QFile::remove(dropped->GetSavePath()));
    strip.UploadImages();
    clickDelete(dropped);
    QCOMPARE(resultSpy.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->notifications.size(), 3, kWaitMs);
    QCOMPARE(arguments(resultSpy), QVariantList{false});
    QVERIFY(!strip.IsAllUploaded());
    QMap<QString, QString> urls;
    for (const auto& image : strip.GetImageList())
        urls.insert(image->fileName, image->url);
    const QString failingName = QFileInfo(failingPath).fileName();
    QCOMPARE(urls.size(), 2);
    QVERIFY(urls.value(storedName).startsWith(m_server.baseUrl() + QStringLiteral("/images/")));
    QVERIFY(urls.contains(failingName) && urls.value(failingName).isEmpty());

    // Only the failed image is sent again.
    QVERIFY(QFile::rename(failingPath + QStringLiteral(".away"), failingPath));
    resultSpy.clear();
    const int before = m_recorder->notifications.size();
    strip.UploadImages();
    QVERIFY(resultSpy.wait(kWaitMs));
    QCOMPARE(arguments(resultSpy), QVariantList{true});
    QCOMPARE(m_recorder->notifications.size(), before + 1);
    QCOMPARE(pathOf(m_recorder->notifications.last()), failingPath);
    QVERIFY(strip.IsAllUploaded());

    // Everything has an address: nothing is sent, and the outcome comes at once.
    resultSpy.clear();
    strip.UploadImages();
    QCOMPARE(arguments(resultSpy), QVariantList{true});
    QVERIFY(strip.IsAllUploaded());
}

void TestUploadImageWidget::stopsObservingWhenDestroyed()
{
    auto* strip = new UploadImageWidget;
    HttpObserverBase* observer = strip;
    QVERIFY(HttpNotifyManager::Instance()->HasObserver(observer, kUploadMessage));
    delete strip;
    QVERIFY(!HttpNotifyManager::Instance()->HasObserver(observer, kUploadMessage));
}

QTEST_MAIN(TestUploadImageWidget)

#include "tst_uploadimagewidget.moc"
