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
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kUploadMessage = ZorImageLogic::kUploadFinishedMessage;
constexpr int kWaitMs = 30000;

QVariantList arguments(const QSignalSpy& spy)
{
    QVariantList values;
    for (const QList<QVariant>& call : spy)
        values << call.at(0);
    return values;
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

private:
    // Adds a thumbnail for the file and waits until it has saved its copy.
    UploadImageLabel* addLoaded(UploadImageWidget& strip, const QString& path);
    static void clickDelete(UploadImageLabel* label);

    QTemporaryDir m_dir;
    QString m_png;
};

void TestUploadImageWidget::initTestCase()
{
    TestMessageHandler::install();
    QVERIFY(m_dir.isValid());
    ZorConfigManager::Instance()->SetConfigFile(m_dir.filePath(QStringLiteral("host.ini")));
    QImage picture(80, 60, QImage::Format_RGB32);
    picture.fill(QColor(200, 90, 40));
    m_png = m_dir.filePath(QStringLiteral("picture.png"));
    QVERIFY(picture.save(m_png, "PNG"));
}

void TestUploadImageWidget::init()
{
    ZorCacheManager::Instance()->SetImageCacheDir(m_dir.filePath(QStringLiteral("cache/")));
}

void TestUploadImageWidget::cleanup()
{
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
    QTest::addColumn<int>("change"); // thumbnails added, or deleted when negative
    QTest::addColumn<QVariantList>("height");
    QTest::addColumn<QVariantList>("style");

    const QVariantList none;
    const QVariantList yes{true};
    const QVariantList no{false};
    QTest::newRow("first image") << 0 << 1 << yes << none;
    QTest::newRow("fourth image") << 3 << 1 << none << no;
    QTest::newRow("fifth image") << 4 << 1 << none << yes;
    // The strip itself takes a sixth; only the dialog's disabled buttons keep it to five.
    QTest::newRow("sixth image") << 5 << 1 << none << none;
    QTest::newRow("deleting one of five") << 5 << -1 << none << no;
    // Down to one grows the strip again, down to none hides it.
    QTest::newRow("deleting all of three") << 3 << -3 << QVariantList{true, false} << none;
}

void TestUploadImageWidget::stateSignals()
{
    QFETCH(int, before);
    QFETCH(int, change);
    QFETCH(QVariantList, height);
    QFETCH(QVariantList, style);

    QWidget dialog;
    auto& strip = *new UploadImageWidget(&dialog);
    for (int i = 0; i < before; ++i)
        QVERIFY(addLoaded(strip, m_png));

    QSignalSpy heightSpy(&strip, &UploadImageWidget::SigUpdateHeight);
    QSignalSpy styleSpy(&strip, &UploadImageWidget::SigUpdateStyle);
    for (int i = 0; i < change; ++i)
        QVERIFY(addLoaded(strip, m_png));
    for (int i = 0; i < -change; ++i)
        clickDelete(strip.findChildren<UploadImageLabel*>().at(i));

    QCOMPARE(arguments(heightSpy), height);
    QCOMPARE(arguments(styleSpy), style);
    QCOMPARE(!strip.isHidden(), before + change > 0);
    QCOMPARE(strip.HasImage(), before + change > 0);
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
    QCOMPARE(strip.layout()->count(), 3);
    QCOMPARE(strip.layout()->indexOf(labels.at(0)), 0);
    QCOMPARE(strip.layout()->indexOf(labels.at(2)), 1);

    // Gone from the strip's accounts too.
    QVERIFY(!strip.IsAllUploaded());
    clickDelete(labels.at(0));
    clickDelete(labels.at(2));
    QVERIFY(!strip.HasImage());
    QVERIFY(strip.IsAllUploaded());

    // A strip left registered would be handed the next upload's result after its end.
    HttpObserverBase* observer = &strip;
    delete &strip;
    QVERIFY(!HttpNotifyManager::Instance()->HasObserver(observer, kUploadMessage));
}

void TestUploadImageWidget::notificationNotForUs_data()
{
    QTest::addColumn<int>("thumbnails");
    QTest::addColumn<QSharedPointer<IHttpResponse>>("response");
    QTest::addColumn<bool>("allDone"); // the strip reports its round complete

    const auto foreign = [this](bool bStored) -> QSharedPointer<IHttpResponse> {
        auto upload = QSharedPointer<ImageUploadResponse>::create(
            m_dir.filePath(QStringLiteral("someone-elses.jpg")));
        if (bStored)
            upload->SetData(R"({"code":0,"msg":"","data":{"url":"http://127.0.0.1:9/i.jpg"}})");
        else
            upload->SetNetworkError(HttpErrorCode::ConnectionFailed, QStringLiteral("refused"));
        return upload;
    };
    QTest::newRow("empty strip, another upload stored") << 0 << foreign(true) << true;
    QTest::newRow("empty strip, another upload failed") << 0 << foreign(false) << true;
    QTest::newRow("empty strip, no response") << 0 << QSharedPointer<IHttpResponse>() << false;
    QTest::newRow("empty strip, not an image upload")
        << 0 << QSharedPointer<IHttpResponse>(QSharedPointer<ConsultSubmitDescResponse>::create())
        << false;
    QTest::newRow("thumbnail never sent, another upload stored") << 1 << foreign(true) << false;
}

void TestUploadImageWidget::notificationNotForUs()
{
    QFETCH(int, thumbnails);
    QFETCH(QSharedPointer<IHttpResponse>, response);
    QFETCH(bool, allDone);

    QWidget dialog;
    auto& strip = *new UploadImageWidget(&dialog);
    for (int i = 0; i < thumbnails; ++i)
        QVERIFY(addLoaded(strip, m_png));
    QSignalSpy resultSpy(&strip, &UploadImageWidget::SigUploadResult);
    HttpNotifyManager::Instance()->Dispatch(kUploadMessage, nullptr, response);
    QCOMPARE(arguments(resultSpy), allDone ? QVariantList{true} : QVariantList());
    QVERIFY(strip.GetImageList().isEmpty());
}

void TestUploadImageWidget::failedUploadIsRetriedAlone()
{
    AdvisoryServerProcess server;
    QVERIFY(server.start(m_dir.filePath(QStringLiteral("server"))));
    ZorConfigManager::Instance()->SetValue(QStringLiteral("image"), QStringLiteral("upload_url"),
                                           server.baseUrl() + QStringLiteral("/image/upload"));
    NotificationRecorder recorder({kUploadMessage});

    QWidget dialog;
    auto& strip = *new UploadImageWidget(&dialog);
    UploadImageLabel* failing = addLoaded(strip, m_png);
    // Saved under a path that compares lower, so it is listed first though shown second.
    ZorCacheManager::Instance()->SetImageCacheDir(m_dir.filePath(QStringLiteral("cache/0/")));
    UploadImageLabel* stored = addLoaded(strip, m_png);
    UploadImageLabel* dropped = addLoaded(strip, m_png);
    QVERIFY(stored && failing && dropped);
    const QString failingPath = failing->GetSavePath();
    QSignalSpy resultSpy(&strip, &UploadImageWidget::SigUploadResult);

    // Two copies are gone, so their uploads fail; one thumbnail is deleted meanwhile, and
    // its failure is no longer the strip's concern.
    QVERIFY(QFile::rename(failingPath, failingPath + QStringLiteral(".away")));
    QVERIFY(QFile::remove(dropped->GetSavePath()));
    strip.UploadImages();
    clickDelete(dropped);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.notifications.size(), 3, kWaitMs);
    QCOMPARE(arguments(resultSpy), QVariantList{false});
    QVERIFY(!strip.IsAllUploaded());
    const auto images = strip.GetImageList();
    QCOMPARE(images.size(), 2);
    QCOMPARE(images.at(0)->fileName, QFileInfo(stored->GetSavePath()).fileName());
    QVERIFY(images.at(0)->url.startsWith(server.baseUrl() + QStringLiteral("/images/")));
    QCOMPARE(images.at(1)->fileName, QFileInfo(failingPath).fileName());
    QCOMPARE(images.at(1)->url, QString());

    // Only the failed image is sent again.
    QVERIFY(QFile::rename(failingPath + QStringLiteral(".away"), failingPath));
    resultSpy.clear();
    recorder.notifications.clear();
    strip.UploadImages();
    QVERIFY(resultSpy.wait(kWaitMs));
    QCOMPARE(arguments(resultSpy), QVariantList{true});
    QCOMPARE(recorder.notifications.size(), 1);
    const auto resent = recorder.notifications.first().response.dynamicCast<ImageUploadResponse>();
    QVERIFY(resent && resent->GetFilePath() == failingPath);
    QVERIFY(strip.IsAllUploaded());

    // Everything has an address: nothing is sent, and the outcome comes at once.
    resultSpy.clear();
    strip.UploadImages();
    QCOMPARE(arguments(resultSpy), QVariantList{true});
}

QTEST_MAIN(TestUploadImageWidget)

#include "tst_uploadimagewidget.moc"
