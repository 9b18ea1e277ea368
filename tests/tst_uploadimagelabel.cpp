// One thumbnail: where its picture comes from, the JPEG copy it leaves in the image cache,
// the rounded picture it shows, and the delete button that follows the cursor.

#include "DpiTool.h"
#include "TestMessageHandler.h"
#include "UploadImageLabel.h"
#include "ZorCacheManager.h"
#include "ZorConfigManager.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum class Saved { Yes, No, NotSignalledOnce };

QImage filled(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkRed);
    return image;
}

// Does not compress: far over the saved copy's limit as a JPEG of best quality.
QImage noise(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(12345);
    for (int y = 0; y < height; ++y)
        random.fillRange(reinterpret_cast<quint32*>(image.scanLine(y)), width);
    return image;
}

} // namespace

class TestUploadImageLabel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void source_data();
    void source();
    void largeCopyIsShrunk();
    void destroyedByItsSaveSignal();
    void deleteButtonFollowsCursor_data();
    void deleteButtonFollowsCursor();

private:
    // Gives the thumbnail its source and waits for its one SigImgSave.
    Saved load(UploadImageLabel& label, bool bClipboard, const QString& path);
    QStringList cachedFiles() const;

    QTemporaryDir m_dir;
    QString m_cacheDir;
};

void TestUploadImageLabel::initTestCase()
{
    TestMessageHandler::install();
    QVERIFY(m_dir.isValid());
    ZorConfigManager::Instance()->SetConfigFile(m_dir.filePath(QStringLiteral("host.ini")));

    QVERIFY(filled(640, 320).save(m_dir.filePath(QStringLiteral("wide.png")), "PNG"));
    QVERIFY(filled(320, 640).save(m_dir.filePath(QStringLiteral("tall.png")), "PNG"));
    QFile text(m_dir.filePath(QStringLiteral("text.png")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("no picture here");
}

void TestUploadImageLabel::init()
{
    // A directory that does not exist yet, several levels deep, fresh for every test.
    static int run = 0;
    m_cacheDir = m_dir.filePath(QStringLiteral("cache%1/images/").arg(++run));
    ZorCacheManager::Instance()->SetImageCacheDir(m_cacheDir);
    QGuiApplication::clipboard()->clear();
}

void TestUploadImageLabel::cleanup()
{
    DpiTool::SetScaleFactor(1.0);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

Saved TestUploadImageLabel::load(UploadImageLabel& label, bool bClipboard, const QString& path)
{
    QSignalSpy saved(&label, &UploadImageLabel::SigImgSave);
    label.SetImage(bClipboard, path);
    // One event-loop turn later, never inside SetImage.
    if (saved.count() != 0 || !saved.wait(10000) || saved.count() != 1)
        return Saved::NotSignalledOnce;
    return saved.at(0).at(0).toBool() ? Saved::Yes : Saved::No;
}

QStringList TestUploadImageLabel::cachedFiles() const
{
    return QDir(m_cacheDir).entryList(QDir::Files);
}

void TestUploadImageLabel::source_data()
{
    QTest::addColumn<bool>("bClipboard");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QVariant>("clipboard");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QSize>("savedSize");
    // Where the picture lies in the square thumbnail; the rest is transparent.
    QTest::addColumn<QRect>("picture");

    const QVariant small = filled(32, 16);
    QTest::newRow("file despite clipboard picture")
        << false << "wide.png" << small << 1.0 << QSize(640, 320) << QRect(0, 16, 64, 32);
    QTest::newRow("tall file at 200%")
        << false << "tall.png" << QVariant() << 2.0 << QSize(320, 640) << QRect(32, 0, 64, 128);
    QTest::newRow("small clipboard picture, not the file")
        << true << "wide.png" << small << 1.0 << QSize(32, 16) << QRect(0, 16, 64, 32);
    QTest::newRow("not a picture")
        << false << "text.png" << QVariant() << 1.0 << QSize() << QRect();
    QTest::newRow("clipboard text, file ignored")
        << true << "wide.png" << QVariant(QStringLiteral("just text")) << 1.0 << QSize() << QRect();
}

void TestUploadImageLabel::source()
{
    QFETCH(bool, bClipboard);
    QFETCH(QString, file);
    QFETCH(QVariant, clipboard);
    QFETCH(double, scale);
    QFETCH(QSize, savedSize);
    QFETCH(QRect, picture);

    DpiTool::SetScaleFactor(scale);
    if (clipboard.type() == QVariant::Image)
        QGuiApplication::clipboard()->setImage(clipboard.value<QImage>());
    else if (clipboard.isValid())
        QGuiApplication::clipboard()->setText(clipboard.toString());

    UploadImageLabel label;
    QCOMPARE(load(label, bClipboard, m_dir.filePath(file)),
             savedSize.isValid() ? Saved::Yes : Saved::No);
    QCOMPARE(cachedFiles().size(), int(savedSize.isValid()));
    if (!savedSize.isValid()) {
        QCOMPARE(label.GetSavePath(), QString());
        return;
    }

    // The cache directory is made when missing; the name is what the service is sent.
    const QRegularExpression name(QStringLiteral("^") + QRegularExpression::escape(m_cacheDir) +
                                  QStringLiteral("UploadImage[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-"
                                                 "[0-9a-f]{4}-[0-9a-f]{12}\\.jpg$"));
    QVERIFY2(name.match(label.GetSavePath()).hasMatch(), qPrintable(label.GetSavePath()));
    QImageReader reader(label.GetSavePath());
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QCOMPARE(reader.size(), savedSize);
    UploadImageLabel again;
    QCOMPARE(load(again, bClipboard, m_dir.filePath(file)), Saved::Yes);
    QVERIFY(again.GetSavePath() != label.GetSavePath());

    const QImage shown = label.pixmap(Qt::ReturnByValue).toImage();
    const int side = qRound(64 * scale);
    QCOMPARE(shown.size(), QSize(side, side));
    const QPoint outside = picture.top() > 0 ? QPoint(side / 2, picture.top() / 2)
                                             : QPoint(picture.left() / 2, side / 2);
    QCOMPARE(qAlpha(shown.pixel(outside)), 0);
    for (const QPoint& inside :
         {picture.center(), picture.topLeft() + QPoint(3, 3), picture.bottomRight() - QPoint(3, 3)})
        QCOMPARE(shown.pixelColor(inside), QColor(Qt::darkRed));
}

void TestUploadImageLabel::largeCopyIsShrunk()
{
    const QString path = m_dir.filePath(QStringLiteral("noise.jpg"));
    QVERIFY(noise(1200, 900).save(path, "JPEG", 100));
    QVERIFY(QFileInfo(path).size() > 1048576);

    UploadImageLabel label;
    QCOMPARE(load(label, false, path), Saved::Yes);
    QVERIFY(QFileInfo(label.GetSavePath()).size() <= 1048576);
    const QImage reread(label.GetSavePath(), "JPEG");
    QVERIFY(!reread.isNull());
    QCOMPARE(double(reread.width()) / reread.height(), 4.0 / 3.0);
}

void TestUploadImageLabel::destroyedByItsSaveSignal()
{
    // The strip drops a thumbnail from inside its save signal; nothing may touch it after.
    QPointer<UploadImageLabel> label = new UploadImageLabel;
    connect(label, &UploadImageLabel::SigImgSave, this, [&label]() { delete label; });
    label->SetImage(false, m_dir.filePath(QStringLiteral("wide.png")));
    QTRY_VERIFY(label.isNull());
    QVERIFY(cachedFiles().isEmpty());
}

void TestUploadImageLabel::deleteButtonFollowsCursor_data()
{
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<bool>("visibleAfter"); // after the move; the opposite before it

    // The thumbnail, 64 x 64, moves to (100, 20) inside its window.
    QTest::newRow("bottom-right edge under the cursor") << QPoint(163, 83) << true;
    QTest::newRow("cursor just right of it") << QPoint(164, 50) << false;
}

void TestUploadImageLabel::deleteButtonFollowsCursor()
{
    QFETCH(QPoint, cursor);
    QFETCH(bool, visibleAfter);

    QWidget window;
    auto* label = new UploadImageLabel(&window);
    label->setGeometry(200, 20, 64, 64);
    auto* button = label->findChild<QPushButton*>(QStringLiteral("imgDelBtn"));
    QVERIFY(button);
    button->resize(20, 20);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // The cursor rests away from the thumbnail; then crosses it, or not.
    QCursor::setPos(window.mapToGlobal(cursor));
    QTRY_COMPARE(QCursor::pos(), window.mapToGlobal(cursor));
    QCoreApplication::processEvents();
    QVERIFY(!button->isVisible());
    QEvent crossing(visibleAfter ? QEvent::Leave : QEvent::Enter);
    QApplication::sendEvent(label, &crossing);
    QCOMPARE(button->isVisible(), !visibleAfter);

    // The thumbnail comes to the resting cursor or leaves it.
    label->move(100, 20);
    QCOMPARE(button->isVisible(), visibleAfter);

    // Centred, also once the thumbnail has grown.
    label->resize(101, 81);
    QCOMPARE(button->pos(), QPoint(40, 30));
}

QTEST_MAIN(TestUploadImageLabel)

#include "tst_uploadimagelabel.moc"
