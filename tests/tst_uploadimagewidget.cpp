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
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kUploadMessage = ZorImageLogic::kUploadFinishedMessage;
constexpr int kWaitMs = 30000;

// Logs the strip's reports as they come: "height true", "style false", "result true".
void record(UploadImageWidget& strip, QStringList& log)
{
    const auto on = [&](void (UploadImageWidget::*signal)(bool), const QString& name) {
        QObject::connect(&strip, signal, &strip,
                         [&log, name](bool b) { log << name + (b ? " true" : " false"); });
    };
    on(&UploadImageWidget::SigUpdateHeight, QStringLiteral("height"));
    on(&UploadImageWidget::SigUpdateStyle, QStringLiteral("style"));
    on(&UploadImageWidget::SigUploadResult, QStringLiteral("result"));
}

// Adds a thumbnail for the file and waits until it has saved its copy.
UploadImageLabel* addLoaded(UploadImageWidget& strip, const QString& path)
{
    strip.AddImage(false, path);
    UploadImageLabel* label = strip.findChildren<UploadImageLabel*>().last();
    const bool bLoaded = QTest::qWaitFor([label]() { return !label->GetSavePath().isEmpty(); });
    return bLoaded ? label : nullptr;
}

void clickDelete(UploadImageLabel* label)
{
    label->findChild<QPushButton*>(QStringLiteral("imgDelBtn"))->click();
}

// An upload outcome that is not the strip's: another component's upload "stored" or
// "failed", "none" or a "submission" reply.
QSharedPointer<IHttpResponse> notOurs(const QString& kind, const QString& path)
{
    if (kind == "none")
        return {};
    if (kind == "submission")
        return QSharedPointer<ConsultSubmitDescResponse>::create();
    auto upload = QSharedPointer<ImageUploadResponse>::create(path);
    if (kind == "stored")
        upload->SetData(R"({"code":0,"msg":"","data":{"url":"http://127.0.0.1:9/i.jpg"}})");
    else
        upload->SetNetworkError(HttpErrorCode::ConnectionFailed, QStringLiteral("refused"));
    return upload;
}

} // namespace

class TestUploadImageWidget : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_png;

private slots:
    void initTestCase()
    {
        TestMessageHandler::install();
        QVERIFY(m_dir.isValid());
        ZorConfigManager::Instance()->SetConfigFile(m_dir.filePath(QStringLiteral("host.ini")));
        QImage picture(80, 60, QImage::Format_RGB32);
        picture.fill(QColor(200, 90, 40));
        m_png = m_dir.filePath(QStringLiteral("picture.png"));
        QVERIFY(picture.save(m_png, "PNG"));
        ZorCacheManager::Instance()->SetImageCacheDir(m_dir.filePath(QStringLiteral("cache/")));
    }
    void cleanup()
    {
        ZorConfigManager::Instance()->RemoveValue("image", "upload_url");
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void reports_data()
    {
        // Action: thumbnails added (+) or deleted (-), or an outcome that is not ours.
        QTest::addColumn<int>("before");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("emitted");
        auto row = [](const char* name, int before, const char* action, const char* emitted) {
            QTest::newRow(name) << before << QString(action) << QString(emitted);
        };
        row("first image", 0, "+1", "height true");
        row("fourth image", 3, "+1", "style false");
        row("fifth image", 4, "+1", "style true");
        // The strip itself takes a sixth; only the dialog's disabled buttons keep it to five.
        row("sixth image", 5, "+1", "");
        row("deleting one of five", 5, "-1", "style false");
        // Down to one grows the strip again, down to none hides it.
        row("deleting all of three", 3, "-3", "height true, height false");
        row("empty strip, another upload stored", 0, "stored", "result true");
        row("empty strip, another upload failed", 0, "failed", "result true");
        row("empty strip, no response", 0, "none", "");
        row("empty strip, not an image upload", 0, "submission", "");
        row("thumbnail never sent, another upload stored", 1, "stored", "");
    }
    void reports()
    {
        QFETCH(int, before);
        QFETCH(QString, action);
        QFETCH(QString, emitted);

        QWidget dialog;
        auto& strip = *new UploadImageWidget(&dialog);
        for (int i = 0; i < before; ++i)
            QVERIFY(addLoaded(strip, m_png));
        QStringList log;
        record(strip, log);

        const int change = action.toInt();
        for (int i = 0; i < change; ++i)
            QVERIFY(addLoaded(strip, m_png));
        for (int i = 0; i < -change; ++i)
            clickDelete(strip.findChildren<UploadImageLabel*>().at(i));
        if (change == 0) {
            HttpNotifyManager::Instance()->Dispatch(
                kUploadMessage, nullptr, notOurs(action, m_dir.filePath("someone-elses.jpg")));
            QVERIFY(strip.GetImageList().isEmpty());
        }

        QCOMPARE(log.join(", "), emitted);
        QCOMPARE(!strip.isHidden(), before + change > 0);
        QCOMPARE(strip.HasImage(), before + change > 0);
    }

    void thumbnailsComeAndGo()
    {
        QWidget dialog;
        auto& strip = *new UploadImageWidget(&dialog);
        // A picture still loading counts: submitting must neither skip it nor send it half-made.
        strip.AddImage(false, m_png);
        QList<QPointer<UploadImageLabel>> labels{strip.findChild<UploadImageLabel*>()};
        QVERIFY(strip.isHidden() && strip.HasImage() && !strip.IsAllUploaded());
        QTRY_VERIFY(!labels.first()->GetSavePath().isEmpty());
        labels << addLoaded(strip, m_png) << addLoaded(strip, m_png);

        // A picture that does not load leaves no trace.
        strip.AddImage(false, m_dir.filePath(QStringLiteral("gone.png")));
        const QPointer<UploadImageLabel> broken = strip.findChildren<UploadImageLabel*>().last();
        QTRY_VERIFY(broken.isNull());

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
        QVERIFY(!strip.HasImage() && strip.IsAllUploaded());

        // A strip left registered would be handed the next upload's result after its end.
        HttpObserverBase* observer = &strip;
        delete &strip;
        QVERIFY(!HttpNotifyManager::Instance()->HasObserver(observer, kUploadMessage));
    }

    void failedUploadIsRetriedAlone()
    {
        AdvisoryServerProcess server;
        QVERIFY(server.start(m_dir.filePath(QStringLiteral("server"))));
        ZorConfigManager::Instance()->SetValue(QStringLiteral("image"),
                                               QStringLiteral("upload_url"),
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
        QStringList log;
        record(strip, log);

        // Two copies are gone, so their uploads fail; one thumbnail is deleted meanwhile, and
        // its failure is no longer the strip's concern.
        QVERIFY(QFile::rename(failingPath, failingPath + QStringLiteral(".away")));
        QVERIFY(QFile::remove(dropped->GetSavePath()));
        strip.UploadImages();
        clickDelete(dropped);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.notifications.size(), 3, kWaitMs);
        QCOMPARE(log, QStringList{"result false"});
        const auto images = strip.GetImageList();
        QCOMPARE(images.size(), 2);
        QCOMPARE(images.at(0)->fileName, QFileInfo(stored->GetSavePath()).fileName());
        QVERIFY(images.at(0)->url.startsWith(server.baseUrl() + QStringLiteral("/images/")));
        QCOMPARE(images.at(1)->fileName, QFileInfo(failingPath).fileName());
        QCOMPARE(images.at(1)->url, QString());

        // Only the failed image is sent again.
        QVERIFY(QFile::rename(failingPath + QStringLiteral(".away"), failingPath));
        log.clear();
        recorder.notifications.clear();
        strip.UploadImages();
        QTRY_COMPARE_WITH_TIMEOUT(log, QStringList{"result true"}, kWaitMs);
        QCOMPARE(recorder.notifications.size(), 1); // one upload, then all have addresses
        QVERIFY(strip.IsAllUploaded());

        // Everything has an address: nothing is sent, and the outcome comes at once.
        log.clear();
        strip.UploadImages();
        QCOMPARE(log, QStringList{"result true"});
    }
};

QTEST_MAIN(TestUploadImageWidget)

#include "tst_uploadimagewidget.moc"
