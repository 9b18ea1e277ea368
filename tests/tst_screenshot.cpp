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
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLine>
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
constexpr int kProcessTimeoutMs = 30000;

// A window in the bottom-right corner of the 1280x800 test screen, in four coloured quadrants,
// so that a region can touch the screen's corner and still have known pixels.
const QRect kPatternGeometry(960, 560, 320, 240);

// The picture the overlay tests select from, and the larger window it is shown in, so a drag
// can leave the picture without leaving the window.
const QSize kPictureSize(400, 300);
const QRect kOverlayGeometry(0, 0, 480, 360);
const QColor kPictureColour(200, 180, 160);

QColor PatternColourAt(const QPoint& screenPos)
{
    const QPoint local = screenPos - kPatternGeometry.topLeft();
    const bool bRight = local.x() >= kPatternGeometry.width() / 2;
    const bool bBottom = local.y() >= kPatternGeometry.height() / 2;
    if (bBottom)
        return bRight ? QColor(Qt::yellow) : QColor(Qt::blue);
    return bRight ? QColor(Qt::green) : QColor(Qt::red);
}

QPixmap PatternPixmap()
{
    QImage image(kPatternGeometry.size(), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, PatternColourAt(kPatternGeometry.topLeft() + QPoint(x, y)));
    }
    return QPixmap::fromImage(image);
}

// The corners and the centre of a rectangle: for a region across the pattern's centre they fall
// in all four quadrants, and the corners catch an image shifted or cut by one pixel.
QVector<QPoint> SamplePoints(const QRect& rect)
{
    return {rect.topLeft(), rect.topRight(), rect.bottomLeft(), rect.bottomRight(), rect.center()};
}

// Empty when all sampled pixels of the picture match the pattern below region, otherwise the
// first mismatch.
QString PatternMismatch(const QImage& picture, const QRect& region)
{
    for (const QPoint& inPicture : SamplePoints(QRect(QPoint(0, 0), region.size()))) {
        const QColor actual = picture.pixelColor(inPicture);
        const QColor expected = PatternColourAt(region.topLeft() + inPicture);
        if (actual.rgb() != expected.rgb())
            return QStringLiteral("pixel %1,%2 is %3, expected %4")
                .arg(inPicture.x())
                .arg(inPicture.y())
                .arg(actual.name(), expected.name());
    }
    return QString();
}

bool PatternIsOnScreen()
{
    const QImage shown = QGuiApplication::primaryScreen()
                             ->grabWindow(0, kPatternGeometry.x(), kPatternGeometry.y(),
                                          kPatternGeometry.width(), kPatternGeometry.height())
                             .toImage();
    return shown.size() == kPatternGeometry.size() &&
           PatternMismatch(shown, kPatternGeometry).isEmpty();
}

QImage Marker()
{
    QImage marker(7, 5, QImage::Format_RGB32);
    marker.fill(Qt::magenta);
    return marker;
}

struct RunResult
{
    bool bFinished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the event loop while it waits: this process may own the clipboard the program reads.
RunResult RunProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    QSignalSpy finished(&process, SIGNAL(finished(int, QProcess::ExitStatus)));
    process.start(program, arguments);
    RunResult result;
    if (!process.waitForStarted() || !finished.wait(kProcessTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.bFinished = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// Reads the clipboard as another X client does, so the picture must outlive the program that
// put it there.
QImage ClipboardImage()
{
    const RunResult xclip =
        RunProgram(QStringLiteral("xclip"),
                   {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                    QStringLiteral("-t"), QStringLiteral("image/png")});
    return QImage::fromData(xclip.out, "PNG");
}

ScreenShot TestPicture(qreal ratio = 1.0)
{
    QPixmap pixmap(kPictureSize * ratio);
    pixmap.fill(kPictureColour);
    pixmap.setDevicePixelRatio(ratio);
    return ScreenShot(pixmap);
}

// An overlay over the test picture, shown in a window larger than the picture, with its two
// outcomes counted.
struct OverlayUnderTest
{
    explicit OverlayUnderTest(qreal ratio = 1.0)
        : overlay(TestPicture(ratio))
        , accepted(&overlay, &SelectionOverlay::SigAccepted)
        , cancelled(&overlay, &SelectionOverlay::SigCancelled)
    {}

    bool Show()
    {
        overlay.setGeometry(kOverlayGeometry);
        overlay.show();
        return QTest::qWaitForWindowExposed(&overlay);
    }

    // The keys that would otherwise end the selection.
    void PressReturnAndEscape()
    {
        QTest::keyClick(&overlay, Qt::Key_Return);
        QTest::keyClick(&overlay, Qt::Key_Escape);
    }

    SelectionOverlay overlay;
    QSignalSpy accepted;
    QSignalSpy cancelled;
};

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

QToolButton* ToolButton(SelectionOverlay& overlay, const char* objectName)
{
    return overlay.findChild<QToolButton*>(QLatin1String(objectName));
}

enum Confirm { ReturnKey, KeypadEnter, DoubleClick, OkButton };
enum Cancel { EscapeKey, RightClick, RightClickWhileDrawing, CancelButton, CloseWindow };

} // namespace

class tst_Screenshot : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void parsesArguments_data();
    void parsesArguments();
    void cropsDevicePixels_data();
    void cropsDevicePixels();

    void overlayConfirms_data();
    void overlayConfirms();
    void overlayCancels_data();
    void overlayCancels();
    void overlayDecoratesSelection_data();
    void overlayDecoratesSelection();
    void overlayPlacesBarsOnScreen_data();
    void overlayPlacesBarsOnScreen();

    void regionReachesClipboard_data();
    void regionReachesClipboard();
    void refusalLeavesClipboard_data();
    void refusalLeavesClipboard();

private:
    QScopedPointer<QLabel> m_pPattern;
};

void tst_Screenshot::initTestCase()
{
    TestMessageHandler::install();
    qRegisterMetaType<QProcess::ExitStatus>();
    QVERIFY2(QFileInfo(kProgram).isExecutable(), qPrintable(kProgram));
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty(),
             "xclip is needed to read the clipboard as another client");
    QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1280, 800));

    m_pPattern.reset(new QLabel);
    m_pPattern->setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    m_pPattern->setContentsMargins(0, 0, 0, 0);
    m_pPattern->setPixmap(PatternPixmap());
    m_pPattern->setGeometry(kPatternGeometry);
    m_pPattern->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pPattern.data()));
}

void tst_Screenshot::cleanup()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(windows.size(), 1);
    QCOMPARE(windows.constFirst(), m_pPattern.data());
}

void tst_Screenshot::parsesArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QRect>("region");

    const int select = int(CommandLine::Action::Select);
    const int region = int(CommandLine::Action::Region);
    const int help = int(CommandLine::Action::Help);
    const int invalid = int(CommandLine::Action::Invalid);
    const QString opt = QStringLiteral("--region");

    QTest::newRow("no arguments") << QStringList() << select << QRect();
    QTest::newRow("--help") << QStringList{"--help"} << help << QRect();
    QTest::newRow("-h") << QStringList{"-h"} << help << QRect();
    QTest::newRow("region as next argument")
        << QStringList{opt, "10,20,30,40"} << region << QRect(10, 20, 30, 40);
    QTest::newRow("region after =")
        << QStringList{"--region=1,2,3,4"} << region << QRect(1, 2, 3, 4);
    QTest::newRow("spaces around numbers")
        << QStringList{opt, " 1, 2 ,3 ,4 "} << region << QRect(1, 2, 3, 4);
    QTest::newRow("right edge at the largest int")
        << QStringList{opt, "2147483646,0,1,1"} << region << QRect(2147483646, 0, 1, 1);
    QTest::newRow("right edge past the largest int")
        << QStringList{opt, "2147483647,0,1,1"} << invalid << QRect();
    QTest::newRow("bottom edge past the largest int")
        << QStringList{opt, "0,2000000000,1,200000000"} << invalid << QRect();
    QTest::newRow("number too large for int")
        << QStringList{opt, "99999999999,0,1,1"} << invalid << QRect();
    QTest::newRow("value missing") << QStringList{opt} << invalid << QRect();
    QTest::newRow("empty value") << QStringList{opt, ""} << invalid << QRect();
    QTest::newRow("three numbers") << QStringList{opt, "1,2,3"} << invalid << QRect();
    QTest::newRow("five numbers") << QStringList{opt, "1,2,3,4,5"} << invalid << QRect();
    QTest::newRow("a fraction") << QStringList{opt, "1.5,2,3,4"} << invalid << QRect();
    QTest::newRow("hexadecimal") << QStringList{opt, "0x10,2,3,4"} << invalid << QRect();
    QTest::newRow("letters") << QStringList{opt, "a,b,c,d"} << invalid << QRect();
    QTest::newRow("an empty field") << QStringList{opt, "1,,3,4"} << invalid << QRect();
    QTest::newRow("zero width") << QStringList{opt, "1,2,0,4"} << invalid << QRect();
    QTest::newRow("negative height") << QStringList{opt, "1,2,3,-4"} << invalid << QRect();
    QTest::newRow("given twice") << QStringList{opt, "1,2,3,4", opt, "5,6,7,8"} << invalid
                                 << QRect();
    QTest::newRow("unknown option") << QStringList{"--colour"} << invalid << QRect();
    QTest::newRow("stray argument") << QStringList{"now"} << invalid << QRect();
    QTest::newRow("stray argument after a region")
        << QStringList{opt, "1,2,3,4", "now"} << invalid << QRect();
}

void tst_Screenshot::parsesArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QRect, region);

    const CommandLine commandLine = CommandLine::Parse(arguments);
    QCOMPARE(int(commandLine.GetAction()), action);
    if (commandLine.GetAction() == CommandLine::Action::Region)
        QCOMPARE(commandLine.GetRegion(), region);
    if (commandLine.GetAction() == CommandLine::Action::Invalid ||
        commandLine.GetAction() == CommandLine::Action::Help)
        QVERIFY(!commandLine.GetMessage().isEmpty());
}

void tst_Screenshot::cropsDevicePixels_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QSize>("deviceSize");
    QTest::addColumn<QRect>("bounds");
    QTest::addColumn<QRect>("area");
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<int>("split");

    // The device picture is red left of its middle column and blue from it on; split is where
    // blue starts in the cropped picture.
    QTest::newRow("ratio 1") << 1.0 << QSize(200, 100) << QRect(0, 0, 200, 100)
                             << QRect(90, 10, 20, 20) << QSize(20, 20) << 10;
    QTest::newRow("ratio 2") << 2.0 << QSize(200, 100) << QRect(0, 0, 100, 50)
                             << QRect(40, 10, 20, 20) << QSize(40, 40) << 20;
    QTest::newRow("ratio 1.5") << 1.5 << QSize(150, 75) << QRect(0, 0, 100, 50)
                               << QRect(40, 10, 20, 20) << QSize(30, 30) << 15;
}

void tst_Screenshot::cropsDevicePixels()
{
    QFETCH(qreal, ratio);
    QFETCH(QSize, deviceSize);
    QFETCH(QRect, bounds);
    QFETCH(QRect, area);
    QFETCH(QSize, pictureSize);
    QFETCH(int, split);

    QImage device(deviceSize, QImage::Format_RGB32);
    device.fill(Qt::blue);
    QPainter(&device).fillRect(0, 0, deviceSize.width() / 2, deviceSize.height(), Qt::red);
    QPixmap pixmap = QPixmap::fromImage(device);
    pixmap.setDevicePixelRatio(ratio);
    const ScreenShot shot(pixmap);

    QCOMPARE(shot.GetBounds(), bounds);
    const QImage picture = shot.Crop(area);
    QCOMPARE(picture.size(), pictureSize);
    QCOMPARE(picture.devicePixelRatio(), 1.0);
    const int middle = picture.height() / 2;
    QCOMPARE(picture.pixelColor(split - 1, middle), QColor(Qt::red));
    QCOMPARE(picture.pixelColor(split, middle), QColor(Qt::blue));
}

void tst_Screenshot::overlayConfirms_data()
{
    QTest::addColumn<QVector<QLine>>("drags");
    QTest::addColumn<int>("confirm");
    QTest::addColumn<QRect>("expected");

    const QLine draw(50, 40, 149, 99);
    const QRect drawn(50, 40, 100, 60);
    const QRect whole(QPoint(0, 0), kPictureSize);

    QTest::newRow("drawn down-right, Return") << QVector<QLine>{draw} << int(ReturnKey) << drawn;
    QTest::newRow("drawn up-left, keypad Enter")
        << QVector<QLine>{QLine(draw.p2(), draw.p1())} << int(KeypadEnter) << drawn;
    QTest::newRow("drawn, double click inside")
        << QVector<QLine>{draw} << int(DoubleClick) << drawn;
    QTest::newRow("drawn, OK") << QVector<QLine>{draw} << int(OkButton) << drawn;
    QTest::newRow("drawn past the picture's corner")
        << QVector<QLine>{QLine(300, 200, 470, 350)} << int(ReturnKey) << QRect(300, 200, 100, 100);
    QTest::newRow("drawn again elsewhere") << QVector<QLine>{draw, QLine(200, 150, 260, 180)}
                                           << int(ReturnKey) << QRect(200, 150, 61, 31);
    QTest::newRow("moved by a drag inside") << QVector<QLine>{draw, QLine(60, 50, 160, 150)}
                                            << int(ReturnKey) << QRect(150, 140, 100, 60);
    QTest::newRow("moved against the right edge")
        << QVector<QLine>{draw, QLine(60, 50, 460, 50)} << int(OkButton) << QRect(300, 40, 100, 60);
    QTest::newRow("a click outside keeps it")
        << QVector<QLine>{draw, QLine(300, 250, 300, 250)} << int(ReturnKey) << drawn;
    QTest::newRow("nothing drawn, Return") << QVector<QLine>{} << int(ReturnKey) << whole;
    QTest::newRow("nothing drawn, double click") << QVector<QLine>{} << int(DoubleClick) << whole;
}

void tst_Screenshot::overlayConfirms()
{
    QFETCH(QVector<QLine>, drags);
    QFETCH(int, confirm);
    QFETCH(QRect, expected);

    OverlayUnderTest t;
    QVERIFY(t.Show());

    for (const QLine& drag : drags)
        DragAlong(&t.overlay, drag);
    QCOMPARE(t.accepted.count(), 0);

    switch (confirm) {
    case ReturnKey:
        QTest::keyClick(&t.overlay, Qt::Key_Return);
        break;
    case KeypadEnter:
        QTest::keyClick(&t.overlay, Qt::Key_Enter, Qt::KeypadModifier);
        break;
    case DoubleClick:
        QTest::mouseDClick(&t.overlay, Qt::LeftButton, Qt::NoModifier, expected.center());
        break;
    case OkButton: {
        QToolButton* pOk = ToolButton(t.overlay, "okButton");
        QVERIFY(pOk);
        QVERIFY(pOk->isVisible());
        QTest::mouseClick(pOk, Qt::LeftButton);
        break;
    }
    }
    QCOMPARE(t.accepted.count(), 1);
    QCOMPARE(t.accepted.constFirst().constFirst().toRect(), expected);

    // The outcome is final: nothing later reports another.
    t.PressReturnAndEscape();
    QCOMPARE(t.accepted.count(), 1);
    QCOMPARE(t.cancelled.count(), 0);
}

void tst_Screenshot::overlayCancels_data()
{
    QTest::addColumn<QVector<QLine>>("drags");
    QTest::addColumn<int>("cancel");

    const QVector<QLine> drawn{QLine(50, 40, 149, 99)};
    QTest::newRow("Esc, nothing drawn") << QVector<QLine>{} << int(EscapeKey);
    QTest::newRow("Esc after drawing") << drawn << int(EscapeKey);
    QTest::newRow("right click, nothing drawn") << QVector<QLine>{} << int(RightClick);
    QTest::newRow("right click inside the selection") << drawn << int(RightClick);
    QTest::newRow("right click while drawing") << QVector<QLine>{} << int(RightClickWhileDrawing);
    QTest::newRow("Cancel") << drawn << int(CancelButton);
    QTest::newRow("window closed") << drawn << int(CloseWindow);
}

void tst_Screenshot::overlayCancels()
{
    QFETCH(QVector<QLine>, drags);
    QFETCH(int, cancel);

    OverlayUnderTest t;
    QVERIFY(t.Show());

    for (const QLine& drag : drags)
        DragAlong(&t.overlay, drag);

    const QPoint inside(100, 70);
    switch (cancel) {
    case EscapeKey:
        QTest::keyClick(&t.overlay, Qt::Key_Escape);
        break;
    case RightClick:
        QTest::mouseClick(&t.overlay, Qt::RightButton, Qt::NoModifier, inside);
        break;
    case RightClickWhileDrawing:
        QTest::mousePress(&t.overlay, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        QTest::mouseMove(&t.overlay, inside);
        QTest::mouseClick(&t.overlay, Qt::RightButton, Qt::NoModifier, inside);
        QTest::mouseRelease(&t.overlay, Qt::LeftButton, Qt::NoModifier, inside);
        break;
    case CancelButton: {
        QToolButton* pCancel = ToolButton(t.overlay, "cancelButton");
        QVERIFY(pCancel);
        QVERIFY(pCancel->isVisible());
        QTest::mouseClick(pCancel, Qt::LeftButton);
        break;
    }
    case CloseWindow:
        t.overlay.close();
        break;
    }
    QCOMPARE(t.cancelled.count(), 1);

    t.PressReturnAndEscape();
    QCOMPARE(t.cancelled.count(), 1);
    QCOMPARE(t.accepted.count(), 0);
}

void tst_Screenshot::overlayDecoratesSelection_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QString>("sizeText");

    // The size is that of the picture the user gets, in device pixels.
    QTest::newRow("ratio 1") << 1.0 << QStringLiteral("100 \u00D7 60");
    QTest::newRow("ratio 2") << 2.0 << QStringLiteral("200 \u00D7 120");
}

void tst_Screenshot::overlayDecoratesSelection()
{
    QFETCH(qreal, ratio);
    QFETCH(QString, sizeText);

    OverlayUnderTest t(ratio);
    QVERIFY(t.Show());
    SelectionOverlay& overlay = t.overlay;
    auto* pSize = overlay.findChild<QLabel*>(QStringLiteral("sizeLabel"));
    auto* pBar = overlay.findChild<QWidget*>(QStringLiteral("selectionToolBar"));
    QVERIFY(pSize);
    QVERIFY(pBar);
    QVERIFY(!pSize->isVisible());
    QVERIFY(!pBar->isVisible());

    const QPoint from(50, 40);
    const QPoint to(149, 99);
    QTest::mousePress(&overlay, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(&overlay, to);
    // While drawing: the size beside the selection, no bar in the way.
    QVERIFY(pSize->isVisible());
    QCOMPARE(pSize->text(), sizeText);
    QVERIFY(!pBar->isVisible());
    QCOMPARE(overlay.GetSelection(), QRect(50, 40, 100, 60));

    const QImage shown = overlay.grab().toImage();
    const QPoint inside(100, 70);
    const QPoint outside(20, 200);
    QCOMPARE(shown.pixelColor(inside), kPictureColour);
    const QColor dimmed = shown.pixelColor(outside);
    QVERIFY2(dimmed.lightness() < kPictureColour.lightness() - 30, qPrintable(dimmed.name()));

    QTest::mouseRelease(&overlay, Qt::LeftButton, Qt::NoModifier, to);
    QVERIFY(pBar->isVisible());
    QVERIFY(pSize->isVisible());
}

void tst_Screenshot::overlayPlacesBarsOnScreen_data()
{
    QTest::addColumn<QLine>("drag");
    QTest::addColumn<bool>("barOutside");

    QTest::newRow("room below") << QLine(50, 40, 149, 99) << true;
    QTest::newRow("at the bottom edge") << QLine(50, 200, 149, 299) << true;
    QTest::newRow("at the top edge") << QLine(50, 0, 149, 60) << true;
    QTest::newRow("full height") << QLine(50, 0, 149, 299) << false;
    QTest::newRow("narrow at the left edge") << QLine(0, 40, 5, 99) << true;
    QTest::newRow("narrow at the right edge") << QLine(394, 40, 399, 99) << true;
    QTest::newRow("full width") << QLine(0, 100, 399, 160) << true;
    // QTest takes the point 0,0 for "the widget's centre", so the drag starts one pixel in.
    QTest::newRow("nearly the whole picture") << QLine(399, 299, 1, 0) << false;
}

void tst_Screenshot::overlayPlacesBarsOnScreen()
{
    QFETCH(QLine, drag);
    QFETCH(bool, barOutside);

    OverlayUnderTest t;
    QVERIFY(t.Show());
    SelectionOverlay& overlay = t.overlay;
    DragAlong(&overlay, drag);
    const QRect selection = overlay.GetSelection();
    QCOMPARE(selection, QRect(drag.p1(), drag.p2()).normalized());

    const QRect screen(QPoint(0, 0), kPictureSize);
    auto* pSize = overlay.findChild<QLabel*>(QStringLiteral("sizeLabel"));
    auto* pBar = overlay.findChild<QWidget*>(QStringLiteral("selectionToolBar"));
    QVERIFY(pSize->isVisible());
    QVERIFY(pBar->isVisible());
    const QRect bar = pBar->geometry();
    QVERIFY2(screen.contains(pSize->geometry()), "size label off the screen");
    QVERIFY2(screen.contains(bar), "tool bar off the screen");
    // Beside the selection, not somewhere else on the screen.
    const int reach = bar.height() + 10;
    QVERIFY2(bar.intersects(selection.adjusted(-reach, -reach, reach, reach)),
             "tool bar far from the selection");
    if (barOutside)
        QVERIFY2(!bar.intersects(selection), "tool bar covers the selection");
}

void tst_Screenshot::regionReachesClipboard_data()
{
    QTest::addColumn<QRect>("region");

    QTest::newRow("the whole window") << kPatternGeometry;
    QTest::newRow("across the window's centre")
        << QRect(kPatternGeometry.center() - QPoint(9, 9), QSize(20, 20));
    QTest::newRow("one pixel") << QRect(1000, 600, 1, 1);
    QTest::newRow("touching the screen's corner") << QRect(1270, 790, 10, 10);
}

void tst_Screenshot::regionReachesClipboard()
{
    QFETCH(QRect, region);

    QTRY_VERIFY(PatternIsOnScreen());
    QGuiApplication::clipboard()->setImage(Marker());

    const RunResult run =
        RunProgram(kProgram, {QStringLiteral("--region"), QStringLiteral("%1,%2,%3,%4")
                                                              .arg(region.x())
                                                              .arg(region.y())
                                                              .arg(region.width())
                                                              .arg(region.height())});
    QVERIFY(run.bFinished);
    QVERIFY2(run.exitCode == 0, run.err.constData());

    // The program has ended; the picture must still be served. The new owner's claim may
    // reach the server a moment after the program's exit, so the marker may still show at first.
    QImage picture;
    QTRY_COMPARE((picture = ClipboardImage()).size(), region.size());
    const QString mismatch = PatternMismatch(picture, region);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

void tst_Screenshot::refusalLeavesClipboard_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("mention");

    const QString opt = QStringLiteral("--region");
    QTest::newRow("letters") << QStringList{opt, "a,b,c,d"} << 2 << QStringLiteral("a,b,c,d");
    QTest::newRow("zero width") << QStringList{opt, "10,10,0,10"} << 2
                                << QStringLiteral("10,10,0,10");
    QTest::newRow("one pixel past the right edge")
        << QStringList{opt, "1200,10,81,10"} << 2 << QStringLiteral("1200,10,81,10");
    QTest::newRow("one pixel past the bottom edge")
        << QStringList{opt, "10,795,10,6"} << 2 << QStringLiteral("10,795,10,6");
    QTest::newRow("left of the screen")
        << QStringList{opt, "-1,10,10,10"} << 2 << QStringLiteral("-1,10,10,10");
    QTest::newRow("right edge past the largest int")
        << QStringList{opt, "2147483647,0,10,10"} << 2 << QStringLiteral("2147483647,0,10,10");
    QTest::newRow("value missing") << QStringList{opt} << 2 << opt;
    QTest::newRow("unknown option") << QStringList{"--colour"} << 2 << QStringLiteral("--colour");
    QTest::newRow("help") << QStringList{"--help"} << 0 << opt;
}

void tst_Screenshot::refusalLeavesClipboard()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, mention);

    QGuiApplication::clipboard()->setImage(Marker());
    const RunResult run = RunProgram(kProgram, arguments);
    QVERIFY(run.bFinished);
    QCOMPARE(run.exitCode, exitCode);
    // Help goes to standard output, complaints to standard error.
    const QString said = QString::fromLocal8Bit(exitCode == 0 ? run.out : run.err);
    QVERIFY2(said.contains(mention), qPrintable(said));

    const QImage still = ClipboardImage();
    QCOMPARE(still.convertToFormat(QImage::Format_RGB32), Marker());
}

QTEST_MAIN(tst_Screenshot)
#include "tst_screenshot.moc"
