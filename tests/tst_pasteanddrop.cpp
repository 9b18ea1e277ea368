// Images into the feedback dialog by paste and by drop: a picture on the clipboard is attached
// as a capture is; files, pasted or dropped, each as if picked through Upload, with its checks,
// each kind of failure told once; no more than the strip takes; drags of anything but files are
// refused.

#include "DialogTestKit.h"
#include "PalGlobalAsync.h"
#include "TestMessageHandler.h"
#include "UploadImageLabel.h"
#include "UploadImageWidget.h"
#include "ZorConsultDialog.h"
#include "ZorToast.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QUrl>

using namespace DialogTestKit;

namespace {

const QString kTooLarge = QStringLiteral("The file exceeds the specified size");
const QString kWrongType = QStringLiteral("File format error");
const QString kNotOpened = QStringLiteral("File opening failed");
const QString kTip = QStringLiteral(
    "Upload a maximum of 5 files in JPG/PNG format and the size of the image is within 2M");

// Files by name: "N.png" / "N.jpg" a picture N pixels wide, "large.png" a picture of 2 MiB,
// "notes.png" text, "broken*.png" a PNG signature with nothing behind it, "cut*.png" a PNG
// whose header is whole and whose picture is cut off (found out only by decoding it),
// "folder" a folder,
// "http" a web address.
QList<QUrl> Urls(const QString& dir, const QStringList& names)
{
    QList<QUrl> urls;
    for (const QString& name : names) {
        const QString path = dir + QLatin1Char('/') + name;
        if (name == QLatin1String("http")) {
            urls.append(QUrl(QStringLiteral("http://127.0.0.1:9/picture.png")));
            continue;
        }
        urls.append(QUrl::fromLocalFile(path));
        if (QFileInfo::exists(path))
            continue;
        if (name == QLatin1String("folder")) {
            QDir().mkpath(path);
            continue;
        }
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        if (name == QLatin1String("notes.png")) {
            file.write("PC LOAD LETTER\n");
        } else if (name.startsWith(QLatin1String("broken"))) {
            file.write(QByteArray::fromHex("89504E470D0A1A0A") + QByteArray(500, 'x'));
        } else if (name.startsWith(QLatin1String("cut"))) {
            QImage noise(64, 64, QImage::Format_RGB32);
            for (int y = 0; y < noise.height(); ++y)
                for (int x = 0; x < noise.width(); ++x)
                    noise.setPixel(x, y, qRgb(x * 37 % 256, y * 91 % 256, (x * y) % 256));
            noise.save(&file, "PNG");
            file.close();
            QFile::resize(path, QFileInfo(path).size() / 2);
        } else if (name == QLatin1String("large.png")) {
            file.close();
            savePicture(path, QSize(8, 8));
            QFile grown(path);
            grown.resize(2097152);
        } else {
            file.close();
            savePicture(path, QSize(QFileInfo(name).baseName().toInt(), 10));
        }
    }
    return urls;
}

QStringList ToastTexts(const QSignalSpy& toasts)
{
    QStringList texts;
    for (const QVariantList& toast : toasts)
        texts.append(toast.constFirst().toString());
    return texts;
}

} // namespace

class TestPasteAndDrop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void paste_data();
    void paste();
    void limit_data();
    void limit();
    void drop_data();
    void drop();

private:
    // Widths of the attached pictures, in the strip's order, once all are loaded and copied.
    QList<int> AttachedWidths();

    HostSandbox m_sandbox;
    QString m_files;
    QPointer<ZorConsultDialog> m_dialog;
    UploadImageWidget* m_strip = nullptr;
    QSignalSpy* m_toasts = nullptr;
};

void TestPasteAndDrop::initTestCase()
{
    TestMessageHandler::install();
    TestMessageHandler::allow(QRegularExpression(QStringLiteral("^This plugin does not support")));
    TestMessageHandler::allow(QRegularExpression(QStringLiteral("^libpng ")));
    QVERIFY(m_sandbox.setUp());
    m_files = m_sandbox.path(QStringLiteral("files"));
    QVERIFY(QDir().mkpath(m_files));
}

void TestPasteAndDrop::init()
{
    m_toasts = new QSignalSpy(ZorToastNotifier::Instance(), &ZorToastNotifier::SigToastShown);
    m_dialog = new ZorConsultDialog(nullptr);
    m_dialog->show();
    m_dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_dialog));
    m_strip = m_dialog->findChild<UploadImageWidget*>();
    QVERIFY(m_strip);
    QGuiApplication::clipboard()->clear();
}

void TestPasteAndDrop::cleanup()
{
    delete m_dialog;
    delete m_toasts;
    QVERIFY(PalGlobalAsync::Instance()->WaitForDone(10000));
    QVERIFY(visibleWindows().isEmpty());
    QDir(m_sandbox.imageCacheDir()).removeRecursively();
}

QList<int> TestPasteAndDrop::AttachedWidths()
{
    QList<int> widths;
    // Files are decoded, and their thumbnails added, on the strip's worker.
    if (!QTest::qWaitFor([this] { return !m_strip->HasPendingCopy(); }, 10000))
        return {-1};
    const auto labels = m_strip->findChildren<UploadImageLabel*>();
    for (UploadImageLabel* label : labels) {
        if (!QTest::qWaitFor([label] { return !label->GetSavePath().isEmpty(); }, 10000))
            return {-1};
        widths.append(QImageReader(label->GetSavePath()).size().width());
    }
    return widths;
}

void TestPasteAndDrop::paste_data()
{
    QTest::addColumn<QString>("clipboard"); // "picture", "text", or file names
    QTest::addColumn<QString>("focus");     // the object name of the focused field, or empty
    QTest::addColumn<QList<int>>("attached");
    QTest::addColumn<QStringList>("toasts");

    using Widths = QList<int>;
    QTest::newRow("picture") << "picture" << QString() << Widths{30} << QStringList();
    QTest::newRow("two files, one too large")
        << "21.png large.png" << QString() << Widths{21} << QStringList{kTooLarge};
    QTest::newRow("two files, in order")
        << "23.jpg 22.png" << QString() << Widths{23, 22} << QStringList();
    QTest::newRow("a file and a folder")
        << "24.png folder" << QString() << Widths{} << QStringList();
    QTest::newRow("text") << "text" << QString() << Widths{} << QStringList();
    // The fields keep their own paste.
    QTest::newRow("text into the description") << "text"
                                               << "textEdit" << Widths{} << QStringList();
    QTest::newRow("picture while in the description") << "picture"
                                                      << "textEdit" << Widths{} << QStringList();
    QTest::newRow("digits into the telephone") << "text"
                                               << "phoneEdit" << Widths{} << QStringList();
}

void TestPasteAndDrop::paste()
{
    QFETCH(QString, clipboard);
    QFETCH(QString, focus);
    QFETCH(QList<int>, attached);
    QFETCH(QStringList, toasts);

    const QString text = QStringLiteral("13812345678");
    if (clipboard == QLatin1String("picture")) {
        QImage picture(30, 20, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QGuiApplication::clipboard()->setImage(picture);
    } else if (clipboard == QLatin1String("text")) {
        QGuiApplication::clipboard()->setText(text);
    } else {
        auto* mimeData = new QMimeData;
        mimeData->setUrls(Urls(m_files, clipboard.split(QLatin1Char(' '))));
        QGuiApplication::clipboard()->setMimeData(mimeData);
    }
    // Outside the text fields: on the category picker, where the dialog's focus starts.
    QWidget* target = m_dialog->findChild<QWidget*>(focus.isEmpty() ? "typeEdit" : focus);
    QVERIFY(target);
    target->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(target->hasFocus());

    QTest::keySequence(target, QKeySequence::Paste);
    QCOMPARE(ToastTexts(*m_toasts), toasts);
    QCOMPARE(AttachedWidths(), attached);
    QTRY_COMPARE(m_strip->isVisible(), !attached.isEmpty());
    const bool bIntoField = clipboard == QLatin1String("text") && !focus.isEmpty();
    QCOMPARE(m_dialog->findChild<QTextEdit*>("textEdit")->toPlainText(),
             bIntoField && focus == QLatin1String("textEdit") ? text : QString());
    QCOMPARE(m_dialog->findChild<QLineEdit*>("phoneEdit")->text(),
             bIntoField && focus == QLatin1String("phoneEdit") ? text : QString());
}

void TestPasteAndDrop::limit_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<QString>("way"); // "paste", "drop" or "picture"
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<int>("after");
    QTest::addColumn<QStringList>("toasts");

    QTest::newRow("paste of two files with four attached")
        << 4 << "paste" << QStringList{"31.png", "32.png"} << 5 << QStringList{kTip};
    QTest::newRow("drop of three files with five attached")
        << 5 << "drop" << QStringList{"31.png", "32.png", "33.png"} << 5 << QStringList{kTip};
    QTest::newRow("drop of one file with four attached")
        << 4 << "drop" << QStringList{"31.png"} << 5 << QStringList();
    // A refused file takes no place: the next one still fits.
    QTest::newRow("drop with four attached, the first too large")
        << 4 << "drop" << QStringList{"large.png", "31.png"} << 5 << QStringList{kTooLarge};
    QTest::newRow("picture with five attached")
        << 5 << "picture" << QStringList() << 5 << QStringList{kTip};
}

void TestPasteAndDrop::limit()
{
    QFETCH(int, before);
    QFETCH(QString, way);
    QFETCH(QStringList, offered);
    QFETCH(int, after);
    QFETCH(QStringList, toasts);

    const QString attached = m_files + QStringLiteral("/40.png");
    Urls(m_files, {"40.png"});
    for (int i = 0; i < before; ++i)
        m_strip->AddImage(false, attached);

    const QList<QUrl> urls = Urls(m_files, offered);
    if (way == QLatin1String("drop")) {
        QMimeData mimeData;
        mimeData.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mimeData, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(m_dialog, &enter);
        QDropEvent drop(QPoint(10, 10), Qt::CopyAction, &mimeData, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_dialog, &drop);
    } else {
        auto* mimeData = new QMimeData;
        if (way == QLatin1String("paste"))
            mimeData->setUrls(urls);
        else
            mimeData->setImageData(QImage(30, 20, QImage::Format_RGB32));
        QGuiApplication::clipboard()->setMimeData(mimeData);
        QTest::keySequence(QApplication::focusWidget(), QKeySequence::Paste);
    }
    QCOMPARE(ToastTexts(*m_toasts), toasts);
    QCOMPARE(m_strip->GetImageCount(), after);
    QCOMPARE(AttachedWidths().size(), after);
}

void TestPasteAndDrop::drop_data()
{
    QTest::addColumn<QString>("dragged"); // file names, or "text"
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QList<int>>("attached");
    QTest::addColumn<QStringList>("toasts");

    using Widths = QList<int>;
    // Each kind of failure is told once, whatever the number of files that fail so, in one
    // toast, one kind a line.
    QTest::newRow("mixed files")
        << "51.png large.png cut.png notes.png 52.jpg broken.png large.png cut2.png 53.png" << true
        << Widths{51, 52, 53} << QStringList{kTooLarge + '\n' + kWrongType + '\n' + kNotOpened};
    // The failure found only by decoding joins those told at the drop, in a toast of its own
    // (one toast shows at a time).
    QTest::newRow("a file found not to load later")
        << "56.png cut.png large.png" << true << Widths{56}
        << QStringList{kTooLarge, kTooLarge + '\n' + kNotOpened};
    QTest::newRow("one picture") << "54.png" << true << Widths{54} << QStringList();
    QTest::newRow("a folder") << "folder" << false << Widths{} << QStringList();
    QTest::newRow("a folder among pictures")
        << "55.png folder" << false << Widths{} << QStringList();
    QTest::newRow("a web address") << "http" << false << Widths{} << QStringList();
    QTest::newRow("text") << "text" << false << Widths{} << QStringList();
}

void TestPasteAndDrop::drop()
{
    QFETCH(QString, dragged);
    QFETCH(bool, accepted);
    QFETCH(QList<int>, attached);
    QFETCH(QStringList, toasts);

    QMimeData mimeData;
    if (dragged == QLatin1String("text"))
        mimeData.setText(QStringLiteral("a few words"));
    else
        mimeData.setUrls(Urls(m_files, dragged.split(QLatin1Char(' '))));
    auto* highlight = m_dialog->findChild<QWidget*>("dropHighlight");
    auto* row = m_dialog->findChild<QWidget*>("uploadImageWidget");
    auto* description = m_dialog->findChild<QTextEdit*>("textEdit");
    QVERIFY(highlight && row && description);

    // Over the description, which takes dropped text itself but no files.
    const QPoint at = description->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mimeData, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(description->viewport(), &enter);
    if (dragged == QLatin1String("text")) {
        QVERIFY(enter.isAccepted()); // the description's own
        QVERIFY(!highlight->isVisible());
        enter.ignore();
    }
    QDragEnterEvent enterDialog(m_dialog->rect().center(), Qt::CopyAction, &mimeData,
                                Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_dialog, &enterDialog);
    QCOMPARE(enterDialog.isAccepted(), accepted);
    QCOMPARE(highlight->isVisible(), accepted);
    if (!accepted)
        return;
    QCOMPARE(highlight->geometry(), row->rect());

    QDragLeaveEvent leave;
    QApplication::sendEvent(m_dialog, &leave);
    QVERIFY(!highlight->isVisible());
    QApplication::sendEvent(description->viewport(), &enter);
    QVERIFY(enter.isAccepted() && highlight->isVisible());
    QDropEvent drop(at, Qt::CopyAction, &mimeData, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(description->viewport(), &drop);
    QVERIFY(drop.isAccepted() && !highlight->isVisible());
    QCOMPARE(description->toPlainText(), QString());
    // A file may be found not to load only once decoded, after the drop.
    QTRY_COMPARE(ToastTexts(*m_toasts), toasts);
    QCOMPARE(AttachedWidths(), attached);
    QCOMPARE(ToastTexts(*m_toasts), toasts);
}

QTEST_MAIN(TestPasteAndDrop)
#include "tst_pasteanddrop.moc"
