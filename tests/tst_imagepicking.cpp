// Bringing images into the feedback dialog: a file chosen through the real file dialog and
// vetted for size, type and readability, and a screen capture taken by a stand-in capture
// program that the test puts first in PATH.

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
#include <QtEndian>

#include <functional>

using namespace DialogTestKit;

namespace {

const QString kCaptureProgram = QStringLiteral("PalScreenShotExecutor.exe");

quint32 crc32(const QByteArray& data)
{
    static const auto table = []() {
        QVector<quint32> t(256);
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[int(n)] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (char byte : data)
        crc = table[int((crc ^ quint8(byte)) & 0xFF)] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

QByteArray bigEndian(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    return bigEndian(quint32(data.size())) + type + data + bigEndian(crc32(type + data));
}

// A small real PNG grown to exactly size bytes by a private ancillary chunk, which
// decoders skip.
QByteArray pngOfSize(qint64 size)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.save(&buffer, "PNG");
    const qint64 padding = size - png.size() - 12;
    if (padding < 0)
        return QByteArray();
    const QByteArray iend = png.right(12);
    png.chop(12);
    return png + pngChunk("tsTa", QByteArray(int(padding), 'p')) + iend;
}

// A valid one-bit grey PNG of the given pixel size: tiny on disk however large it is.
QByteArray monochromePng(quint32 width, quint32 height)
{
    QByteArray header = bigEndian(width) + bigEndian(height);
    header += QByteArray::fromHex("0100000000"); // depth 1, grey, deflate, no filter, no interlace
    const int rowBytes = 1 + int((width + 7) / 8); // filter byte, then the row
    const QByteArray pixels(rowBytes * int(height), '\0');
    const QByteArray zlib = qCompress(pixels, 9).mid(4); // without Qt's length prefix
    return QByteArray::fromHex("89504E470D0A1A0A") + pngChunk("IHDR", header) +
           pngChunk("IDAT", zlib) + pngChunk("IEND", QByteArray());
}

QByteArray jpegBytes()
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImage image(12, 9, QImage::Format_RGB32);
    image.fill(Qt::blue);
    image.save(&buffer, "JPEG");
    return jpeg;
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

// Answers the next modal file dialog: chooses a file (then runs afterAccept, still before
// the dialog's caller gets the name back) or cancels.
class FileDialogAnswer : public QObject
{
public:
    FileDialogAnswer(const QString& file, std::function<void()> afterAccept = {})
        : m_file(file), m_afterAccept(std::move(afterAccept))
    {
        connect(&m_poll, &QTimer::timeout, this, &FileDialogAnswer::answer);
        m_poll.start(5);
    }

    bool answered = false;
    QString startDirectory;
    QString caption;
    QString filter;

private:
    void answer()
    {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        m_poll.stop();
        answered = true;
        startDirectory = dialog->directory().absolutePath();
        caption = dialog->windowTitle();
        filter = dialog->nameFilters().join(QLatin1Char(';'));
        if (m_file.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(m_file);
        // QFileDialog::accept checks the choice; it is public as QDialog's.
        static_cast<QDialog*>(dialog)->accept();
        if (m_afterAccept)
            m_afterAccept();
    }

    QString m_file;
    std::function<void()> m_afterAccept;
    QTimer m_poll;
};

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
    void cancelChangesNothing();
    void capture_data();
    void capture();
    void dialogDestroyedDuringCapture();

private:
    void clickUpload();
    int thumbnails() const;
    bool writeCaptureProgram(const QString& body);

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
    QVERIFY(m_sandbox.setUp());
    // Qt's own file dialog, which the test can drive, on every platform.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);

    m_programDir = m_sandbox.path(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(m_programDir));
    qputenv("PATH", QFile::encodeName(m_programDir) + ':' + qgetenv("PATH"));
}

void TestImagePicking::init()
{
    ZorConsultLogic::Instance()->LoadOtherProblemTypes();
    m_toasts = new QSignalSpy(ZorToastNotifier::Instance(), &ZorToastNotifier::SigToastShown);
    m_dialog = new ZorConsultDialog(nullptr);
    m_dialog->InitData();
    m_dialog->show();
    QGuiApplication::clipboard()->clear();
}

void TestImagePicking::cleanup()
{
    delete m_dialog;
    delete m_toasts;
    m_toasts = nullptr;
    QVERIFY(PalGlobalAsync::Instance()->WaitForDone(10000));
    QVERIFY(visibleWindows().isEmpty());
    ZorConsultLogic::ReleaseInstance();
    QDir(m_sandbox.imageCacheDir()).removeRecursively();
    QFile::remove(QDir(m_programDir).filePath(kCaptureProgram));
}

void TestImagePicking::clickUpload()
{
    QTest::mouseClick(m_dialog->findChild<ZorIconButtonWidget*>(QStringLiteral("uploadWidget")),
                      Qt::LeftButton);
}

int TestImagePicking::thumbnails() const
{
    return m_dialog->findChild<UploadImageWidget*>()->findChildren<UploadImageLabel*>().size();
}

bool TestImagePicking::writeCaptureProgram(const QString& body)
{
    const QString path = QDir(m_programDir).filePath(kCaptureProgram);
    return writeFile(path, ("#!/bin/sh\n" + body + "\n").toUtf8()) &&
           QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
}

void TestImagePicking::pickFile_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("toast"); // empty: accepted
    QTest::addColumn<bool>("logged");

    const QString tooLarge = QStringLiteral("The file exceeds the specified size");
    const QString wrongType = QStringLiteral("File format error");
    const QString notOpened = QStringLiteral("File opening failed");

    QTest::newRow("one byte under 2 MiB") << "png:2097151"
                                          << "under.png"
                                          << "" << false;
    QTest::newRow("exactly 2 MiB") << "png:2097152"
                                   << "exact.png" << tooLarge << false;
    QTest::newRow("3 GiB, sparse") << "sparse:3221225472"
                                   << "huge.png" << tooLarge << false;
    QTest::newRow("PNG named .jpg") << "png:4000"
                                    << "photo.jpg"
                                    << "" << false;
    QTest::newRow("JPEG named .png") << "jpeg"
                                     << "photo.png"
                                     << "" << false;
    QTest::newRow("text named .png") << "text"
                                     << "notes.png" << wrongType << false;
    QTest::newRow("GIF named .png") << "gif"
                                    << "anim.png" << wrongType << false;
    QTest::newRow("empty file") << "empty"
                                << "empty.png" << wrongType << false;
    QTest::newRow("PNG signature, broken body") << "broken"
                                                << "broken.png" << notOpened << false;
    QTest::newRow("20000 x 20000 pixels in a small file") << "mono:20000"
                                                          << "bomb.png" << notOpened << false;
    QTest::newRow("2000 x 2000 pixels built the same way") << "mono:2000"
                                                           << "large.png"
                                                           << "" << false;
    QTest::newRow("no read permission") << "unreadable"
                                        << "locked.png" << wrongType << true;
    QTest::newRow("gone once chosen") << "vanishing"
                                      << "gone.png" << wrongType << true;
}

void TestImagePicking::pickFile()
{
    QFETCH(QString, content);
    QFETCH(QString, fileName);
    QFETCH(QString, toast);
    QFETCH(bool, logged);

    // Each row in a directory of its own, to see the start directory follow the choice.
    const QString dir = m_sandbox.path(QStringLiteral("rows/") + QTest::currentDataTag());
    const QString path = QDir(dir).filePath(fileName);
    const QString kind = content.section(QLatin1Char(':'), 0, 0);
    const qint64 number = content.section(QLatin1Char(':'), 1).toLongLong();
    std::function<void()> afterAccept;

    if (kind == QLatin1String("png")) {
        QVERIFY(writeFile(path, pngOfSize(number)));
        QCOMPARE(QFileInfo(path).size(), number);
    } else if (kind == QLatin1String("sparse")) {
        QVERIFY(writeFile(path, QByteArray()));
        QFile file(path);
        if (!file.resize(number))
            QSKIP("the file system cannot hold a sparse file this large");
    } else if (kind == QLatin1String("jpeg")) {
        QVERIFY(writeFile(path, jpegBytes()));
    } else if (kind == QLatin1String("text")) {
        QVERIFY(writeFile(path, "The printer says PC LOAD LETTER.\n"));
    } else if (kind == QLatin1String("gif")) {
        QVERIFY(writeFile(path, QByteArray("GIF89a") + QByteArray(64, '\0')));
    } else if (kind == QLatin1String("empty")) {
        QVERIFY(writeFile(path, QByteArray()));
    } else if (kind == QLatin1String("broken")) {
        // The decoder says what it thinks of the file; that is the point of this row.
        TestMessageHandler::allow(QRegularExpression(QStringLiteral("^libpng ")));
        QVERIFY(writeFile(path, QByteArray::fromHex("89504E470D0A1A0A") + QByteArray(500, 'x')));
    } else if (kind == QLatin1String("mono")) {
        QVERIFY(writeFile(path, monochromePng(quint32(number), quint32(number))));
        QVERIFY(QFileInfo(path).size() < 2097152);
    } else if (kind == QLatin1String("unreadable")) {
        QVERIFY(writeFile(path, pngOfSize(4000)));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        QFile probe(path);
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("file permissions do not keep this user from reading (running as root?); "
                  "the row \"gone once chosen\" covers a file that cannot be opened");
    } else if (kind == QLatin1String("vanishing")) {
        QVERIFY(writeFile(path, pngOfSize(4000)));
        afterAccept = [path]() { QFile::remove(path); };
    }

    const QString startBefore = ZorCacheManager::Instance()->GetDefaultExportPath();
    const QString logBefore = readAll(m_sandbox.trackingLog());
    FileDialogAnswer answer(path, afterAccept);
    clickUpload();
    QVERIFY(answer.answered);
    QCOMPARE(answer.startDirectory, QDir(startBefore).absolutePath());
    QCOMPARE(answer.filter, QStringLiteral("Image Files(*.png *.jpg)"));
    QCOMPARE(answer.caption, QStringLiteral("Choose Image"));

    // Refused or not, the next file dialog starts where this file was.
    QCOMPARE(ZorCacheManager::Instance()->GetDefaultExportPath(), QFileInfo(path).absolutePath());

    QCOMPARE(m_toasts->count(), toast.isEmpty() ? 0 : 1);
    if (!toast.isEmpty()) {
        QCOMPARE(m_toasts->first().at(0).toString(), toast);
        QCOMPARE(m_toasts->first().at(1).toInt(), int(TOAST_FAILED));
        QCOMPARE(m_toasts->first().at(2).value<QWidget*>(), m_dialog.data());
    }

    const QString logged_ = readAll(m_sandbox.trackingLog()).mid(logBefore.size());
    if (logged) {
        QCOMPARE(logged_.count(QLatin1Char('\n')), 1);
        for (const QString& part :
             {QStringLiteral("363"), QStringLiteral("OpenFileForReadFail"),
              QStringLiteral("Error opening file %1, error: ").arg(path), QStringLiteral("-99999"),
              QStringLiteral("ZorConsultDialog.cpp["), QStringLiteral("] SlotUploadClicked ")}) {
            QVERIFY2(logged_.contains(part), qPrintable(part + QStringLiteral(" in ") + logged_));
        }
    } else {
        QCOMPARE(logged_, QString());
    }

    if (!toast.isEmpty()) {
        QCOMPARE(thumbnails(), 0);
        return;
    }
    QCOMPARE(thumbnails(), 1);
    QTRY_VERIFY(m_dialog->findChild<UploadImageWidget*>()->isVisible());
    QCOMPARE(savedCopies(m_sandbox.imageCacheDir()), 1);
}

void TestImagePicking::cancelChangesNothing()
{
    const QString start = ZorCacheManager::Instance()->GetDefaultExportPath();
    const QString logBefore = readAll(m_sandbox.trackingLog());
    FileDialogAnswer answer{QString()};
    clickUpload();
    QVERIFY(answer.answered);
    QCOMPARE(ZorCacheManager::Instance()->GetDefaultExportPath(), start);
    QCOMPARE(m_toasts->count(), 0);
    QCOMPARE(thumbnails(), 0);
    QCOMPARE(readAll(m_sandbox.trackingLog()), logBefore);
    QVERIFY(m_dialog->isVisible());
}

void TestImagePicking::capture_data()
{
    QTest::addColumn<QString>("program"); // the stand-in's script; empty: no program at all
    QTest::addColumn<bool>("pictureOnClipboard");
    QTest::addColumn<bool>("added");

    QTest::newRow("picture taken") << "exit 0" << true << true;
    QTest::newRow("exit 0, no picture") << "exit 0" << false << false;
    QTest::newRow("cancelled") << "exit 1" << true << false;
    QTest::newRow("crashed") << "kill -SEGV $$" << true << false;
    QTest::newRow("program missing") << "" << true << false;
}

void TestImagePicking::capture()
{
    QFETCH(QString, program);
    QFETCH(bool, pictureOnClipboard);
    QFETCH(bool, added);

    if (program.isEmpty()) {
        if (!QStandardPaths::findExecutable(kCaptureProgram).isEmpty())
            QSKIP("another capture program is in PATH");
    } else {
        QVERIFY(writeCaptureProgram(program));
    }
    // The test process owns the clipboard here; the stand-in only decides the exit code.
    if (pictureOnClipboard) {
        QImage picture(30, 20, QImage::Format_RGB32);
        picture.fill(Qt::green);
        QGuiApplication::clipboard()->setImage(picture);
    } else {
        QGuiApplication::clipboard()->setText(QStringLiteral("no picture"));
    }

    QTest::mouseClick(m_dialog->findChild<ZorIconButtonWidget*>(QStringLiteral("captureWidget")),
                      Qt::LeftButton);
    QVERIFY(!m_dialog->isVisible());
    QVERIFY(PalGlobalAsync::Instance()->WaitForDone(10000));
    QTRY_VERIFY(m_dialog->isVisible());

    QCOMPARE(m_toasts->count(), 0);
    if (added) {
        QTRY_VERIFY(m_dialog->findChild<UploadImageWidget*>()->isVisible());
        QCOMPARE(thumbnails(), 1);
        QCOMPARE(savedCopies(m_sandbox.imageCacheDir()), 1);
    } else if (pictureOnClipboard) {
        // A thumbnail is made at once when an image is added: none was.
        QCOMPARE(thumbnails(), 0);
    } else {
        // Added, then dropped for want of a picture.
        QTRY_COMPARE(thumbnails(), 0);
        QCOMPARE(savedCopies(m_sandbox.imageCacheDir()), 0);
        QVERIFY(!m_dialog->findChild<UploadImageWidget*>()->isVisible());
    }
}

void TestImagePicking::dialogDestroyedDuringCapture()
{
    const QString started = m_sandbox.path(QStringLiteral("capture-started"));
    const QString go = m_sandbox.path(QStringLiteral("capture-go"));
    QFile::remove(started);
    QFile::remove(go);
    QVERIFY(writeCaptureProgram(QStringLiteral("touch '%1'\n"
                                               "while [ ! -e '%2' ]; do sleep 0.02; done\n"
                                               "exit 0")
                                    .arg(started, go)));
    QImage picture(30, 20, QImage::Format_RGB32);
    picture.fill(Qt::green);
    QGuiApplication::clipboard()->setImage(picture);

    QTest::mouseClick(m_dialog->findChild<ZorIconButtonWidget*>(QStringLiteral("captureWidget")),
                      Qt::LeftButton);
    QTRY_VERIFY(QFileInfo::exists(started));
    delete m_dialog;
    QVERIFY(writeFile(go, QByteArray()));
    QVERIFY(PalGlobalAsync::Instance()->WaitForDone(10000));

    // Completions run in order on the GUI thread: once this marker's has run, the capture's
    // has too.
    bool markerDone = false;
    PalGlobalAsync::Instance()->DoAsync([]() {}, [&markerDone]() { markerDone = true; });
    QTRY_VERIFY(markerDone);

    QVERIFY(visibleWindows().isEmpty());
    QCOMPARE(savedCopies(m_sandbox.imageCacheDir()), 0);
    QCOMPARE(m_toasts->count(), 0);
}

QTEST_MAIN(TestImagePicking)
#include "tst_imagepicking.moc"
