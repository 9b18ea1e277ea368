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
#include "UploadImageLoader.h"
#include "UploadImageWidget.h"
#include "ZorCacheManager.h"
#include "ZorConfigManager.h"
#include "ZorImageLogic.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

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

// A strip in the stand-in dialog, with count thumbnails of path loaded one at a time; null
// when one did not load.
UploadImageWidget* stripWith(QWidget& dialog, int count, const QString& path)
{
    auto* strip = new UploadImageWidget(&dialog);
    for (int i = 0; i < count; ++i) {
        if (!addLoaded(*strip, path))
            return nullptr;
    }
    return strip;
}

// advisory-server as the host's image service.
bool startImageService(AdvisoryServerProcess& server, const QString& dir)
{
    if (!server.start(dir))
        return false;
    ZorConfigManager::Instance()->SetValue(QStringLiteral("image"), QStringLiteral("upload_url"),
                                           server.baseUrl() + QStringLiteral("/image/upload"));
    return true;
}

void clickDelete(UploadImageLabel* label)
{
    label->findChild<QPushButton*>(QStringLiteral("imgDelBtn"))->click();
}

// How a thumbnail added in a test fares: it loads; its file does not open; or it passes the
// reduced check that shows it and then fails its full decode, since the file is cut short
// right after it was shown (by a handler connected after the strip's own).
enum Fate { Loads, FailsToOpen, FailsInFull };

UploadImageLabel* addWithFate(UploadImageWidget& strip, const QString& source, Fate fate)
{
    static int serial = 0;
    const QString path = QFileInfo(source).absolutePath() +
                         QStringLiteral("/fate%1.%2").arg(++serial).arg(QFileInfo(source).suffix());
    if (fate != FailsToOpen && !QFile::copy(source, path))
        return nullptr;
    strip.AddImage(false, path);
    auto* label = strip.findChildren<UploadImageLabel*>().last();
    if (fate == FailsInFull) {
        QObject::connect(label, &UploadImageLabel::SigImgSave, label,
                         [path]() { QFile(path).resize(100); });
    }
    return label;
}

// Runs action on the thumbnail once it is shown and its copy is under way, on the turn after
// SigImgSave: before the copy's outcome can be delivered, which is posted later. bPending
// tells whether the copy was indeed still pending then.
void whileCopying(UploadImageLabel* label, bool* bPending, std::function<void()> action)
{
    QObject::connect(
        label, &UploadImageLabel::SigImgSave, label,
        [label, bPending, action]() {
            *bPending = label->IsCopyPending();
            action();
        },
        Qt::QueuedConnection);
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
    QString m_jpeg;

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
        QImage photo(320, 240, QImage::Format_RGB32);
        QRandomGenerator random(5);
        for (int y = 0; y < photo.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(photo.scanLine(y));
            for (int x = 0; x < photo.width(); ++x)
                line[x] = qRgb(x % 256, y % 256, int(random.bounded(64)));
        }
        m_jpeg = m_dir.filePath(QStringLiteral("photo.jpg"));
        QVERIFY(photo.save(m_jpeg, "JPEG", 100));
        // What the decoder says of a file cut short.
        TestMessageHandler::allow(QRegularExpression(QStringLiteral("JPEG")));
        ZorCacheManager::Instance()->SetImageCacheDir(m_dir.filePath(QStringLiteral("cache/")));
    }
    void cleanup()
    {
        QVERIFY(UploadImageLoader::WaitForCopies(30000));
        ZorConfigManager::Instance()->RemoveValue("image", "upload_url");
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void reports_data()
    {
        // Action: thumbnails added (+n) or deleted (-n) one at a time; added in one turn with
        // their fates ("turn" then "+" loads, "x" does not open, "!" fails its full decode);
        // or an outcome that is not ours.
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
        // Loads that end in the same turn still show the strip and grow the dialog; a failed
        // load leaves the last report true to the count.
        row("two in one turn", 0, "turn ++", "height true");
        row("five in one turn", 0, "turn +++++",
            "style true, height true, style true, style true, style true, style true");
        row("two in one turn, the second does not open", 0, "turn +x", "height true, height true");
        row("alone, does not open", 0, "turn x", "");
        row("fifth, does not open", 4, "turn x", "style false");
        row("alone, fails in full", 0, "turn !", "height true, height false");
        row("fifth, fails in full", 4, "turn !", "style true, style false");
        row("two in one turn, the first fails in full", 0, "turn !+", "height true, height true");
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
        UploadImageWidget* built = stripWith(dialog, before, m_png);
        QVERIFY(built);
        UploadImageWidget& strip = *built;
        QStringList log;
        record(strip, log);
        QSignalSpy saved(&strip, &UploadImageWidget::SigCopySaved);

        int change = action.toInt();
        for (int i = 0; i < change; ++i)
            QVERIFY(addLoaded(strip, m_png));
        for (int i = 0; i < -change; ++i)
            clickDelete(strip.findChildren<UploadImageLabel*>().at(i));
        if (action.startsWith("turn ")) {
            for (const QChar fate : action.mid(5)) {
                QVERIFY(addWithFate(strip, m_jpeg,
                                    fate == '+'   ? Loads
                                    : fate == 'x' ? FailsToOpen
                                                  : FailsInFull));
            }
            QTRY_VERIFY_WITH_TIMEOUT(!strip.HasPendingCopy(), kWaitMs);
            change = action.count('+');
        } else if (change == 0) {
            HttpNotifyManager::Instance()->Dispatch(
                kUploadMessage, nullptr, notOurs(action, m_dir.filePath("someone-elses.jpg")));
            QVERIFY(strip.GetImageList().isEmpty());
        }

        QCOMPARE(log.join(", "), emitted);
        QCOMPARE(saved.count(), qMax(0, change));
        QCOMPARE(!strip.isHidden(), before + change > 0);
        QCOMPARE(strip.HasImage(), before + change > 0);
        QCOMPARE(strip.layout()->count(), before + change + 1); // and the spacer
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
        QVERIFY(startImageService(server, m_dir.filePath(QStringLiteral("server"))));
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
    // A checked file shows its thumbnail from a reduced decode; its whole picture is decoded
    // only for the copy. Cut short in between, it goes again and is told as not loading.
    void checkedFileFailingInFull()
    {
        QWidget dialog;
        UploadImageWidget& strip = *stripWith(dialog, 0, m_png);
        const QString path = m_dir.filePath(QStringLiteral("cut-after-shown.jpg"));
        QVERIFY(QFile::copy(m_jpeg, path));
        QStringList log;
        record(strip, log);
        QSignalSpy failed(&strip, &UploadImageWidget::SigLoadFailed);
        QSignalSpy saved(&strip, &UploadImageWidget::SigCopySaved);
        // Shown, and its copy not started yet: that follows the strip's own handling.
        connect(&strip, &UploadImageWidget::SigUpdateHeight, &strip, [path](bool bShown) {
            if (bShown)
                QFile(path).resize(100);
        });
        strip.AddImageFile(path);

        QVERIFY(failed.wait(kWaitMs));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), path);
        QCOMPARE(saved.count(), 0);
        QVERIFY(!strip.HasImage());
        QVERIFY(!strip.HasPendingCopy());
        QCOMPARE(log.join(", "), QStringLiteral("height true, height false"));
    }
    void uploadWaitsForCopies_data()
    {
        // Images added ("f" a file the thumbnail loads, "F" one the strip decodes first, "p" a
        // picture in memory, "c" the clipboard's, "!" a file that fails its full decode, "x"
        // one the strip cannot decode, "d" a file deleted while its copy is made), then
        // UploadImages() at once, in the same turn.
        QTest::addColumn<QString>("added");
        QTest::addColumn<int>("uploaded");

        QTest::newRow("three ways in") << "fpc" << 3;
        QTest::newRow("one deleted while copying") << "fd" << 1;
        QTest::newRow("one failing in full") << "!f" << 1;
        QTest::newRow("decoded by the strip, one not loading") << "FxF" << 2;
        QTest::newRow("the only one deleted while copying") << "d" << 0;
    }
    void uploadWaitsForCopies()
    {
        QFETCH(QString, added);
        QFETCH(int, uploaded);

        AdvisoryServerProcess server;
        QVERIFY(startImageService(server, m_dir.filePath(QStringLiteral("server"))));
        NotificationRecorder recorder({kUploadMessage});
        QGuiApplication::clipboard()->setImage(QImage(m_png));

        QWidget dialog;
        UploadImageWidget& strip = *stripWith(dialog, 0, m_png);
        QStringList log;
        record(strip, log);
        QSignalSpy failed(&strip, &UploadImageWidget::SigLoadFailed);
        bool bPending = false;
        for (const QChar way : added) {
            if (way == 'F' || way == 'x')
                strip.AddImageFile(way == 'F' ? m_jpeg : m_dir.filePath(QStringLiteral("no.jpg")));
            else if (way == 'p')
                strip.AddImage(QImage(m_png));
            else if (way == 'c')
                strip.AddImage(true, QString());
            else if (way == 'd') {
                UploadImageLabel* label = addWithFate(strip, m_jpeg, Loads);
                whileCopying(label, &bPending, [label]() { clickDelete(label); });
            } else
                QVERIFY(addWithFate(strip, m_jpeg, way == '!' ? FailsInFull : Loads));
        }
        strip.UploadImages();
        QVERIFY(!log.contains("result true"));

        QTRY_VERIFY_WITH_TIMEOUT(log.contains("result true"), kWaitMs);
        QCOMPARE(log.filter("result").join(", "), QString("result true"));
        QCOMPARE(bPending, added.contains('d'));
        QCOMPARE(failed.count(), added.count('x'));
        // Each remaining image uploaded once, from its copy as the strip saved it.
        QCOMPARE(recorder.notifications.size(), uploaded);
        QStringList copies;
        for (const UploadImageLabel* label : strip.findChildren<UploadImageLabel*>()) {
            if (!label->isHidden())
                copies << QFileInfo(label->GetSavePath()).fileName();
        }
        QStringList listed;
        for (const auto& image : strip.GetImageList()) {
            QVERIFY(image->url.startsWith(server.baseUrl()));
            listed << image->fileName;
        }
        copies.sort();
        QCOMPARE(listed, copies);
        QCOMPARE(listed.size(), uploaded);
    }

    void goneWhileCopying_data()
    {
        QTest::addColumn<bool>("bDialog"); // false: only the thumbnail is deleted
        QTest::newRow("thumbnail deleted") << false;
        QTest::newRow("dialog destroyed") << true;
    }
    void goneWhileCopying()
    {
        QFETCH(bool, bDialog);

        // A file the strip is still decoding when its dialog goes.
        auto* early = new QWidget;
        (new UploadImageWidget(early))->AddImageFile(m_jpeg);
        delete early;

        auto* dialog = new QWidget;
        const QPointer<UploadImageWidget> strip = new UploadImageWidget(dialog);
        QStringList log;
        record(*strip, log);
        QSignalSpy saved(strip, &UploadImageWidget::SigCopySaved);
        bool bPending = false;
        const QPointer<UploadImageLabel> label = addWithFate(*strip, m_jpeg, Loads);
        bool bGone = false;
        whileCopying(label, &bPending, [&]() {
            if (bDialog)
                delete dialog;
            else
                clickDelete(label);
            bGone = true;
        });
        QTRY_VERIFY(bGone);
        QVERIFY(bPending);
        // The copy's outcome, had it been delivered, would have reached a freed thumbnail.
        QVERIFY(UploadImageLoader::WaitForCopies(kWaitMs));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(label.isNull());
        if (bDialog) {
            QVERIFY(strip.isNull());
            return;
        }
        QCOMPARE(saved.count(), 0);
        QCOMPARE(log.join(", "), QString("height true, height false"));
        // A copy finished for a deleted thumbnail is not used.
        strip->UploadImages();
        QCOMPARE(log.last(), QString("result true"));
        QVERIFY(strip->GetImageList().isEmpty());
        delete dialog;
    }
};

QTEST_MAIN(TestUploadImageWidget)

#include "tst_uploadimagewidget.moc"
