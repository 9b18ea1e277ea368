// Images into the feedback dialog: a file chosen in the real file dialog and vetted for size,
// type and readability, and a capture by a stand-in capture program put first in PATH.

#include "ConsultDescEntity.h"
#include "ConsultImageEntity.h"
#include "DialogTestKit.h"
#include "IHttpManager.h"
#include "ManualGateway.h"
#include "PalGlobalAsync.h"
#include "TestMessageHandler.h"
#include "UploadImageLabel.h"
#include "UploadImageLoader.h"
#include "UploadImageWidget.h"
#include "ZorCacheManager.h"
#include "ZorCategoryComBox.h"
#include "ZorConfigManager.h"
#include "ZorConsultDialog.h"
#include "ZorConsultLogic.h"
#include "ZorConsultManager.h"
#include "ZorIconButtonWidget.h"
#include "ZorToast.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

using namespace DialogTestKit;

namespace {

const QString kCaptureProgram = QStringLiteral("PalScreenShotExecutor.exe");

enum Twist { Plain, Sparse3GiB, VanishesOnceChosen, Cancelled, NoPicture, DialogDestroyed };

QByteArray encoded(int width, int height, QImage::Format format, const char* type)
{
    QImage image(width, height, format);
    image.fill(0);
    QBuffer buffer;
    image.save(&buffer, type);
    return buffer.data();
}

// A small real PNG grown to exactly size bytes by data after its end, which decoders skip.
QByteArray pngOfSize(int size)
{
    const QByteArray png = encoded(8, 8, QImage::Format_RGB32, "PNG");
    return png + QByteArray(size - png.size(), 'p');
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

int savedCopies(const QString& dir)
{
    return QDir(dir).entryList({QStringLiteral("UploadImage*.jpg")}, QDir::Files).size();
}

} // namespace

class TestImagePicking : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pickFile_data();
    void pickFile();
    void capture_data();
    void capture();
    void submitWhileCopying_data();
    void submitWhileCopying();

private:
    HostSandbox m_sandbox;
    QString m_program;
    QPointer<ZorConsultDialog> m_dialog;
    QSignalSpy* m_toasts = nullptr;
};

void TestImagePicking::initTestCase()
{
    TestMessageHandler::install();
    // The offscreen platform cannot raise windows or pass size hints on; that is no fault.
    TestMessageHandler::allow(QRegularExpression(QStringLiteral("^This plugin does not support")));
    // The decoder says what it thinks of a broken file; refusing that file is the point.
    TestMessageHandler::allow(QRegularExpression(QStringLiteral("^libpng ")));
    TestMessageHandler::allow(QRegularExpression(QStringLiteral("JPEG|marker")));
    QVERIFY(m_sandbox.setUp());
    // Qt's own file dialog, which the test can drive, on every platform.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);

    m_program = m_sandbox.path(QStringLiteral("bin/")) + kCaptureProgram;
    qputenv("PATH", QFile::encodeName(QFileInfo(m_program).path()) + ':' + qgetenv("PATH"));
}

void TestImagePicking::init()
{
    QFile::remove(m_sandbox.trackingLog());
    m_toasts = new QSignalSpy(ZorToastNotifier::Instance(), &ZorToastNotifier::SigToastShown);
    m_dialog = new ZorConsultDialog(nullptr);
    m_dialog->show();
    // A capture finds its picture on the clipboard, which the test process owns.
    QGuiApplication::clipboard()->setImage(
        QImage::fromData(encoded(30, 20, QImage::Format_RGB32, "PNG")));
}

void TestImagePicking::cleanup()
{
    delete m_dialog;
    delete m_toasts;
    QVERIFY(PalGlobalAsync::Instance()->WaitForDone(10000));
    QVERIFY(UploadImageLoader::WaitForCopies(30000));
    QVERIFY(visibleWindows().isEmpty());
    QDir(m_sandbox.imageCacheDir()).removeRecursively();
    QFile::remove(m_program);
}

void TestImagePicking::pickFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("twist");
    QTest::addColumn<QString>("toast"); // empty: accepted, or nothing chosen

    const QString tooLarge = QStringLiteral("The file exceeds the specified size");
    const QString wrongType = QStringLiteral("File format error");
    const QString notOpened = QStringLiteral("File opening failed");

    QTest::newRow("PNG named .jpg, 2 MiB - 1") << pngOfSize(2097151) << int(Plain) << QString();
    QTest::newRow("exactly 2 MiB") << pngOfSize(2097152) << int(Plain) << tooLarge;
    QTest::newRow("3 GiB, sparse") << QByteArray() << int(Sparse3GiB) << tooLarge;
    QTest::newRow("JPEG named .png")
        << encoded(12, 9, QImage::Format_RGB32, "JPEG") << int(Plain) << QString();
    QTest::newRow("text named .png") << QByteArray("PC LOAD LETTER\n") << int(Plain) << wrongType;
    // Its header passes; the decode on the worker fails, and says so after the pick.
    QImage noise(200, 150, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        QRandomGenerator(y).fillRange(reinterpret_cast<quint32*>(noise.scanLine(y)), noise.width());
    QBuffer jpeg;
    noise.save(&jpeg, "JPEG");
    QByteArray broken = jpeg.data();
    broken.replace(broken.size() / 2, 200, QByteArray(200, '\xFF'));
    QTest::newRow("JPEG, header fine, data broken") << broken << int(Plain) << notOpened;
    QTest::newRow("PNG signature, broken body")
        << QByteArray::fromHex("89504E470D0A1A0A") + QByteArray(500, 'x') << int(Plain)
        << notOpened;
    // 9000 x 9000 pixels decode to more than 256 MiB from a file of a few kilobytes.
    QTest::newRow("9000 x 9000 pixels in a small file")
        << encoded(9000, 9000, QImage::Format_Mono, "PNG") << int(Plain) << notOpened;
    QTest::newRow("2000 x 2000 pixels built the same way")
        << encoded(2000, 2000, QImage::Format_Mono, "PNG") << int(Plain) << QString();
    QTest::newRow("gone once chosen") << pngOfSize(4000) << int(VanishesOnceChosen) << wrongType;
    QTest::newRow("cancelled") << pngOfSize(4000) << int(Cancelled) << QString();
}

void TestImagePicking::pickFile()
{
    QFETCH(QByteArray, content);
    QFETCH(int, twist);
    QFETCH(QString, toast);

    // Each row in a directory of its own, to see the start directory follow the choice. A PNG
    // is named .jpg, anything else .png: the content decides, never the name.
    const QString path = m_sandbox.path(
        QStringLiteral("rows/%1/picked.%2")
            .arg(QTest::currentDataTag(), content.startsWith("\x89PNG") ? "jpg" : "png"));
    QVERIFY(writeFile(path, content));
    if (twist == Sparse3GiB && !QFile(path).resize(3221225472))
        QSKIP("the file system cannot hold a sparse file this large");

    const QString startBefore = ZorCacheManager::Instance()->GetDefaultExportPath();
    QString startDirectory;
    answerFileDialog(m_dialog, &startDirectory, twist == Cancelled ? QString() : path,
                     twist == VanishesOnceChosen);
    QTest::mouseClick(m_dialog->findChild<ZorIconButtonWidget*>("uploadWidget"), Qt::LeftButton);
    QCOMPARE(startDirectory, QDir(startBefore).absolutePath());
    // Refused or not, the next file dialog starts where this file was.
    QCOMPARE(ZorCacheManager::Instance()->GetDefaultExportPath(),
             twist == Cancelled ? startBefore : QFileInfo(path).absolutePath());

    const QVariantList shown{toast, int(TOAST_FAILED), QVariant::fromValue<QWidget*>(m_dialog)};
    // A picture that does not decode is reported once the worker has tried.
    QTRY_COMPARE(*m_toasts, toast.isEmpty() ? QList<QVariantList>() : QList<QVariantList>{shown});

    // Only a file that cannot be opened leaves a line in the host's tracking log.
    QFile log(m_sandbox.trackingLog());
    const QString logged = log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : "";
    const QRegularExpression openFailed(
        QStringLiteral("^[^\t\n]+\t363\tOpenFileForReadFail\tError opening file %1, error: "
                       "[^\t\n]+\t-99999\t\tZorConsultDialog\\.cpp\\[\\d+\\] "
                       "SlotUploadClicked \n$")
            .arg(QRegularExpression::escape(path)));
    QVERIFY2(twist == VanishesOnceChosen ? openFailed.match(logged).hasMatch() : logged.isEmpty(),
             qPrintable(logged));

    const bool added = toast.isEmpty() && twist != Cancelled;
    QTRY_COMPARE(m_dialog->findChild<UploadImageWidget*>()->isVisible(), added);
    QTRY_COMPARE(savedCopies(m_sandbox.imageCacheDir()), int(added));
}

void TestImagePicking::capture_data()
{
    QTest::addColumn<QString>("program"); // the stand-in's script; empty: no program at all
    QTest::addColumn<int>("twist");

    QTest::newRow("picture taken") << "exit 0" << int(Plain);
    QTest::newRow("exit 0, no picture") << "exit 0" << int(NoPicture);
    QTest::newRow("cancelled") << "exit 1" << int(Plain);
    QTest::newRow("program missing") << "" << int(Plain);
    QTest::newRow("dialog destroyed meanwhile")
        << "for i in $(seq 500); do [ -e \"$0.go\" ] && break; sleep 0.02; done"
        << int(DialogDestroyed);
}

void TestImagePicking::capture()
{
    QFETCH(QString, program);
    QFETCH(int, twist);

    QVERIFY(program.isEmpty() ||
            (writeFile(m_program, "#!/bin/sh\n" + program.toUtf8() + '\n') &&
             QFile::setPermissions(m_program, QFileDevice::ReadOwner | QFileDevice::ExeOwner)));
    if (twist == NoPicture)
        QGuiApplication::clipboard()->clear();

    QTest::mouseClick(m_dialog->findChild<ZorIconButtonWidget*>("captureWidget"), Qt::LeftButton);
    QVERIFY(!m_dialog->isVisible());
    if (twist == DialogDestroyed) {
        delete m_dialog;
        QVERIFY(writeFile(m_program + ".go", QByteArray()));
    }
    QVERIFY(PalGlobalAsync::Instance()->WaitForDone(10000));
    // Completions run in order: once this marker's has run, the capture's has too.
    bool markerDone = false;
    PalGlobalAsync::Instance()->DoAsync([]() {}, [&markerDone]() { markerDone = true; });
    QTRY_VERIFY(markerDone);

    const bool added = twist == Plain && program == QLatin1String("exit 0");
    QTRY_COMPARE(savedCopies(m_sandbox.imageCacheDir()), int(added));
    if (twist == DialogDestroyed)
        return;
    QVERIFY(m_dialog->isVisible());
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    // Without a picture the thumbnail is dropped once it finds none.
    QTRY_COMPARE(strip->HasImage(), added);
    QTRY_COMPARE(strip->isVisible(), added);
    QCOMPARE(m_toasts->count(), 0);
}

void TestImagePicking::submitWhileCopying_data()
{
    QTest::addColumn<QString>("then"); // right after the pick, its picture still loading
    QTest::newRow("submitted at once") << "submit";
    QTest::newRow("dialog destroyed while loading") << "destroy";
    QTest::newRow("dialog destroyed while copying") << "destroy once shown";
}

void TestImagePicking::submitWhileCopying()
{
    QFETCH(QString, then);

    LocalUploadServer server;
    QVERIFY(server.start());
    ZorConfigManager::Instance()->SetValue("image", "upload_url", server.uploadUrl());
    ManualGateway gateway;
    IHttpManager::SetInstance(&gateway);
    ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(categories(R"([
        {"businessTypeCode": "10", "businessTypeName": "Printer", "children": [
          {"businessTypeCode": "101", "businessTypeName": "Paper jam"}]}])"));
    m_dialog->InitData();
    m_dialog->findChild<ZorCategoryComBox*>("typeEdit")->SetCurrentId("10", "101");
    m_dialog->findChild<QTextEdit*>("textEdit")->setPlainText("Jams on every receipt");
    QTest::keyClicks(m_dialog->findChild<QLineEdit*>("phoneEdit"), "13812345678");

    const QString photo = savePicture(m_sandbox.path("photo/receipt.jpg"), QSize(1600, 1200));
    QString startDirectory;
    answerFileDialog(m_dialog, &startDirectory, photo, false);
    QTest::mouseClick(m_dialog->findChild<ZorIconButtonWidget*>("uploadWidget"), Qt::LeftButton);
    // Checked and handed on; decoded on a worker, it has no thumbnail yet.
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    QVERIFY(strip->HasImage() && strip->HasPendingCopy());
    QVERIFY(!m_dialog->findChild<UploadImageLabel*>());

    if (then == "submit") {
        m_dialog->findChild<QPushButton*>("submitButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(sentRecords(gateway).size(), 1, 30000);
        const auto files = sentRecords(gateway).first()->GetFileList();
        QCOMPARE(files.size(), 1);
        const auto* label = m_dialog->findChild<UploadImageLabel*>();
        QCOMPARE(files.first()->fileName, QFileInfo(label->GetSavePath()).fileName());
        QVERIFY(files.first()->url.startsWith(QLatin1String("http://127.0.0.1/img/")));
    } else if (then == "destroy") {
        delete m_dialog;
    } else {
        // Once shown (the strip grows the dialog), with the copy under way: its outcome is
        // posted after this.
        bool bPending = false;
        connect(
            strip, &UploadImageWidget::SigUpdateHeight, this,
            [&]() {
                bPending = m_dialog->findChild<UploadImageLabel*>()->IsCopyPending();
                delete m_dialog;
            },
            Qt::QueuedConnection);
        QTRY_VERIFY(m_dialog.isNull());
        QVERIFY(bPending);
    }
    // What is still under way for a destroyed dialog ends without touching it.
    QVERIFY(UploadImageLoader::WaitForCopies(30000));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCOMPARE(server.uploads, then == "submit" ? 1 : 0);
    IHttpManager::SetInstance(nullptr);
    ZorConsultLogic::ReleaseInstance();
    ZorConfigManager::Instance()->RemoveValue("image", "upload_url");
}

QTEST_MAIN(TestImagePicking)
#include "tst_imagepicking.moc"
