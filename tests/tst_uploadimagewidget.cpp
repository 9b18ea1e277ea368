// The attachment strip: the state it reports while thumbnails come and go, and the uploads
// it starts, retries and reports, against the host's image service and advisory-server.

#include "AdvisoryServerProcess.h"
#include "ConsultImageEntity.h"
#include "ConsultSubmitDescResponse.h"
#include "DpiTool.h"
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
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QScopedPointer>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kUploadMessage = ZorImageLogic::kUploadFinishedMessage;
// Generous: a loaded CI machine.
constexpr int kWaitMs = 30000;

enum class Reply { None, ForeignSuccess, ForeignFailure, OtherType };

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

void setUploadAddress(const QString& address)
{
    ZorConfigManager::Instance()->SetValue(QStringLiteral("image"), QStringLiteral("upload_url"),
                                           address);
}

} // namespace

Q_DECLARE_METATYPE(Reply)

class TestUploadImageWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void stateSignals_data();
    void stateSignals();
    void deletionClosesTheGap();
    void loadingThumbnailCounts();
    void notificationNotForUs_data();
    void notificationNotForUs();
    void failedUploadIsRetriedAlone();
    void thumbnailDeletedDuringUpload();
    void spacingFollowsScale();
    void stopsObservingWhenDestroyed();

private:
    // Adds a thumbnail for the file and waits until it has saved its copy.
    UploadImageLabel* addLoaded(UploadImageWidget& strip, const QString& path);
    // The paths that `call` hands to the image service: with no usable upload address each
    // upload fails on the next turn, in the order of the calls, and a last one marks the end.
    QStringList sentBy(const std::function<void()>& call);
    static void clickDelete(UploadImageLabel* label);

    QTemporaryDir m_dir;
    QString m_png;
    QString m_jpeg;
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
    DpiTool::SetScaleFactor(1.0);

    QImage picture(80, 60, QImage::Format_RGB32);
    picture.fill(QColor(200, 90, 40));
    m_png = m_dir.filePath(QStringLiteral("picture.png"));
    QVERIFY(picture.save(m_png, "PNG"));
    m_jpeg = m_dir.filePath(QStringLiteral("photo.jpg"));
    QVERIFY(picture.save(m_jpeg, "JPEG"));
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
    DpiTool::SetScaleFactor(1.0);
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

QStringList TestUploadImageWidget::sentBy(const std::function<void()>& call)
{
    setUploadAddress(QString());
    const int before = m_recorder->notifications.size();
    call();
    const QString end = m_dir.filePath(QStringLiteral("end-of-round"));
    ZorImageLogic::Instance()->UploadImage(end);
    QStringList paths;
    if (!QTest::qWaitFor(
            [&]() {
                return !m_recorder->notifications.isEmpty() &&
                       pathOf(m_recorder->notifications.last()) == end;
            },
            kWaitMs))
        return {QStringLiteral("<no end of round>")};
    for (int i = before; i < m_recorder->notifications.size() - 1; ++i)
        paths << pathOf(m_recorder->notifications.at(i));
    return paths;
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
    QTest::newRow("third image") << 2 << 1 << 0 << none << none << true;
    QTest::newRow("fourth image") << 3 << 1 << 0 << none << no << true;
    QTest::newRow("fifth image") << 4 << 1 << 0 << none << yes << true;
    QTest::newRow("sixth image") << 5 << 1 << 0 << none << none << true;
    QTest::newRow("fourth and fifth at once")
        << 3 << 2 << 0 << none << QVariantList{false, true} << true;
    QTest::newRow("deleting one of six") << 6 << 0 << 1 << none << yes << true;
    QTest::newRow("deleting one of five") << 5 << 0 << 1 << none << no << true;
    QTest::newRow("deleting down to three") << 4 << 0 << 1 << none << none << true;
    QTest::newRow("deleting down to one") << 2 << 0 << 1 << yes << none << true;
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

void TestUploadImageWidget::deletionClosesTheGap()
{
    QWidget dialog;
    auto& strip = *new UploadImageWidget(&dialog);
    QList<QPointer<UploadImageLabel>> labels;
    for (int i = 0; i < 3; ++i)
        labels << addLoaded(strip, m_png);
    // A picture that does not load leaves no trace: no thumbnail, no state change.
    QSignalSpy heightSpy(&strip, &UploadImageWidget::SigUpdateHeight);
    QSignalSpy styleSpy(&strip, &UploadImageWidget::SigUpdateStyle);
    strip.AddImage(false, m_dir.filePath(QStringLiteral("gone.png")));
    const QPointer<UploadImageLabel> broken =
        strip.findChildren<UploadImageLabel*>(QString(), Qt::FindDirectChildrenOnly).last();
    QTRY_VERIFY(broken.isNull());
    QCOMPARE(heightSpy.count() + styleSpy.count(), 0);

    clickDelete(labels.at(1));
    QTRY_VERIFY(labels.at(1).isNull());

    // The rest keep their order, and the spacer stays last.
    auto* layout = qobject_cast<QHBoxLayout*>(strip.layout());
    QVERIFY(layout);
    QCOMPARE(layout->count(), 3);
    QCOMPARE(layout->itemAt(0)->widget(), labels.at(0).data());
    QCOMPARE(layout->itemAt(1)->widget(), labels.at(2).data());
    QVERIFY(layout->itemAt(2)->spacerItem());
    QCOMPARE(layout->contentsMargins(), QMargins());

    // Gone from the strip's accounts too: two thumbnails, neither uploaded.
    QVERIFY(!strip.IsAllUploaded());
    clickDelete(labels.at(0));
    clickDelete(labels.at(2));
    QVERIFY(!strip.HasImage());
    QVERIFY(strip.IsAllUploaded());
    QCOMPARE(layout->count(), 1);
}

void TestUploadImageWidget::loadingThumbnailCounts()
{
    QWidget dialog;
    auto& strip = *new UploadImageWidget(&dialog);
    QVERIFY(!strip.HasImage());
    QVERIFY(strip.IsAllUploaded());

    strip.AddImage(false, m_png);
    auto* label = strip.findChild<UploadImageLabel*>();
    QVERIFY(label->GetSavePath().isEmpty());
    QVERIFY(label->isHidden());
    QVERIFY(strip.isHidden());
    QVERIFY(strip.HasImage());
    QVERIFY(!strip.IsAllUploaded());
    QVERIFY(strip.GetImageList().isEmpty());

    QTRY_VERIFY(!label->isHidden());
    QVERIFY(!strip.isHidden());
    QVERIFY(strip.HasImage());
    QVERIFY(!strip.IsAllUploaded());
}

void TestUploadImageWidget::notificationNotForUs_data()
{
    QTest::addColumn<int>("thumbnails");
    QTest::addColumn<int>("id");
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<QVariantList>("results");

    const QVariantList none;
    const QVariantList allDone{true};
    QTest::newRow("empty strip, another upload succeeded")
        << 0 << kUploadMessage << Reply::ForeignSuccess << allDone;
    QTest::newRow("empty strip, another upload failed")
        << 0 << kUploadMessage << Reply::ForeignFailure << allDone;
    QTest::newRow("empty strip, no response") << 0 << kUploadMessage << Reply::None << none;
    QTest::newRow("empty strip, other message") << 0 << 20001 << Reply::ForeignSuccess << none;
    QTest::newRow("empty strip, not an image upload")
        << 0 << kUploadMessage << Reply::OtherType << none;
    QTest::newRow("thumbnail never sent, another upload succeeded")
        << 1 << kUploadMessage << Reply::ForeignSuccess << none;
    QTest::newRow("thumbnail never sent, another upload failed")
        << 1 << kUploadMessage << Reply::ForeignFailure << none;
}

void TestUploadImageWidget::notificationNotForUs()
{
    QFETCH(int, thumbnails);
    QFETCH(int, id);
    QFETCH(Reply, reply);
    QFETCH(QVariantList, results);

    QWidget dialog;
    auto& strip = *new UploadImageWidget(&dialog);
    for (int i = 0; i < thumbnails; ++i)
        QVERIFY(addLoaded(strip, m_png));

    QSharedPointer<IHttpResponse> response;
    const QString foreign = m_dir.filePath(QStringLiteral("someone-elses.jpg"));
    if (reply == Reply::ForeignSuccess || reply == Reply::ForeignFailure) {
        auto upload = QSharedPointer<ImageUploadResponse>::create(foreign);
        if (reply == Reply::ForeignSuccess)
            upload->SetData(R"({"code":0,"msg":"","data":{"url":"http://127.0.0.1:9/i.jpg"}})");
        else
            upload->SetNetworkError(HttpErrorCode::ConnectionFailed, QStringLiteral("refused"));
        response = upload;
    } else if (reply == Reply::OtherType) {
        response = QSharedPointer<ConsultSubmitDescResponse>::create();
    }

    QSignalSpy resultSpy(&strip, &UploadImageWidget::SigUploadResult);
    HttpNotifyManager::Instance()->Dispatch(id, nullptr, response);
    QCOMPARE(arguments(resultSpy), results);
    QVERIFY(strip.GetImageList().isEmpty());
}

void TestUploadImageWidget::failedUploadIsRetriedAlone()
{
    m_serverDir.reset(new QTemporaryDir(m_dir.filePath(QStringLiteral("server-XXXXXX"))));
    QVERIFY(m_server.start(m_serverDir->path()));
    const QString address = m_server.baseUrl() + QStringLiteral("/image/upload");
    setUploadAddress(address);

    QWidget dialog;
    auto& strip = *new UploadImageWidget(&dialog);
    QList<UploadImageLabel*> labels{addLoaded(strip, m_png), addLoaded(strip, m_jpeg),
                                    addLoaded(strip, m_png)};
    QVERIFY(!labels.contains(nullptr));
    QStringList paths;
    for (UploadImageLabel* label : labels)
        paths << label->GetSavePath();
    QSignalSpy resultSpy(&strip, &UploadImageWidget::SigUploadResult);

    // The second copy is gone, so its upload fails; the other two are stored.
    const QString moved = paths.at(1) + QStringLiteral(".away");
    QVERIFY(QFile::rename(paths.at(1), moved));
    strip.UploadImages();
    QCOMPARE(resultSpy.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->notifications.size(), 3, kWaitMs);
    QCOMPARE(arguments(resultSpy), QVariantList{false});
    QVERIFY(!strip.IsAllUploaded());
    QMap<QString, QString> stored;
    for (const auto& image : strip.GetImageList())
        stored.insert(image->fileName, image->url);
    QCOMPARE(stored.size(), 3);
    QVERIFY(stored.value(QFileInfo(paths.at(0)).fileName()).startsWith(m_server.baseUrl()));
    QCOMPARE(stored.value(QFileInfo(paths.at(1)).fileName()), QString());
    QVERIFY(stored.value(QFileInfo(paths.at(2)).fileName()).startsWith(m_server.baseUrl()));

    // Only the failed image is sent again; while the service is unreachable it fails again.
    QVERIFY(QFile::rename(moved, paths.at(1)));
    resultSpy.clear();
    QCOMPARE(sentBy([&]() { strip.UploadImages(); }), QStringList{paths.at(1)});
    QCOMPARE(arguments(resultSpy), QVariantList{false});

    resultSpy.clear();
    setUploadAddress(address);
    const int before = m_recorder->notifications.size();
    strip.UploadImages();
    QVERIFY(resultSpy.wait(kWaitMs));
    QCOMPARE(arguments(resultSpy), QVariantList{true});
    QCOMPARE(m_recorder->notifications.size(), before + 1);
    QCOMPARE(pathOf(m_recorder->notifications.last()), paths.at(1));
    QVERIFY(strip.IsAllUploaded());

    // Everything has an address: nothing is sent, and the outcome comes at once.
    resultSpy.clear();
    QCOMPARE(sentBy([&]() {
                 strip.UploadImages();
                 QCOMPARE(arguments(resultSpy), QVariantList{true});
             }),
             QStringList());
    // The round's end marker is another component's upload: all of ours are done again.
    QCOMPARE(arguments(resultSpy), (QVariantList{true, true}));

    // The list follows the saved paths' order, whatever the order on screen.
    const auto images = strip.GetImageList();
    QStringList sortedPaths = paths;
    sortedPaths.sort();
    QCOMPARE(images.size(), 3);
    QSet<QString> urls;
    for (int i = 0; i < images.size(); ++i) {
        QCOMPARE(images.at(i)->fileName, QFileInfo(sortedPaths.at(i)).fileName());
        QVERIFY(images.at(i)->url.startsWith(m_server.baseUrl() + QStringLiteral("/images/")));
        QVERIFY(images.at(i)->parent() == nullptr);
        urls << images.at(i)->url;
    }
    QCOMPARE(urls.size(), 3);

    // Another component's upload ending changes nothing, but all of ours are done.
    resultSpy.clear();
    auto foreign = QSharedPointer<ImageUploadResponse>::create(m_png);
    foreign->SetNetworkError(HttpErrorCode::Timeout, QStringLiteral("too slow"));
    HttpNotifyManager::Instance()->Dispatch(kUploadMessage, nullptr, foreign);
    QCOMPARE(arguments(resultSpy), QVariantList{true});
    QCOMPARE(strip.GetImageList().size(), 3);

    // A thumbnail added since the last round has no address yet and is not listed.
    resultSpy.clear();
    QVERIFY(addLoaded(strip, m_png));
    QVERIFY(!strip.IsAllUploaded());
    QCOMPARE(strip.GetImageList().size(), 3);
    HttpNotifyManager::Instance()->Dispatch(kUploadMessage, nullptr, foreign);
    QCOMPARE(resultSpy.count(), 0);
}

void TestUploadImageWidget::thumbnailDeletedDuringUpload()
{
    m_serverDir.reset(new QTemporaryDir(m_dir.filePath(QStringLiteral("server-XXXXXX"))));
    QVERIFY(m_server.start(m_serverDir->path()));
    setUploadAddress(m_server.baseUrl() + QStringLiteral("/image/upload"));

    QWidget dialog;
    auto& strip = *new UploadImageWidget(&dialog);
    UploadImageLabel* kept = addLoaded(strip, m_png);
    UploadImageLabel* dropped = addLoaded(strip, m_jpeg);
    QVERIFY(kept && dropped);
    QVERIFY(QFile::remove(dropped->GetSavePath()));
    QSignalSpy resultSpy(&strip, &UploadImageWidget::SigUploadResult);

    // The deleted image's failure is no longer the strip's concern.
    strip.UploadImages();
    clickDelete(dropped);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->notifications.size(), 2, kWaitMs);
    QCOMPARE(arguments(resultSpy), QVariantList{true});
    const auto images = strip.GetImageList();
    QCOMPARE(images.size(), 1);
    QCOMPARE(images.at(0)->fileName, QFileInfo(kept->GetSavePath()).fileName());
}

void TestUploadImageWidget::spacingFollowsScale()
{
    QWidget dialog;
    auto& strip = *new UploadImageWidget(&dialog);
    QCOMPARE(strip.layout()->spacing(), 12);
    DpiTool::SetScaleFactor(1.5);
    QCOMPARE(strip.layout()->spacing(), 18);
    DpiTool::SetScaleFactor(2.0);
    QCOMPARE(strip.layout()->spacing(), 24);
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
