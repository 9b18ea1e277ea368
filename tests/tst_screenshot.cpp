// The capture program: its command line, cropping at any device pixel ratio, the selection
// overlay driven in this process, and the program itself on a private X server putting a known
// part of a window on the clipboard, where another client reads it back after the program ended.

// Mouse events take the window system's path, so button state during a drag and double-click
// detection behave as with a real mouse.
#define QTEST_QPA_MOUSE_HANDLING

#include "CommandLine.h"
#include "ScreenShot.h"
#include "SelectionOverlay.h"
#include "TestMessageHandler.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLine>
#include <QMap>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QScopedPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>
#include <QVector>

namespace {

const QString kProgram = QStringLiteral(KIV_BIN_DIR "/PalScreenShotExecutor.exe");

// A window in the bottom-right corner of the 1280x800 test screen, in four coloured quadrants,
// so that a region can touch the screen's corner and still have known pixels.
const QRect kPatternGeometry(960, 560, 320, 240);

// The picture the overlay tests select from.
const QSize kPictureSize(400, 300);
const QColor kPictureColour(200, 180, 160);

// What the pattern window shows below a region of the screen. Pictures are compared whole, so
// one shifted or cut by a pixel differs.
QImage Pattern(const QRect& region = kPatternGeometry)
{
    QImage pattern(kPatternGeometry.size(), QImage::Format_RGB32);
    const int w = pattern.width() / 2;
    const int h = pattern.height() / 2;
    QPainter painter(&pattern);
    painter.fillRect(0, 0, w, h, Qt::red);
    painter.fillRect(w, 0, w, h, Qt::green);
    painter.fillRect(0, h, w, h, Qt::blue);
    painter.fillRect(w, h, w, h, Qt::yellow);
    painter.end();
    return pattern.copy(region.translated(-kPatternGeometry.topLeft()));
}

// Runs the event loop while it waits: this process may own the clipboard the program reads.
// Gives the exit code, or -1 when the program crashed or hung.
int RunProgram(const QString& program, const QStringList& arguments, QByteArray* pOut = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QSignalSpy finished(&process, SIGNAL(finished(int, QProcess::ExitStatus)));
    process.start(program, arguments);
    if (!process.waitForStarted() || !finished.wait(30000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (pOut)
        *pOut = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Reads the clipboard as another X client does, so the picture must outlive the program that
// put it there.
QImage ClipboardImage()
{
    QByteArray png;
    RunProgram("xclip", {"-o", "-selection", "clipboard", "-t", "image/png"}, &png);
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32);
}

// A plain picture, shown in a window larger than it, so a drag can leave the picture without
// leaving the window.
ScreenShot Picture(qreal ratio)
{
    QPixmap pixmap(kPictureSize * ratio);
    pixmap.fill(kPictureColour);
    pixmap.setDevicePixelRatio(ratio);
    return ScreenShot(pixmap);
}

// A press, two moves and a release; a line of no length is a plain click.
void DragAlong(QWidget* pWidget, const QLine& line)
{
    QTest::mousePress(pWidget, Qt::LeftButton, Qt::NoModifier, line.p1());
    if (line.p1() != line.p2()) {
        QTest::mouseMove(pWidget, line.center());
        QTest::mouseMove(pWidget, line.p2());
    }
    QTest::mouseRelease(pWidget, Qt::LeftButton, Qt::NoModifier, line.p2());
}

} // namespace

class tst_Screenshot : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void parsesRegion_data();
    void parsesRegion();
    void cropsDevicePixels_data();
    void cropsDevicePixels();
    void overlayOutcome_data();
    void overlayOutcome();
    void overlayDecoratesSelection_data();
    void overlayDecoratesSelection();
    void programPutsRegionOnClipboard_data();
    void programPutsRegionOnClipboard();

private:
    QScopedPointer<QLabel> m_pPattern;
};

void tst_Screenshot::initTestCase()
{
    TestMessageHandler::install();
    qRegisterMetaType<QProcess::ExitStatus>();
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty(),
             "xclip is needed to read the clipboard as another client");
    QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1280, 800));

    m_pPattern.reset(new QLabel);
    m_pPattern->setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    m_pPattern->setPixmap(QPixmap::fromImage(Pattern()));
    m_pPattern->setGeometry(kPatternGeometry);
    m_pPattern->show();
    QTRY_COMPARE(QGuiApplication::primaryScreen()->grabWindow(0).copy(kPatternGeometry).toImage(),
                 Pattern());
}

void tst_Screenshot::cleanup()
{
    QCOMPARE(QApplication::topLevelWidgets(), QWidgetList{m_pPattern.data()});
}

void tst_Screenshot::parsesRegion_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QRect>("region"); // null: refused

    const QString opt = QStringLiteral("--region");
    // An edge past INT_MAX would wrap around in QRect and could seem to lie on the screen.
    QTest::newRow("right edge at INT_MAX")
        << QStringList{opt, "2147483646,0,1,1"} << QRect(2147483646, 0, 1, 1);
    QTest::newRow("right edge past INT_MAX") << QStringList{opt, "2147483647,0,1,1"} << QRect();
    QTest::newRow("bottom edge past INT_MAX")
        << QStringList{opt, "0,2000000000,1,200000000"} << QRect();
    QTest::newRow("number too large for int") << QStringList{opt, "99999999999,0,1,1"} << QRect();
    QTest::newRow("three numbers") << QStringList{opt, "1,2,3"} << QRect();
    QTest::newRow("zero width") << QStringList{opt, "10,10,0,10"} << QRect();
    QTest::newRow("value missing") << QStringList{opt} << QRect();
    QTest::newRow("given twice") << QStringList{opt, "1,2,3,4", opt, "5,6,7,8"} << QRect();
    QTest::newRow("stray argument") << QStringList{opt, "1,2,3,4", "now"} << QRect();
    QTest::newRow("unknown option") << QStringList{"--colour"} << QRect();
}

void tst_Screenshot::parsesRegion()
{
    QFETCH(QStringList, arguments);
    QFETCH(QRect, region);

    QCOMPARE(CommandLine::Parse(arguments).GetRegion(), region);
}

void tst_Screenshot::cropsDevicePixels_data()
{
    QTest::addColumn<qreal>("ratio");

    QTest::newRow("ratio 2") << 2.0;
    QTest::newRow("ratio 1.5") << 1.5;
}

void tst_Screenshot::cropsDevicePixels()
{
    QFETCH(qreal, ratio);

    // A screen of 100x50 units, red left of its middle and blue from the middle on.
    QImage device((QSizeF(100, 50) * ratio).toSize(), QImage::Format_RGB32);
    device.fill(Qt::blue);
    QPainter(&device).fillRect(0, 0, device.width() / 2, device.height(), Qt::red);
    QPixmap pixmap = QPixmap::fromImage(device);
    pixmap.setDevicePixelRatio(ratio);
    const ScreenShot shot(pixmap);
    QCOMPARE(shot.GetBounds(), QRect(0, 0, 100, 50));

    // 20 units from 40 on: blue starts 10 units in.
    const QImage picture = shot.Crop(QRect(40, 10, 20, 20));
    QCOMPARE(picture.size(), QSize(20, 20) * ratio);
    const int split = qRound(10 * ratio);
    QCOMPARE(picture.pixelColor(split - 1, picture.height() / 2), QColor(Qt::red));
    QCOMPARE(picture.pixelColor(split, picture.height() / 2), QColor(Qt::blue));
}

void tst_Screenshot::overlayOutcome_data()
{
    QTest::addColumn<QVector<QLine>>("drags");
    QTest::addColumn<QString>("finish");
    QTest::addColumn<QRect>("expected"); // null: cancelled

    const QLine draw(50, 40, 149, 99);
    const QRect drawn(50, 40, 100, 60);
    using Drags = QVector<QLine>;

    QTest::newRow("drawn down-right, Return") << Drags{draw} << "Return" << drawn;
    QTest::newRow("drawn up-left, Enter") << Drags{QLine(draw.p2(), draw.p1())} << "Enter" << drawn;
    QTest::newRow("drawn past the picture's corner")
        << Drags{QLine(300, 200, 470, 350)} << "Return" << QRect(300, 200, 100, 100);
    QTest::newRow("moved against the right edge, OK")
        << Drags{draw, QLine(60, 50, 460, 50)} << "okButton" << QRect(300, 40, 100, 60);
    QTest::newRow("a click outside keeps it")
        << Drags{draw, QLine(300, 250, 300, 250)} << "Return" << drawn;
    QTest::newRow("drawn, double click inside") << Drags{draw} << "double click" << drawn;
    QTest::newRow("nothing drawn, double click")
        << Drags() << "double click" << QRect(QPoint(0, 0), kPictureSize);

    QTest::newRow("Esc") << Drags{draw} << "Esc" << QRect();
    QTest::newRow("right click while drawing") << Drags() << "right click" << QRect();
    QTest::newRow("window closed") << Drags{draw} << "close" << QRect();
}

void tst_Screenshot::overlayOutcome()
{
    QFETCH(QVector<QLine>, drags);
    QFETCH(QString, finish);
    QFETCH(QRect, expected);

    SelectionOverlay overlay(Picture(1.0));
    overlay.setGeometry(0, 0, 480, 360);
    overlay.show();
    QVERIFY(QTest::qWaitForWindowExposed(&overlay));
    QSignalSpy accepted(&overlay, &SelectionOverlay::SigAccepted);
    QSignalSpy cancelled(&overlay, &SelectionOverlay::SigCancelled);
    for (const QLine& drag : drags)
        DragAlong(&overlay, drag);
    QCOMPARE(accepted.count() + cancelled.count(), 0);

    const QMap<QString, Qt::Key> keys{
        {"Return", Qt::Key_Return}, {"Enter", Qt::Key_Enter}, {"Esc", Qt::Key_Escape}};
    const QPoint inside(100, 70);
    if (keys.contains(finish)) {
        QTest::keyClick(&overlay, keys.value(finish));
    } else if (finish == "okButton") {
        auto* pButton = overlay.findChild<QToolButton*>(finish);
        QVERIFY(pButton && pButton->isVisible());
        QTest::mouseClick(pButton, Qt::LeftButton);
    } else if (finish == "double click") {
        QTest::mouseDClick(&overlay, Qt::LeftButton, Qt::NoModifier, inside);
    } else if (finish == "right click") {
        QTest::mousePress(&overlay, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        QTest::mouseMove(&overlay, inside);
        QTest::mouseClick(&overlay, Qt::RightButton, Qt::NoModifier, inside);
        QTest::mouseRelease(&overlay, Qt::LeftButton, Qt::NoModifier, inside);
    } else {
        overlay.close();
    }
    QCOMPARE(cancelled.count(), expected.isNull() ? 1 : 0);
    QCOMPARE(accepted.isEmpty() ? QRect() : accepted.constFirst().constFirst().toRect(), expected);

    // The outcome is final: nothing later reports another.
    QTest::keyClick(&overlay, Qt::Key_Return);
    QTest::keyClick(&overlay, Qt::Key_Escape);
    QCOMPARE(accepted.count() + cancelled.count(), 1);
}

void tst_Screenshot::overlayDecoratesSelection_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QLine>("drag");
    QTest::addColumn<QString>("sizeText");
    QTest::addColumn<bool>("barOutside");

    // The size is that of the picture the user gets, in device pixels.
    QTest::newRow("ratio 2") << 2.0 << QLine(50, 40, 149, 99) << "200 \u00D7 120" << true;
    QTest::newRow("at the bottom edge")
        << 1.0 << QLine(50, 200, 149, 299) << "100 \u00D7 100" << true;
    QTest::newRow("at the top edge") << 1.0 << QLine(50, 0, 149, 60) << "100 \u00D7 61" << true;
    QTest::newRow("full height") << 1.0 << QLine(50, 0, 149, 299) << "100 \u00D7 300" << false;
    QTest::newRow("narrow at the right edge")
        << 1.0 << QLine(394, 40, 399, 99) << "6 \u00D7 60" << true;
}

void tst_Screenshot::overlayDecoratesSelection()
{
    QFETCH(qreal, ratio);
    QFETCH(QLine, drag);
    QFETCH(QString, sizeText);
    QFETCH(bool, barOutside);

    SelectionOverlay overlay(Picture(ratio));
    overlay.setGeometry(0, 0, 480, 360);
    overlay.show();
    QVERIFY(QTest::qWaitForWindowExposed(&overlay));
    auto* pSize = overlay.findChild<QLabel*>("sizeLabel");
    auto* pBar = overlay.findChild<QWidget*>("selectionToolBar");
    QVERIFY(pSize && pBar);
    QTest::mousePress(&overlay, Qt::LeftButton, Qt::NoModifier, drag.p1());
    QTest::mouseMove(&overlay, drag.p2());
    const QRect selection = overlay.GetSelection();
    QCOMPARE(selection, QRect(drag.p1(), drag.p2()).normalized());

    // While drawing: the size beside the selection, no bar in the way, the rest dimmed.
    QVERIFY(pSize->isVisible());
    QCOMPARE(pSize->text(), sizeText);
    QVERIFY(!pBar->isVisible());
    const QImage shown = overlay.grab().toImage();
    QCOMPARE(shown.pixelColor(selection.center()), kPictureColour);
    // No row selects the picture's left column.
    const QColor dimmed = shown.pixelColor(0, 150);
    QVERIFY2(dimmed.lightness() < kPictureColour.lightness() - 30, qPrintable(dimmed.name()));

    // Released: the bar beside the selection, on the screen, off the selection where there is room.
    QTest::mouseRelease(&overlay, Qt::LeftButton, Qt::NoModifier, drag.p2());
    QVERIFY(pBar->isVisible());
    const QRect screen(QPoint(0, 0), kPictureSize);
    const QRect bar = pBar->geometry();
    QVERIFY2(screen.contains(pSize->geometry()), "size label off the screen");
    QVERIFY2(screen.contains(bar), "tool bar off the screen");
    const int reach = bar.height() + 10;
    QVERIFY2(bar.intersects(selection.adjusted(-reach, -reach, reach, reach)),
             "tool bar far from the selection");
    QVERIFY2(!barOutside || !bar.intersects(selection), "tool bar covers the selection");
}

void tst_Screenshot::programPutsRegionOnClipboard_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QRect>("region"); // null: refused, the clipboard keeps what it had

    const QString opt = QStringLiteral("--region");
    QTest::newRow("across the window's centre")
        << QStringList{opt, " 1110, 670 ,20 ,20 "} << QRect(1110, 670, 20, 20);
    QTest::newRow("one pixel, after =")
        << QStringList{"--region=1000,600,1,1"} << QRect(1000, 600, 1, 1);
    QTest::newRow("touching the screen's corner")
        << QStringList{opt, "1270,790,10,10"} << QRect(1270, 790, 10, 10);
    QTest::newRow("one pixel past the right edge") << QStringList{opt, "1200,10,81,10"} << QRect();
    QTest::newRow("one pixel past the bottom edge") << QStringList{opt, "10,795,10,6"} << QRect();
    QTest::newRow("letters") << QStringList{opt, "a,b,c,d"} << QRect();
}

void tst_Screenshot::programPutsRegionOnClipboard()
{
    QFETCH(QStringList, arguments);
    QFETCH(QRect, region);

    QImage marker(7, 5, QImage::Format_RGB32);
    marker.fill(Qt::magenta);
    QGuiApplication::clipboard()->setImage(marker);
    QCOMPARE(RunProgram(kProgram, arguments), region.isNull() ? 2 : 0);
    // The program has ended; the picture must still be served. The new owner's claim may reach
    // the server a moment after the program's exit, so the marker may still show at first.
    QTRY_COMPARE(ClipboardImage(), region.isNull() ? marker : Pattern(region));
}

QTEST_MAIN(tst_Screenshot)
#include "tst_screenshot.moc"
