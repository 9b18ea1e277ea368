// Images into the feedback dialog: a file chosen in the real file dialog and vetted for size,
// type and readability, and a capture by a stand-in capture program put first in PATH.

#include "DialogTestKit.h"
#include "PalGlobalAsync.h"
#include "TestMessageHandler.h"
#include "UploadImageLabel.h"
#include "UploadImageWidget.h"
#include "ZorCacheManager.h"
#include "ZorConsultDialog.h"
#include "ZorConsultLogic.h"
#include "ZorIconButtonWidget.h"
#include "ZorToast.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

using namespace DialogTestKit;

namespace {

const QString kCaptureProgram = QStringLiteral("PalScreenShotExecutor.exe");

enum Twist { Plain, Sparse3GiB, VanishesOnceChosen, Cancelled };

QByteArray encoded(int width, int height, QImage::Format format, const char* type)
{
    QImage image(width, height, format);
    image.fill(0);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, type);
    return bytes;
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

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

int savedCopies(const QString& dir)
{
    return QDir(dir).entryList({QStringLiteral("UploadImage*.jpg")}, QDir::Files).size();
}

bool writeCaptureProgram(const QString& dir, const QString& body)
{
    const QString path = QDir(dir).filePath(kCaptureProgram);
    return writeFile(path, ("#!/bin/sh\n" + body + "\n").toUtf8()) &&
           QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
}

void click(QWidget* dialog, const char* button)
{
    QTest::mouseClick(dialog->findChild<ZorIconButtonWidget*>(button), Qt::LeftButton);
}

// Answers the next modal file dialog with file (removed once chosen, before the dialog's
// caller gets its name, if bRemove) or, given none, cancels. Until then startDirectory, where
// the dialog opened, stays empty. The poll goes with owner.
void answerFileDialog(QObject* owner, QString* startDirectory, const QString& file, bool bRemove)
{
    auto* poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, poll, [=]() {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        *startDirectory = dialog->directory().absolutePath();
        if (file.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(file);
        // QFileDialog::accept checks the choice; it is public as QDialog's.
        static_cast<QDialog*>(dialog)->accept();
        if (bRemove)
            QFile::remove(file);
    });
    poll->start(5);
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
    void dialogDestroyedDuringCapture();

private:
    HostSandbox m_sandbox;
    QString m_programDir;
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
    QVERIFY(m_sandbox.setUp());
    // Qt's own file dialog, which the test can drive, on every platform.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);

    m_programDir = m_sandbox.path(QStringLiteral("bin"));
    qputenv("PATH", QFile::encodeName(m_programDir) + ':' + qgetenv("PATH"));
}

void TestImagePicking::init()
{
    ZorConsultLogic::Instance()->LoadOtherProblemTypes();
    m_toasts = new QSignalSpy(ZorToastNotifier::Instance(), &ZorToastNotifier::SigToastShown);
    m_dialog = new ZorConsultDialog(nullptr);
    m_dialog->InitData();
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
    QVERIFY(visibleWindows().isEmpty());
    ZorConsultLogic::ReleaseInstance();
    QDir(m_sandbox.imageCacheDir()).removeRecursively();
    QFile::remove(QDir(m_programDir).filePath(kCaptureProgram));
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
    const QString logBefore = readAll(m_sandbox.trackingLog());
    QString startDirectory;
    answerFileDialog(m_dialog, &startDirectory, twist == Cancelled ? QString() : path,
                     twist == VanishesOnceChosen);
    click(m_dialog, "uploadWidget");
    QCOMPARE(startDirectory, QDir(startBefore).absolutePath());
    // Refused or not, the next file dialog starts where this file was.
    QCOMPARE(ZorCacheManager::Instance()->GetDefaultExportPath(),
             twist == Cancelled ? startBefore : QFileInfo(path).absolutePath());

    QCOMPARE(m_toasts->count(), int(!toast.isEmpty()));
    if (!toast.isEmpty())
        QCOMPARE(m_toasts->first(),
                 (QVariantList{toast, int(TOAST_FAILED), QVariant::fromValue<QWidget*>(m_dialog)}));

    // Only a file that cannot be opened leaves a line in the host's tracking log.
    const QString logged = readAll(m_sandbox.trackingLog()).mid(logBefore.size());
    const QRegularExpression openFailed(
        QStringLiteral("^[^\t\n]+\t363\tOpenFileForReadFail\tError opening file %1, error: "
                       "[^\t\n]+\t-99999\t\tZorConsultDialog\\.cpp\\[\\d+\\] "
                       "SlotUploadClicked \n$")
            .arg(QRegularExpression::escape(path)));
    QVERIFY2(twist == VanishesOnceChosen ? openFailed.match(logged).hasMatch() : logged.isEmpty(),
             qPrintable(logged));

    const bool added = toast.isEmpty() && twist != Cancelled;
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    QTRY_COMPARE(strip->isVisible(), added);
    QCOMPARE(strip->findChildren<UploadImageLabel*>().size(), int(added));
    QCOMPARE(savedCopies(m_sandbox.imageCacheDir()), int(added));
}

void TestImagePicking::capture_data()
{
    QTest::addColumn<QString>("program"); // the stand-in's script; empty: no program at all
    QTest::addColumn<bool>("picture");    // on the clipboard
    QTest::addColumn<bool>("added");

    QTest::newRow("picture taken") << "exit 0" << true << true;
    QTest::newRow("exit 0, no picture") << "exit 0" << false << false;
    QTest::newRow("cancelled") << "exit 1" << true << false;
    QTest::newRow("program missing") << "" << true << false;
}

void TestImagePicking::capture()
{
    QFETCH(QString, program);
    QFETCH(bool, picture);
    QFETCH(bool, added);

    if (!program.isEmpty())
        QVERIFY(writeCaptureProgram(m_programDir, program));
    else if (!QStandardPaths::findExecutable(kCaptureProgram).isEmpty())
        QSKIP("another capture program is in PATH");
    if (!picture)
        QGuiApplication::clipboard()->clear();

    click(m_dialog, "captureWidget");
    QVERIFY(!m_dialog->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(m_dialog->isVisible(), 10000);

    // Without a picture the thumbnail is dropped once it finds none.
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    QTRY_COMPARE(strip->findChildren<UploadImageLabel*>().size(), int(added));
    QTRY_COMPARE(savedCopies(m_sandbox.imageCacheDir()), int(added));
    QCOMPARE(strip->isVisible(), added);
    QCOMPARE(m_toasts->count(), 0);
}

void TestImagePicking::dialogDestroyedDuringCapture()
{
    const QString started = m_sandbox.path(QStringLiteral("capture-started"));
    const QString go = m_sandbox.path(QStringLiteral("capture-go"));
    QVERIFY(writeCaptureProgram(m_programDir,
                                QStringLiteral("touch '%1'\n"
                                               "while [ ! -e '%2' ]; do sleep 0.02; done\n"
                                               "exit 0")
                                    .arg(started, go)));

    click(m_dialog, "captureWidget");
    QTRY_VERIFY(QFileInfo::exists(started));
    delete m_dialog;
    QVERIFY(writeFile(go, QByteArray()));
    QVERIFY(PalGlobalAsync::Instance()->WaitForDone(10000));

    // Completions run in order on the GUI thread: once this marker's has run, the capture's
    // has too.
    bool markerDone = false;
    PalGlobalAsync::Instance()->DoAsync([]() {}, [&markerDone]() { markerDone = true; });
    QTRY_VERIFY(markerDone);
    QCOMPARE(savedCopies(m_sandbox.imageCacheDir()), 0);
}

QTEST_MAIN(TestImagePicking)
#include "tst_imagepicking.moc"
