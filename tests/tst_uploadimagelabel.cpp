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

QImage filled(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkRed);
    return image;
}

// The argument of the thumbnail's one SigImgSave on a later turn, once its copy is done;
// invalid otherwise, and also when the copy breaks its contract: the save path must be
// unknown at SigImgSave, and at SigCopyDone(true) known, with at most 1 MiB written there.
QVariant load(UploadImageLabel& label, bool bClipboard, const QString& path,
              const QImage& picture = QImage())
{
    bool bKept = true;
    QObject::connect(&label, &UploadImageLabel::SigImgSave, &label,
                     [&]() { bKept = bKept && label.GetSavePath().isEmpty(); });
    QObject::connect(&label, &UploadImageLabel::SigCopyDone, &label, [&]() {
        const QFileInfo copy(label.GetSavePath());
        bKept = bKept && copy.isFile() && copy.size() <= 1048576;
    });
    QSignalSpy saved(&label, &UploadImageLabel::SigImgSave);
    QSignalSpy copied(&label, &UploadImageLabel::SigCopyDone);
    if (picture.isNull())
        label.SetImage(bClipboard, path);
    else
        label.SetImage(picture);
    if (saved.count() != 0 || !saved.wait(10000) || saved.count() != 1)
        return QVariant();
    const bool bLoaded = saved.at(0).at(0).toBool();
    if (bLoaded && copied.isEmpty() && !copied.wait(30000))
        return QVariant();
    if (copied != (bLoaded ? QList<QVariantList>{{true}} : QList<QVariantList>()) || !bKept)
        return QVariant();
    return bLoaded;
}

} // namespace

class TestUploadImageLabel : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_cacheDir;

    QStringList cachedFiles() const { return QDir(m_cacheDir).entryList(QDir::Files); }

private slots:
    void initTestCase()
    {
        TestMessageHandler::install();
        QVERIFY(m_dir.isValid());
        ZorConfigManager::Instance()->SetConfigFile(m_dir.filePath(QStringLiteral("host.ini")));
        QVERIFY(filled(640, 320).save(m_dir.filePath(QStringLiteral("wide.png")), "PNG"));
        QVERIFY(filled(320, 640).save(m_dir.filePath(QStringLiteral("tall.png")), "PNG"));
        QFile text(m_dir.filePath(QStringLiteral("text.png")));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("no picture here") > 0);
    }
    void init()
    {
        // A directory that does not exist yet, several levels deep, fresh for every test.
        static int run = 0;
        m_cacheDir = m_dir.filePath(QStringLiteral("cache%1/images/").arg(++run));
        ZorCacheManager::Instance()->SetImageCacheDir(m_cacheDir);
        QGuiApplication::clipboard()->clear();
    }
    void cleanup()
    {
        DpiTool::SetScaleFactor(1.0);
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void source_data()
    {
        QTest::addColumn<QString>("way");  // "file", "clipboard", or the file's picture "in memory"
        QTest::addColumn<QString>("file"); // .png
        QTest::addColumn<QVariant>("clipboard");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QSize>("savedSize"); // invalid: nothing saved

        const QVariant small = filled(32, 16), text = QStringLiteral("just text");
        QTest::newRow("file despite clipboard picture")
            << "file"
            << "wide" << small << 1.0 << QSize(640, 320);
        QTest::newRow("tall file at 200%") << "file"
                                           << "tall" << QVariant() << 2.0 << QSize(320, 640);
        QTest::newRow("clipboard picture, not file") << "clipboard"
                                                     << "wide" << small << 1.0 << QSize(32, 16);
        QTest::newRow("tall picture in memory, not clipboard")
            << "in memory"
            << "tall" << small << 1.0 << QSize(320, 640);
        QTest::newRow("not a picture") << "file"
                                       << "text" << QVariant() << 1.0 << QSize();
        QTest::newRow("clipboard text, file ignored") << "clipboard"
                                                      << "wide" << text << 1.0 << QSize();
    }
    void source()
    {
        QFETCH(QString, way);
        QFETCH(QString, file);
        QFETCH(QVariant, clipboard);
        QFETCH(double, scale);
        QFETCH(QSize, savedSize);

        DpiTool::SetScaleFactor(scale);
        if (clipboard.type() == QVariant::Image)
            QGuiApplication::clipboard()->setImage(clipboard.value<QImage>());
        else if (clipboard.isValid())
            QGuiApplication::clipboard()->setText(clipboard.toString());

        const bool bClipboard = way == "clipboard";
        const QString path = m_dir.filePath(file + ".png");
        const QImage inMemory = way == "in memory" ? QImage(path) : QImage();
        UploadImageLabel label;
        QCOMPARE(load(label, bClipboard, path, inMemory), QVariant(savedSize.isValid()));
        QCOMPARE(cachedFiles().join(""), QFileInfo(label.GetSavePath()).fileName());
        if (!savedSize.isValid())
            return;

        // The cache directory is made when missing; the name is what the service is sent.
        const QRegularExpression name("^" + QRegularExpression::escape(m_cacheDir) +
                                      "UploadImage[-0-9a-f]{36}\\.jpg$");
        QVERIFY2(name.match(label.GetSavePath()).hasMatch(), qPrintable(label.GetSavePath()));
        QImageReader reader(label.GetSavePath());
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        QCOMPARE(reader.size(), savedSize);
        UploadImageLabel again;
        QCOMPARE(load(again, bClipboard, path, inMemory), QVariant(true));
        QVERIFY(again.GetSavePath() != label.GetSavePath());

        // Shown whole and centred in a square of 64 scaled; the rest is transparent.
        const QImage shown = label.pixmap(Qt::ReturnByValue).toImage();
        const QRect square(0, 0, qRound(64 * scale), qRound(64 * scale));
        QRect picture(QPoint(), savedSize.scaled(square.size(), Qt::KeepAspectRatio));
        picture.moveCenter(square.center());
        QCOMPARE(shown.size(), square.size());
        QCOMPARE(qAlpha(shown.pixel(picture.left() / 2, picture.top() / 2)), 0);
        for (const QPoint& inside : {picture.center(), picture.topLeft() + QPoint(3, 3),
                                     picture.bottomRight() - QPoint(3, 3)})
            QCOMPARE(shown.pixelColor(inside), QColor(Qt::darkRed));
    }

    void largeCopyIsShrunk()
    {
        // Noise does not compress: far over the limit as a JPEG of best quality.
        QImage noise(1200, 900, QImage::Format_RGB32);
        QRandomGenerator random(12345);
        for (int y = 0; y < noise.height(); ++y)
            random.fillRange(reinterpret_cast<quint32*>(noise.scanLine(y)), noise.width());
        const QString path = m_dir.filePath(QStringLiteral("noise.jpg"));
        QVERIFY(noise.save(path, "JPEG", 100) && QFileInfo(path).size() > 1048576);

        UploadImageLabel label;
        QCOMPARE(load(label, false, path), QVariant(true));
        QVERIFY(QFileInfo(label.GetSavePath()).size() <= 1048576);
        const QImage reread(label.GetSavePath(), "JPEG");
        QCOMPARE(double(reread.width()) / reread.height(), 4.0 / 3.0);
    }

    void destroyedByItsSaveSignal()
    {
        // The strip drops a thumbnail from inside its save signal; nothing may touch it after.
        QPointer<UploadImageLabel> label = new UploadImageLabel;
        connect(label, &UploadImageLabel::SigImgSave, this, [&label]() { delete label; });
        label->SetImage(false, m_dir.filePath(QStringLiteral("wide.png")));
        QTRY_VERIFY(label.isNull());
        QVERIFY(cachedFiles().isEmpty());
    }

    void deleteButtonFollowsCursor_data()
    {
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<bool>("visibleAfter"); // after the move; the opposite before it

        // The thumbnail, 64 x 64, moves to (100, 20) inside its window.
        QTest::newRow("bottom-right edge under the cursor") << QPoint(163, 83) << true;
        QTest::newRow("cursor just right of it") << QPoint(164, 50) << false;
    }
    void deleteButtonFollowsCursor()
    {
        QFETCH(QPoint, cursor);
        QFETCH(bool, visibleAfter);

        QWidget window;
        auto* label = new UploadImageLabel(&window);
        label->setGeometry(200, 20, 64, 64);
        auto* button = label->findChild<QPushButton*>(QStringLiteral("imgDelBtn"));
        button->resize(20, 20);
        window.show();

        // The cursor rests away from the thumbnail; then crosses it, or not.
        QCursor::setPos(window.mapToGlobal(cursor));
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
};

QTEST_MAIN(TestUploadImageLabel)

#include "tst_uploadimagelabel.moc"
