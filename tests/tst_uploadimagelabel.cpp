// One thumbnail: where its picture comes from, the JPEG copy it leaves in the image cache,
// the rounded picture it shows, and the delete button that follows the cursor.

#include "DpiTool.h"
#include "TestMessageHandler.h"
#include "UploadImageLabel.h"
#include "ZorCacheManager.h"
#include "ZorConfigManager.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopedPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum class Clipboard { Empty, Picture, Text };

// Columns of one pixel, alternately black and white: a nearest-pixel reduction keeps pure
// black or white, a smoothing one turns them grey.
QImage stripes(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int x = 0; x < width; ++x) {
        const QRgb colour = x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
        for (int y = 0; y < height; ++y)
            image.setPixel(x, y, colour);
    }
    return image;
}

QImage noise(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 state = 12345;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            line[x] = 0xff000000u | (state >> 8);
        }
    }
    return image;
}

QByteArray jpegAt100(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 100);
    return bytes;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(Clipboard)

class TestUploadImageLabel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void source_data();
    void source();
    void savedPathIsFreshInCacheDir();
    void savedCopy_data();
    void savedCopy();
    void savePathSetAfterSignal();
    void thumbnailScaling_data();
    void thumbnailScaling();
    void deleteButtonOnEnterAndLeave();
    void deleteButtonClickEmitsDelete();
    void deleteButtonFollowsMove_data();
    void deleteButtonFollowsMove();
    void deleteButtonCentred_data();
    void deleteButtonCentred();

private:
    // Gives the thumbnail its source and waits for its one SigImgSave.
    bool load(UploadImageLabel& label, bool bClipboard, const QString& path, bool* bSuc);
    QStringList cachedFiles() const;

    QTemporaryDir m_dir;
    QString m_cacheDir;
    QString m_widePng;
    QString m_tallJpeg;
    QString m_textFile;
};

void TestUploadImageLabel::initTestCase()
{
    TestMessageHandler::install();
    QVERIFY(m_dir.isValid());
    ZorConfigManager::Instance()->SetConfigFile(m_dir.filePath(QStringLiteral("host.ini")));

    m_widePng = m_dir.filePath(QStringLiteral("wide.png"));
    QVERIFY(stripes(640, 320).save(m_widePng, "PNG"));
    m_tallJpeg = m_dir.filePath(QStringLiteral("tall.jpg"));
    QVERIFY(stripes(30, 60).save(m_tallJpeg, "JPEG", 95));
    m_textFile = m_dir.filePath(QStringLiteral("text.png"));
    QFile text(m_textFile);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("no picture here");
}

void TestUploadImageLabel::init()
{
    // A directory that does not exist yet, several levels deep, fresh for every test.
    static int run = 0;
    m_cacheDir = m_dir.filePath(QStringLiteral("cache%1/images/").arg(++run));
    ZorCacheManager::Instance()->SetImageCacheDir(m_cacheDir);
    DpiTool::SetScaleFactor(1.0);
    QGuiApplication::clipboard()->clear();
}

void TestUploadImageLabel::cleanup()
{
    DpiTool::SetScaleFactor(1.0);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

bool TestUploadImageLabel::load(UploadImageLabel& label, bool bClipboard, const QString& path,
                                bool* bSuc)
{
    QSignalSpy saved(&label, &UploadImageLabel::SigImgSave);
    label.SetImage(bClipboard, path);
    // One event-loop turn later, never inside SetImage.
    if (saved.count() != 0 || !saved.wait(10000) || saved.count() != 1)
        return false;
    *bSuc = saved.at(0).at(0).toBool();
    return true;
}

QStringList TestUploadImageLabel::cachedFiles() const
{
    return QDir(m_cacheDir).entryList(QDir::Files);
}

void TestUploadImageLabel::source_data()
{
    QTest::addColumn<bool>("bClipboard");
    QTest::addColumn<QString>("file");
    QTest::addColumn<Clipboard>("clipboard");
    QTest::addColumn<QSize>("savedSize");

    const QSize none;
    QTest::newRow("png file") << false << QStringLiteral("wide.png") << Clipboard::Empty
                              << QSize(640, 320);
    QTest::newRow("jpeg file") << false << QStringLiteral("tall.jpg") << Clipboard::Empty
                               << QSize(30, 60);
    QTest::newRow("file despite clipboard picture")
        << false << QStringLiteral("tall.jpg") << Clipboard::Picture << QSize(30, 60);
    QTest::newRow("missing file") << false << QStringLiteral("gone.png") << Clipboard::Empty
                                  << none;
    QTest::newRow("not a picture")
        << false << QStringLiteral("text.png") << Clipboard::Empty << none;
    QTest::newRow("no file") << false << QString() << Clipboard::Picture << none;
    QTest::newRow("clipboard picture") << true << QString() << Clipboard::Picture << QSize(50, 40);
    QTest::newRow("clipboard picture, not the file")
        << true << QStringLiteral("wide.png") << Clipboard::Picture << QSize(50, 40);
    QTest::newRow("clipboard text only") << true << QString() << Clipboard::Text << none;
    QTest::newRow("clipboard text, file ignored")
        << true << QStringLiteral("wide.png") << Clipboard::Text << none;
    QTest::newRow("clipboard empty") << true << QString() << Clipboard::Empty << none;
}

void TestUploadImageLabel::source()
{
    QFETCH(bool, bClipboard);
    QFETCH(QString, file);
    QFETCH(Clipboard, clipboard);
    QFETCH(QSize, savedSize);

    if (clipboard == Clipboard::Picture) {
        QPixmap picture(50, 40);
        picture.fill(Qt::darkCyan);
        QGuiApplication::clipboard()->setPixmap(picture);
    } else if (clipboard == Clipboard::Text) {
        QGuiApplication::clipboard()->setText(QStringLiteral("just some text"));
    }

    UploadImageLabel label;
    bool bSuc = false;
    QVERIFY(load(label, bClipboard, file.isEmpty() ? QString() : m_dir.filePath(file), &bSuc));
    QCOMPARE(bSuc, savedSize.isValid());

    if (!savedSize.isValid()) {
        QCOMPARE(label.GetSavePath(), QString());
        QVERIFY(cachedFiles().isEmpty());
        QVERIFY(label.pixmap(Qt::ReturnByValue).isNull());
        return;
    }
    QCOMPARE(cachedFiles().size(), 1);
    QImageReader reader(label.GetSavePath());
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QCOMPARE(reader.size(), savedSize);
    QCOMPARE(label.pixmap(Qt::ReturnByValue).size(), QSize(64, 64));
}

void TestUploadImageLabel::savedPathIsFreshInCacheDir()
{
    QVERIFY(!QDir(m_cacheDir).exists());
    UploadImageLabel first;
    UploadImageLabel second;
    bool bSuc = false;
    QVERIFY(load(first, false, m_widePng, &bSuc) && bSuc);
    QVERIFY(load(second, false, m_widePng, &bSuc) && bSuc);

    const QRegularExpression form(QStringLiteral("^") + QRegularExpression::escape(m_cacheDir) +
                                  QStringLiteral("UploadImage[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-"
                                                 "[0-9a-f]{4}-[0-9a-f]{12}\\.jpg$"));
    QVERIFY2(form.match(first.GetSavePath()).hasMatch(), qPrintable(first.GetSavePath()));
    QVERIFY2(form.match(second.GetSavePath()).hasMatch(), qPrintable(second.GetSavePath()));
    QVERIFY(first.GetSavePath() != second.GetSavePath());
    QCOMPARE(cachedFiles().size(), 2);
}

void TestUploadImageLabel::savedCopy_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<bool>("underLimit");

    QTest::newRow("small: best quality, untouched") << stripes(640, 320) << true;
    QTest::newRow("large: shrunk to the limit") << noise(1200, 900) << false;
}

void TestUploadImageLabel::savedCopy()
{
    QFETCH(QImage, image);
    QFETCH(bool, underLimit);
    const QString path = m_dir.filePath(QStringLiteral("source.png"));
    QVERIFY(image.save(path, "PNG"));
    const QByteArray atBest = jpegAt100(image);
    QCOMPARE(atBest.size() <= 1048576, underLimit);

    UploadImageLabel label;
    bool bSuc = false;
    QVERIFY(load(label, false, path, &bSuc) && bSuc);
    const QByteArray saved = readFile(label.GetSavePath());
    if (underLimit) {
        QCOMPARE(saved, atBest);
        return;
    }
    QVERIFY2(saved.size() <= 1048576, QByteArray::number(saved.size()).constData());
    const QImage reread = QImage::fromData(saved, "JPEG");
    QVERIFY(!reread.isNull());
    QCOMPARE(double(reread.width()) / reread.height(), 4.0 / 3.0);
}

void TestUploadImageLabel::savePathSetAfterSignal()
{
    UploadImageLabel label;
    QString pathInHandler = QStringLiteral("not called");
    bool bPictureInHandler = true;
    connect(&label, &UploadImageLabel::SigImgSave, this, [&](bool) {
        pathInHandler = label.GetSavePath();
        bPictureInHandler = !label.pixmap(Qt::ReturnByValue).isNull();
    });
    bool bSuc = false;
    QVERIFY(load(label, false, m_widePng, &bSuc) && bSuc);
    QCOMPARE(pathInHandler, QString());
    QVERIFY(!bPictureInHandler);
    QVERIFY(!label.GetSavePath().isEmpty());
    QVERIFY(!label.pixmap(Qt::ReturnByValue).isNull());
}

void TestUploadImageLabel::thumbnailScaling_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QRect>("picture");

    QTest::newRow("640x320 at 100%") << QSize(640, 320) << 1.0 << QRect(0, 16, 64, 32);
    QTest::newRow("320x640 at 100%") << QSize(320, 640) << 1.0 << QRect(16, 0, 32, 64);
    QTest::newRow("640x320 at 200%") << QSize(640, 320) << 2.0 << QRect(0, 32, 128, 64);
    QTest::newRow("32x16 enlarged") << QSize(32, 16) << 1.0 << QRect(0, 16, 64, 32);
}

void TestUploadImageLabel::thumbnailScaling()
{
    QFETCH(QSize, source);
    QFETCH(double, scale);
    QFETCH(QRect, picture);
    DpiTool::SetScaleFactor(scale);
    const QString path = m_dir.filePath(QStringLiteral("stripes.png"));
    QVERIFY(stripes(source.width(), source.height()).save(path, "PNG"));

    UploadImageLabel label;
    bool bSuc = false;
    QVERIFY(load(label, false, path, &bSuc) && bSuc);
    const QImage shown = label.pixmap(Qt::ReturnByValue).toImage();
    const int side = qRound(64 * scale);
    QCOMPARE(shown.size(), QSize(side, side));

    // Outside the picture the thumbnail is transparent; inside, away from the rounded
    // corners, every pixel is one of the stripes' colours, not a blend of them.
    const QPoint outside = picture.top() > 0 ? QPoint(side / 2, picture.top() / 2)
                                             : QPoint(picture.left() / 2, side / 2);
    QCOMPARE(qAlpha(shown.pixel(outside)), 0);
    const QRect inner = picture.adjusted(4, 4, -4, -4);
    for (int y = inner.top(); y <= inner.bottom(); y += 3) {
        for (int x = inner.left(); x <= inner.right(); ++x) {
            const QRgb pixel = shown.pixel(x, y);
            QCOMPARE(qAlpha(pixel), 255);
            QVERIFY2(
                qGray(pixel) == 0 || qGray(pixel) == 255,
                qPrintable(QStringLiteral("grey %1 at %2,%3").arg(qGray(pixel)).arg(x).arg(y)));
        }
    }
}

void TestUploadImageLabel::deleteButtonOnEnterAndLeave()
{
    QWidget window;
    auto* label = new UploadImageLabel(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* button = label->findChild<QPushButton*>(QStringLiteral("imgDelBtn"));
    QVERIFY(button);
    QVERIFY(!button->isVisible());

    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(label, &enter);
    QVERIFY(button->isVisible());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(label, &leave);
    QVERIFY(!button->isVisible());
}

void TestUploadImageLabel::deleteButtonClickEmitsDelete()
{
    QWidget window;
    auto* label = new UploadImageLabel(&window);
    label->resize(64, 64);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(label, &enter);
    auto* button = label->findChild<QPushButton*>(QStringLiteral("imgDelBtn"));
    QVERIFY(button && button->isVisible());

    QSignalSpy deleted(label, &UploadImageLabel::SigDelete);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(deleted.count(), 1);
}

void TestUploadImageLabel::deleteButtonFollowsMove_data()
{
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<bool>("visibleBefore");
    QTest::addColumn<bool>("visibleAfter");

    // The thumbnail, 64 x 64, moves to (100, 20) inside its window.
    QTest::newRow("onto the cursor") << QPoint(130, 50) << false << true;
    QTest::newRow("top-left edge under the cursor") << QPoint(100, 20) << false << true;
    QTest::newRow("bottom-right edge under the cursor") << QPoint(163, 83) << false << true;
    QTest::newRow("cursor just right of it") << QPoint(164, 50) << true << false;
    QTest::newRow("cursor just above it") << QPoint(130, 19) << true << false;
    QTest::newRow("away from the cursor") << QPoint(10, 10) << true << false;
}

void TestUploadImageLabel::deleteButtonFollowsMove()
{
    QFETCH(QPoint, cursor);
    QFETCH(bool, visibleBefore);
    QFETCH(bool, visibleAfter);

    QWidget window;
    window.resize(300, 120);
    auto* label = new UploadImageLabel(&window);
    label->setGeometry(200, 20, 64, 64);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* button = label->findChild<QPushButton*>(QStringLiteral("imgDelBtn"));
    QVERIFY(button);

    // The cursor rests first; then the thumbnail comes to it or leaves it.
    QCursor::setPos(window.mapToGlobal(cursor));
    QTRY_COMPARE(QCursor::pos(), window.mapToGlobal(cursor));
    QCoreApplication::processEvents();
    QEvent crossing(visibleBefore ? QEvent::Enter : QEvent::Leave);
    QApplication::sendEvent(label, &crossing);
    QCOMPARE(button->isVisible(), visibleBefore);

    label->move(100, 20);
    QCOMPARE(button->isVisible(), visibleAfter);
}

void TestUploadImageLabel::deleteButtonCentred_data()
{
    QTest::addColumn<QSize>("labelSize");
    QTest::addColumn<QSize>("buttonSize");
    QTest::addColumn<QPoint>("position");
    QTest::addColumn<QSize>("grownSize");
    QTest::addColumn<QPoint>("grownPosition");

    QTest::newRow("even") << QSize(64, 64) << QSize(20, 20) << QPoint(22, 22) << QSize(100, 64)
                          << QPoint(40, 22);
    QTest::newRow("odd remainder dropped")
        << QSize(101, 81) << QSize(20, 20) << QPoint(40, 30) << QSize(131, 82) << QPoint(55, 31);
    QTest::newRow("button wider, rounded towards zero")
        << QSize(10, 10) << QSize(21, 21) << QPoint(-5, -5) << QSize(12, 30) << QPoint(-4, 4);
}

void TestUploadImageLabel::deleteButtonCentred()
{
    QFETCH(QSize, labelSize);
    QFETCH(QSize, buttonSize);
    QFETCH(QPoint, position);
    QFETCH(QSize, grownSize);
    QFETCH(QPoint, grownPosition);

    UploadImageLabel label;
    auto* button = label.findChild<QPushButton*>(QStringLiteral("imgDelBtn"));
    QVERIFY(button);
    button->resize(buttonSize);
    label.resize(labelSize);
    // The resize is delivered at once to a visible widget, and when shown to a hidden one.
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));
    QCOMPARE(button->pos(), position);

    label.resize(grownSize);
    QCOMPARE(button->pos(), grownPosition);
}

QTEST_MAIN(TestUploadImageLabel)

#include "tst_uploadimagelabel.moc"
