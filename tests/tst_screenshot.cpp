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

// The picture the overlay tests select from, and the larger window it is shown in, so a drag
// can leave the picture without leaving the window.
const QSize kPictureSize(400, 300);
const QRect kOverlayGeometry(0, 0, 480, 360);
const QColor kPictureColour(200, 180, 160);

QColor PatternColourAt(const QPoint& screenPos)
{
    const QPoint local = screenPos - kPatternGeometry.topLeft();
    const bool bRight = local.x() >= kPatternGeometry.width() / 2;
    if (local.y() >= kPatternGeometry.height() / 2)
        return bRight ? QColor(Qt::yellow) : QColor(Qt::blue);
    return bRight ? QColor(Qt::green) : QColor(Qt::red);
}

// Empty when the corners and the centre of the picture match the pattern below region,
// otherwise the first mismatch. For a region across the pattern's centre they fall in all four
// quadrants, and the corners catch an image shifted or cut by one pixel.
QString PatternMismatch(const QImage& picture, const QRect& region)
{
    const QRect rect(QPoint(0, 0), region.size());
    for (const QPoint& inPicture :
         {rect.topLeft(), rect.topRight(), rect.bottomLeft(), rect.bottomRight(), rect.center()}) {
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
    if (!process.waitForStarted() || !finished.wait(30000)) {
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
    return QImage::fromData(
        RunProgram("xclip", {"-o", "-selection", "clipboard", "-t", "image/png"}).out, "PNG");
}

// An overlay over a plain picture, shown in a window larger than the picture, with its two
// outcomes counted.
struct OverlayUnderTest
{
    explicit OverlayUnderTest(qreal ratio = 1.0)
        : overlay(Picture(ratio))
        , accepted(&overlay, &SelectionOverlay::SigAccepted)
        , cancelled(&overlay, &SelectionOverlay::SigCancelled)
    {}

    static ScreenShot Picture(qreal ratio)
    {
        QPixmap pixmap(kPictureSize * ratio);
        pixmap.fill(kPictureColour);
        pixmap.setDevicePixelRatio(ratio);
        return ScreenShot(pixmap);
    }

    bool Show()
    {
        overlay.setGeometry(kOverlayGeometry);
        overlay.show();
        return QTest::qWaitForWindowExposed(&overlay);
    }

    template<typename T>
    T* Child(const char* objectName)
    {
        return overlay.findChild<T*>(QLatin1String(objectName));
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

} // namespace

class tst_Screenshot : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void refusesRegionsPastTheLargestInt_data();
    void refusesRegionsPastTheLargestInt();
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
    QVERIFY2(QFileInfo(kProgram).isExecutable(), qPrintable(kProgram));
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty(),
             "xclip is needed to read the clipboard as another client");
    QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1280, 800));

    QImage pattern(kPatternGeometry.size(), QImage::Format_RGB32);
    for (int y = 0; y < pattern.height(); ++y) {
        for (int x = 0; x < pattern.width(); ++x)
            pattern.setPixelColor(x, y, PatternColourAt(kPatternGeometry.topLeft() + QPoint(x, y)));
    }
    m_pPattern.reset(new QLabel);
    m_pPattern->setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    m_pPattern->setPixmap(QPixmap::fromImage(pattern));
    m_pPattern->setGeometry(kPatternGeometry);
    m_pPattern->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pPattern.data()));
}

void tst_Screenshot::cleanup()
{
    // No overlay outlives its test.
    QCOMPARE(QApplication::topLevelWidgets(), QWidgetList{m_pPattern.data()});
}

void tst_Screenshot::refusesRegionsPastTheLargestInt_data()
{
    QTest::addColumn<QString>("region");
    QTest::addColumn<bool>("accepted");

    // An edge past INT_MAX would wrap around in QRect and could seem to lie on the screen.
    QTest::newRow("right edge at the largest int") << "2147483646,0,1,1" << true;
    QTest::newRow("right edge past the largest int") << "2147483647,0,1,1" << false;
    QTest::newRow("bottom edge past the largest int") << "0,2000000000,1,200000000" << false;
    QTest::newRow("number too large for int") << "99999999999,0,1,1" << false;
}

void tst_Screenshot::refusesRegionsPastTheLargestInt()
{
    QFETCH(QString, region);
    QFETCH(bool, accepted);

    const CommandLine commandLine = CommandLine::Parse({QStringLiteral("--region"), region});
    QCOMPARE(commandLine.GetAction() == CommandLine::Action::Region, accepted);
    QCOMPARE(commandLine.GetAction() == CommandLine::Action::Invalid, !accepted);
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
    QCOMPARE(picture.devicePixelRatio(), 1.0);
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
    QTest::newRow("right click inside the selection") << Drags{draw} << "right click" << QRect();
    QTest::newRow("right click while drawing") << Drags() << "right click while drawing" << QRect();
    QTest::newRow("Cancel") << Drags{draw} << "cancelButton" << QRect();
    QTest::newRow("window closed") << Drags{draw} << "close" << QRect();
}

void tst_Screenshot::overlayOutcome()
{
    QFETCH(QVector<QLine>, drags);
    QFETCH(QString, finish);
    QFETCH(QRect, expected);

    OverlayUnderTest t;
    QVERIFY(t.Show());
    for (const QLine& drag : drags)
        DragAlong(&t.overlay, drag);
    QCOMPARE(t.accepted.count() + t.cancelled.count(), 0);

    const QMap<QString, Qt::Key> keys{
        {"Return", Qt::Key_Return}, {"Enter", Qt::Key_Enter}, {"Esc", Qt::Key_Escape}};
    const QPoint inside(100, 70);
    if (keys.contains(finish)) {
        QTest::keyClick(&t.overlay, keys.value(finish));
    } else if (finish.endsWith("Button")) {
        auto* pButton = t.Child<QToolButton>(qPrintable(finish));
        QVERIFY(pButton && pButton->isVisible());
        QTest::mouseClick(pButton, Qt::LeftButton);
    } else if (finish == "double click") {
        QTest::mouseDClick(&t.overlay, Qt::LeftButton, Qt::NoModifier, inside);
    } else if (finish == "right click") {
        QTest::mouseClick(&t.overlay, Qt::RightButton, Qt::NoModifier, inside);
    } else if (finish == "right click while drawing") {
        QTest::mousePress(&t.overlay, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        QTest::mouseMove(&t.overlay, inside);
        QTest::mouseClick(&t.overlay, Qt::RightButton, Qt::NoModifier, inside);
        QTest::mouseRelease(&t.overlay, Qt::LeftButton, Qt::NoModifier, inside);
    } else {
        t.overlay.close();
    }
    QCOMPARE(t.cancelled.count(), expected.isNull() ? 1 : 0);
    QCOMPARE(t.accepted.isEmpty() ? QRect() : t.accepted.constFirst().constFirst().toRect(),
             expected);

    // The outcome is final: nothing later reports another.
    QTest::keyClick(&t.overlay, Qt::Key_Return);
    QTest::keyClick(&t.overlay, Qt::Key_Escape);
    QCOMPARE(t.accepted.count() + t.cancelled.count(), 1);
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
    // QTest takes the point 0,0 for "the widget's centre", so the drag starts one pixel in.
    QTest::newRow("nearly the whole picture")
        << 1.0 << QLine(399, 299, 1, 0) << "399 \u00D7 300" << false;
}

void tst_Screenshot::overlayDecoratesSelection()
{
    QFETCH(qreal, ratio);
    QFETCH(QLine, drag);
    QFETCH(QString, sizeText);
    QFETCH(bool, barOutside);

    OverlayUnderTest t(ratio);
    QVERIFY(t.Show());
    auto* pSize = t.Child<QLabel>("sizeLabel");
    auto* pBar = t.Child<QWidget>("selectionToolBar");
    QVERIFY(pSize && pBar);
    QTest::mousePress(&t.overlay, Qt::LeftButton, Qt::NoModifier, drag.p1());
    QTest::mouseMove(&t.overlay, drag.p2());
    const QRect selection = t.overlay.GetSelection();
    QCOMPARE(selection, QRect(drag.p1(), drag.p2()).normalized());

    // While drawing: the size beside the selection, no bar in the way, the rest dimmed.
    QVERIFY(pSize->isVisible());
    QCOMPARE(pSize->text(), sizeText);
    QVERIFY(!pBar->isVisible());
    const QImage shown = t.overlay.grab().toImage();
    QCOMPARE(shown.pixelColor(selection.center()), kPictureColour);
    // No row selects the picture's left column.
    const QColor dimmed = shown.pixelColor(0, 150);
    QVERIFY2(dimmed.lightness() < kPictureColour.lightness() - 30, qPrintable(dimmed.name()));

    // Released: the bar beside the selection, on the screen, off the selection where there is room.
    QTest::mouseRelease(&t.overlay, Qt::LeftButton, Qt::NoModifier, drag.p2());
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
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QRect>("region"); // null: the clipboard keeps what it had

    const QString opt = QStringLiteral("--region");
    const QPoint centre = kPatternGeometry.center();
    QTest::newRow("across the window's centre")
        << QStringList{opt,
                       QStringLiteral(" %1, %2 ,20 ,20 ").arg(centre.x() - 9).arg(centre.y() - 9)}
        << 0 << QRect(centre - QPoint(9, 9), QSize(20, 20));
    QTest::newRow("one pixel, after =")
        << QStringList{"--region=1000,600,1,1"} << 0 << QRect(1000, 600, 1, 1);
    QTest::newRow("touching the screen's corner")
        << QStringList{opt, "1270,790,10,10"} << 0 << QRect(1270, 790, 10, 10);

    QTest::newRow("one pixel past the right edge")
        << QStringList{opt, "1200,10,81,10"} << 2 << QRect();
    QTest::newRow("one pixel past the bottom edge")
        << QStringList{opt, "10,795,10,6"} << 2 << QRect();
    QTest::newRow("left of the screen") << QStringList{opt, "-1,10,10,10"} << 2 << QRect();
    QTest::newRow("letters") << QStringList{opt, "a,b,c,d"} << 2 << QRect();
    QTest::newRow("three numbers") << QStringList{opt, "1,2,3"} << 2 << QRect();
    QTest::newRow("zero width") << QStringList{opt, "10,10,0,10"} << 2 << QRect();
    QTest::newRow("value missing") << QStringList{opt} << 2 << QRect();
    QTest::newRow("given twice") << QStringList{opt, "1,2,3,4", opt, "5,6,7,8"} << 2 << QRect();
    QTest::newRow("stray argument") << QStringList{opt, "1,2,3,4", "now"} << 2 << QRect();
    QTest::newRow("unknown option") << QStringList{"--colour"} << 2 << QRect();
    QTest::newRow("help") << QStringList{"--help"} << 0 << QRect();
}

void tst_Screenshot::programPutsRegionOnClipboard()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QRect, region);

    const auto patternShown = [] {
        const QImage shown =
            QGuiApplication::primaryScreen()->grabWindow(0).copy(kPatternGeometry).toImage();
        return PatternMismatch(shown, kPatternGeometry).isEmpty();
    };
    QTRY_VERIFY(patternShown());
    QGuiApplication::clipboard()->setImage(Marker());

    const RunResult run = RunProgram(kProgram, arguments);
    QVERIFY(run.bFinished);
    QVERIFY2(run.exitCode == exitCode, run.err.constData());
    if (region.isNull()) {
        QCOMPARE(ClipboardImage().convertToFormat(QImage::Format_RGB32), Marker());
        return;
    }
    // The program has ended; the picture must still be served. The new owner's claim may
    // reach the server a moment after the program's exit, so the marker may still show at first.
    QImage picture;
    QTRY_COMPARE((picture = ClipboardImage()).size(), region.size());
    const QString mismatch = PatternMismatch(picture, region);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

QTEST_MAIN(tst_Screenshot)
#include "tst_screenshot.moc"
