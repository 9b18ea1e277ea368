// The capture program: its command line, cropping at any device pixel ratio, the selection overlay,
// and the program on a private X server leaving part of a window on the clipboard for other
// clients.

// Mouse events take the window system's path, so button state during a drag and double-click
// detection behave as with a real mouse.
#define QTEST_QPA_MOUSE_HANDLING

#include "CommandLine.h"
#include "Markup.h"
#include "MarkupModel.h"
#include "NumberFinder.h"
#include "ScreenShot.h"
#include "SelectionOverlay.h"
#include "TestMessageHandler.h"
#include "TestPictures.h"
#include "TextReader.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLine>
#include <QLineEdit>
#include <QPixmap>
#include <QProcess>
#include <QScopedPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QVector>

#include <algorithm>
#include <memory>

namespace {

const QString kProgram = QStringLiteral(KIV_BIN_DIR "/PalScreenShotExecutor.exe");

// A window in the bottom-right corner of the 1280x800 test screen, so that a region can touch the
// screen's corner and still have known pixels.
const QRect kPatternGeometry(960, 560, 320, 240);

const QSize kPictureSize(400, 300);
const QColor kPictureColour(200, 180, 160);

// What the pattern window shows below a region of the screen. No two of its pixels are alike,
// so a picture shifted or cut by a pixel differs.
QImage Pattern(const QRect& region = kPatternGeometry)
{
    QImage pattern(kPatternGeometry.size(), QImage::Format_RGB32);
    for (int y = 0; y < pattern.height(); ++y)
        for (int x = 0; x < pattern.width(); ++x)
            pattern.setPixel(x, y, qRgb(x % 256, y, x / 256 * 128));
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
    if (!process.waitForStarted() || !finished.wait(30000))
        return -1;
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

// Shows a plain picture in a window larger than it, so a drag can leave the picture without
// leaving the window.
std::unique_ptr<SelectionOverlay> ShowOverlay(qreal ratio)
{
    QPixmap pixmap(kPictureSize * ratio);
    pixmap.fill(kPictureColour);
    pixmap.setDevicePixelRatio(ratio);
    auto overlay = std::make_unique<SelectionOverlay>(ScreenShot(pixmap));
    overlay->setGeometry(0, 0, 480, 360);
    overlay->show();
    return QTest::qWaitForWindowExposed(overlay.get()) ? std::move(overlay) : nullptr;
}

void Drag(QWidget* pWidget, const QPoint& from, const QPoint& to)
{
    QTest::mousePress(pWidget, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(pWidget, (from + to) / 2);
    QTest::mouseMove(pWidget, to);
    QTest::mouseRelease(pWidget, Qt::LeftButton, Qt::NoModifier, to);
}

// image equals expected everywhere outside the boxes.
bool SameOutside(const QImage& image, const QImage& expected, const QVector<QRect>& boxes)
{
    if (image.size() != expected.size())
        return false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const bool bInside = std::any_of(boxes.begin(), boxes.end(),
                                             [&](const QRect& box) { return box.contains(x, y); });
            if (!bInside && image.pixel(x, y) != expected.pixel(x, y))
                return false;
        }
    return true;
}

// A window on the test screen showing a picture at its own pixels.
std::unique_ptr<QLabel> ShowPicture(const QImage& picture, const QPoint& at)
{
    auto window = std::make_unique<QLabel>();
    window->setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    window->setPixmap(QPixmap::fromImage(picture));
    window->setGeometry(QRect(at, picture.size()));
    window->show();
    return window;
}

} // namespace

class tst_Screenshot : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void regionArgument_data();
    void regionArgument();
    void cropsDevicePixels_data();
    void cropsDevicePixels();
    void overlay_data();
    void overlay();
    void markupOnClipboard_data();
    void markupOnClipboard();
    void overlayMarks_data();
    void overlayMarks();
    void overlayText();
    void hideNumbersOnClipboard_data();
    void hideNumbersOnClipboard();
    void hideNumbersInOverlay();

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

void tst_Screenshot::regionArgument_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QRect>("region"); // null: refused

    const QString opt = QStringLiteral("--region");
    QTest::newRow("across the window's centre")
        << QStringList{opt, " 1110, 670 ,20 ,20 "} << QRect(1110, 670, 20, 20);
    QTest::newRow("one pixel, after =")
        << QStringList{"--region=1000,600,1,1"} << QRect(1000, 600, 1, 1);
    QTest::newRow("touching the screen's corner")
        << QStringList{opt, "1270,790,10,10"} << QRect(1270, 790, 10, 10);
    QTest::newRow("one pixel past the right edge")
        << QStringList{opt, "1200,10,81,10"} << QRect(1200, 10, 81, 10);
    QTest::newRow("one pixel past the bottom edge")
        << QStringList{opt, "10,795,10,6"} << QRect(10, 795, 10, 6);
    // An edge past INT_MAX would wrap around in QRect and could seem to lie on the screen.
    QTest::newRow("right edge at INT_MAX")
        << QStringList{opt, "2147483646,0,1,1"} << QRect(2147483646, 0, 1, 1);
    QTest::newRow("right edge past INT_MAX") << QStringList{opt, "2147483647,0,1,1"} << QRect();
    QTest::newRow("bottom edge past INT_MAX")
        << QStringList{opt, "0,2000000000,1,200000000"} << QRect();
    QTest::newRow("number too large for int") << QStringList{opt, "99999999999,0,1,1"} << QRect();
    QTest::newRow("letters") << QStringList{opt, "a,b,c,d"} << QRect();
    QTest::newRow("three numbers") << QStringList{opt, "1,2,3"} << QRect();
    QTest::newRow("zero width") << QStringList{opt, "10,10,0,10"} << QRect();
    QTest::newRow("value missing") << QStringList{opt} << QRect();
    QTest::newRow("given twice") << QStringList{opt, "1,2,3,4", opt, "5,6,7,8"} << QRect();
    QTest::newRow("stray argument") << QStringList{opt, "1,2,3,4", "now"} << QRect();
    QTest::newRow("unknown option") << QStringList{"--colour"} << QRect();
}

// Only a region wholly on the screen is taken; otherwise the clipboard keeps what it had.
void tst_Screenshot::regionArgument()
{
    QFETCH(QStringList, arguments);
    QFETCH(QRect, region);
    QCOMPARE(CommandLine::Parse(arguments).GetRegion(), region);

    const bool taken = QGuiApplication::primaryScreen()->geometry().contains(region);
    QImage marker(7, 5, QImage::Format_RGB32);
    marker.fill(Qt::magenta);
    QGuiApplication::clipboard()->setImage(marker);
    QCOMPARE(RunProgram(kProgram, arguments), taken ? 0 : 2);
    // The program has ended; the picture must still be served. The new owner's claim may reach
    // the server a moment after the program's exit, so the marker may still show at first.
    QTRY_COMPARE(ClipboardImage(), taken ? Pattern(region) : marker);
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
    const QImage device = Pattern(QRect(kPatternGeometry.topLeft(), QSize(300, 240)));
    QPixmap pixmap = QPixmap::fromImage(device);
    pixmap.setDevicePixelRatio(ratio);
    const ScreenShot shot(pixmap);
    QCOMPARE(shot.GetBounds().size() * ratio, device.size());

    const QRect area(40, 10, 20, 20);
    QCOMPARE(shot.Crop(area), device.copy(QRect(area.topLeft() * ratio, area.size() * ratio)));
}

void tst_Screenshot::overlay_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QVector<QLine>>("drags");
    QTest::addColumn<QString>("finish");
    QTest::addColumn<QRect>("expected"); // null: cancelled

    const QLine draw(50, 40, 149, 99);
    const QRect drawn(50, 40, 100, 60);
    using Drags = QVector<QLine>;
    // At the top edge, over the full height, narrow at the right edge; accepted with Return.
    for (const QLine& line :
         {QLine(50, 0, 149, 60), QLine(50, 0, 149, 299), QLine(394, 40, 399, 99)})
        QTest::addRow("drawn %d,%d to %d,%d", line.x1(), line.y1(), line.x2(), line.y2())
            << 1.0 << Drags{line} << "Return" << QRect(line.p1(), line.p2());
    QTest::newRow("drawn at ratio 2, Return") << 2.0 << Drags{draw} << "Return" << drawn;
    QTest::newRow("drawn up-left, Enter")
        << 1.0 << Drags{QLine(draw.p2(), draw.p1())} << "Enter" << drawn;
    QTest::newRow("drawn past the picture's corner")
        << 1.0 << Drags{QLine(300, 200, 470, 350)} << "Return" << QRect(300, 200, 100, 100);
    QTest::newRow("moved against the right edge, OK")
        << 1.0 << Drags{draw, QLine(60, 50, 460, 50)} << "okButton" << QRect(300, 40, 100, 60);
    QTest::newRow("a click outside keeps it")
        << 1.0 << Drags{draw, QLine(300, 250, 300, 250)} << "Return" << drawn;
    QTest::newRow("drawn, double click inside") << 1.0 << Drags{draw} << "double click" << drawn;
    QTest::newRow("nothing drawn, double click")
        << 1.0 << Drags() << "double click" << QRect(QPoint(0, 0), kPictureSize);

    QTest::newRow("Esc") << 1.0 << Drags{draw} << "Esc" << QRect();
    QTest::newRow("right click while drawing") << 1.0 << Drags() << "right click" << QRect();
    QTest::newRow("window closed") << 1.0 << Drags{draw} << "close" << QRect();
}

void tst_Screenshot::overlay()
{
    QFETCH(qreal, ratio);
    QFETCH(QVector<QLine>, drags);
    QFETCH(QString, finish);
    QFETCH(QRect, expected);

    const auto overlay = ShowOverlay(ratio);
    QVERIFY(overlay);
    auto* pSize = overlay->findChild<QLabel*>("sizeLabel");
    auto* pBar = overlay->findChild<QWidget*>("selectionToolBar");
    QVERIFY(pSize && pBar);
    QSignalSpy accepted(overlay.get(), &SelectionOverlay::SigAccepted);
    QSignalSpy cancelled(overlay.get(), &SelectionOverlay::SigCancelled);
    for (const QLine& drag : drags) {
        QTest::mousePress(overlay.get(), Qt::LeftButton, Qt::NoModifier, drag.p1());
        if (drag.p1() != drag.p2()) {
            QTest::mouseMove(overlay.get(), drag.center());
            QTest::mouseMove(overlay.get(), drag.p2());
            // While the mouse is down: the size in device pixels, and no bar in the way.
            const QSize pixels = overlay->GetSelection().size() * ratio;
            QVERIFY(pSize->isVisible() && !pBar->isVisible());
            QCOMPARE(pSize->text(),
                     QString("%1 \u00D7 %2").arg(pixels.width()).arg(pixels.height()));
        }
        QTest::mouseRelease(overlay.get(), Qt::LeftButton, Qt::NoModifier, drag.p2());
    }
    QCOMPARE(accepted.count() + cancelled.count(), 0);

    // Released: the rest dimmed; the bar on the screen, near the selection, off it given room.
    const QRect selection = overlay->GetSelection();
    if (!selection.isEmpty()) {
        const QImage shown = overlay->grab().toImage();
        QCOMPARE(shown.pixelColor(selection.center()), kPictureColour);
        QVERIFY(shown.pixelColor(0, 150).lightness() < kPictureColour.lightness() - 30);
        const QRect screen(QPoint(0, 0), kPictureSize);
        const QRect bar = pBar->geometry();
        QVERIFY(pBar->isVisible() && screen.contains(bar) && screen.contains(pSize->geometry()));
        const int reach = bar.height() + 10;
        QVERIFY(bar.intersects(selection.adjusted(-reach, -reach, reach, reach)));
        const bool room = selection.top() >= reach || screen.bottom() - selection.bottom() >= reach;
        QVERIFY(!room || !bar.intersects(selection));
    }

    const QPoint inside(100, 70);
    if (finish == "okButton") {
        auto* pButton = overlay->findChild<QToolButton*>(finish);
        QVERIFY(pButton && pButton->isVisible());
        QTest::mouseClick(pButton, Qt::LeftButton);
    } else if (finish == "double click") {
        QTest::mouseDClick(overlay.get(), Qt::LeftButton, Qt::NoModifier, inside);
    } else if (finish == "right click") {
        QTest::mousePress(overlay.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        QTest::mouseMove(overlay.get(), inside);
        QTest::mouseClick(overlay.get(), Qt::RightButton, Qt::NoModifier, inside);
        QTest::mouseRelease(overlay.get(), Qt::LeftButton, Qt::NoModifier, inside);
    } else if (finish == "close") {
        overlay->close();
    } else {
        QTest::keySequence(overlay.get(), QKeySequence(finish));
    }
    QCOMPARE(cancelled.count(), expected.isNull() ? 1 : 0);
    QCOMPARE(accepted.isEmpty() ? QRect() : accepted.constFirst().constFirst().toRect(), expected);

    // The outcome is final: nothing later reports another.
    QTest::keyClick(overlay.get(), Qt::Key_Return);
    QTest::keyClick(overlay.get(), Qt::Key_Escape);
    QCOMPARE(accepted.count() + cancelled.count(), 1);
}

void tst_Screenshot::markupOnClipboard_data()
{
    QTest::addColumn<QByteArray>("markup");
    QTest::addColumn<QVector<QRect>>("blackOuts");
    QTest::addColumn<QVector<QRect>>("marked"); // every pixel a mark may change
    QTest::addColumn<int>("exitCode");

    using Boxes = QVector<QRect>;
    QTest::newRow("black-out") << QByteArray(R"([{"type": "blackout", "rect": [10, 20, 50, 30]}])")
                               << Boxes{QRect(10, 20, 50, 30)} << Boxes{QRect(10, 20, 50, 30)} << 0;
    QTest::newRow("black-out at the picture's corner, under later marks")
        << QByteArray(R"([{"type": "blackout", "rect": [150, 100, 50, 50]},
                          {"type": "highlighter", "points": [[100, 120], [199, 140]],
                           "size": 16, "color": "yellow"},
                          {"type": "rectangle", "rect": [140, 90, 60, 60]},
                          {"type": "text", "at": [150, 100], "text": "WW", "size": 30},
                          {"type": "arrow", "from": [120, 60], "to": [180, 130]}])")
        << Boxes{QRect(150, 100, 50, 50)} << Boxes{QRect(80, 40, 120, 110)} << 0;
    QTest::newRow("black-out reaching past the picture")
        << QByteArray(R"([{"type": "blackout", "rect": [190, 140, 11, 10]}])") << Boxes{} << Boxes{}
        << 2;
    QTest::newRow("not a list") << QByteArray(R"({"type": "blackout"})") << Boxes{} << Boxes{} << 2;
}

// A --region capture with --markup: black-outs leave pure black in the clipboard's picture,
// the rest of it is the screen; a mark-up that cannot be applied as written leaves the
// clipboard as it was.
void tst_Screenshot::markupOnClipboard()
{
    QFETCH(QByteArray, markup);
    QFETCH(QVector<QRect>, blackOuts);
    QFETCH(QVector<QRect>, marked);
    QFETCH(int, exitCode);

    QTemporaryDir dir;
    QFile file(dir.filePath("markup.json"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(markup) == markup.size());
    file.close();
    const QRect region(1000, 600, 200, 150);
    QImage marker(7, 5, QImage::Format_RGB32);
    marker.fill(Qt::magenta);
    QGuiApplication::clipboard()->setImage(marker);

    QCOMPARE(RunProgram(kProgram, {"--region", "1000,600,200,150", "--markup", file.fileName()}),
             exitCode);
    if (exitCode != 0) {
        QCOMPARE(ClipboardImage(), marker);
        return;
    }
    QTRY_VERIFY(ClipboardImage().size() == region.size());
    const QImage picture = ClipboardImage();
    for (const QRect& box : blackOuts)
        QVERIFY(AllBlack(picture, box));
    QVERIFY(SameOutside(picture, Pattern(region), marked));
    QVERIFY(picture != Pattern(region));
}

void tst_Screenshot::overlayMarks_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QString>("tool");

    for (const char* tool : {"blackOutTool", "rectangleTool", "arrowTool", "highlighterTool"})
        QTest::addRow("%s", tool) << 1.0 << QString(tool);
    QTest::newRow("blackOutTool at ratio 2") << 2.0 << "blackOutTool";
}

// A mark drawn with the mouse is in the picture; Ctrl+Z takes it out, Ctrl+Shift+Z puts it
// back; the marks stay on the screen's pixels when the selection moves.
void tst_Screenshot::overlayMarks()
{
    QFETCH(qreal, ratio);
    QFETCH(QString, tool);

    const auto overlay = ShowOverlay(ratio);
    QVERIFY(overlay);
    QSignalSpy accepted(overlay.get(), &SelectionOverlay::SigAccepted);
    Drag(overlay.get(), QPoint(50, 40), QPoint(249, 199));
    const QRect selection(50, 40, 200, 160);
    QCOMPARE(overlay->GetSelection(), selection);
    auto* pBar = overlay->findChild<QWidget*>("markupToolBar");
    auto* pTool = overlay->findChild<QToolButton*>(tool);
    QVERIFY(pBar && pTool && pBar->isVisible() && !pBar->geometry().intersects(selection));
    QTest::mouseClick(pTool, Qt::LeftButton);
    QVERIFY(pTool->isChecked());

    const QImage plain = overlay->RenderPicture(selection);
    // Drawn past the selection's edge: the mark stops at it.
    Drag(overlay.get(), QPoint(100, 80), QPoint(300, 120));
    QCOMPARE(overlay->GetSelection(), selection);
    QCOMPARE(overlay->GetMarkup()->GetShapes().size(), 1);
    const QImage marked = overlay->RenderPicture(selection);
    QVERIFY(marked != plain);
    const QRect dragged(QPoint(50, 40) * ratio, QPoint(199, 80) * ratio);
    if (tool == "blackOutTool")
        QVERIFY(AllBlack(marked, dragged.adjusted(0, 0, int(ratio) - 1, int(ratio) - 1)));

    QTest::keySequence(overlay.get(), QKeySequence("Ctrl+Z"));
    QCOMPARE(overlay->RenderPicture(selection), plain);
    QTest::keySequence(overlay.get(), QKeySequence("Ctrl+Shift+Z"));
    QCOMPARE(overlay->RenderPicture(selection), marked);

    // With the tool put down, a drag inside moves the selection; the mark stays where it was
    // drawn on the screen.
    QTest::mouseClick(pTool, Qt::LeftButton);
    QVERIFY(!pTool->isChecked());
    Drag(overlay.get(), QPoint(60, 50), QPoint(70, 50));
    const QRect moved = selection.translated(10, 0);
    QCOMPARE(overlay->GetSelection(), moved);
    QCOMPARE(overlay->RenderPicture(moved).copy(
                 QRect(QPoint(0, 0), (selection.size() - QSize(10, 0)) * ratio)),
             marked.copy(QRect(QPoint(10 * ratio, 0), (selection.size() - QSize(10, 0)) * ratio)));

    QTest::keyClick(overlay.get(), Qt::Key_Return);
    QCOMPARE(accepted.count(), 1);
}

// Text is typed where the text tool clicks; the editor's Return ends the text, its Esc drops
// it, and neither ends the capture.
void tst_Screenshot::overlayText()
{
    const auto overlay = ShowOverlay(1.0);
    QVERIFY(overlay);
    QSignalSpy accepted(overlay.get(), &SelectionOverlay::SigAccepted);
    QSignalSpy cancelled(overlay.get(), &SelectionOverlay::SigCancelled);
    Drag(overlay.get(), QPoint(20, 20), QPoint(300, 200));
    const QRect selection = overlay->GetSelection();
    const QImage plain = overlay->RenderPicture(selection);
    QTest::mouseClick(overlay->findChild<QToolButton*>("textTool"), Qt::LeftButton);

    QTest::mouseClick(overlay.get(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 60));
    auto* pEditor = overlay->findChild<QLineEdit*>("textEditor");
    QVERIFY(pEditor && pEditor->isVisible());
    QTest::keyClicks(pEditor, "Broken");
    QTest::keyClick(pEditor, Qt::Key_Return);
    QTRY_VERIFY(!overlay->findChild<QLineEdit*>("textEditor"));
    QCOMPARE(overlay->GetMarkup()->GetShapes().size(), 1);
    QCOMPARE(overlay->GetMarkup()->GetShapes().constFirst().text, QString("Broken"));
    const QImage withText = overlay->RenderPicture(selection);
    QVERIFY(withText != plain);

    QTest::mouseClick(overlay.get(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 120));
    pEditor = overlay->findChild<QLineEdit*>("textEditor");
    QVERIFY(pEditor);
    QTest::keyClicks(pEditor, "gone");
    QTest::keyClick(pEditor, Qt::Key_Escape);
    QTRY_VERIFY(!overlay->findChild<QLineEdit*>("textEditor"));
    QCOMPARE(overlay->RenderPicture(selection), withText);
    QCOMPARE(accepted.count() + cancelled.count(), 0);

    QTest::keyClick(overlay.get(), Qt::Key_Return);
    QCOMPARE(accepted.count(), 1);
}

void tst_Screenshot::hideNumbersOnClipboard_data()
{
    QTest::addColumn<bool>("dataInstalled");

    QTest::newRow("recognition data installed") << true;
    QTest::newRow("no recognition data") << false;
}

// --hide-numbers on a picture of words and an 11-digit number: the number is black in the
// clipboard's picture, the words are as they were. Without recognition data the program
// refuses rather than hand over a picture with the number in it.
void tst_Screenshot::hideNumbersOnClipboard()
{
    QFETCH(bool, dataInstalled);
    {
        TextReader reader;
        if (!reader.Load())
            QSKIP(qPrintable(reader.GetError()));
    }
    const TextPicture text = RenderTextLine({"Call", "13812345678", "about", "order", "soon"});
    const auto window = ShowPicture(text.image, QPoint(100, 100));
    const QRect region = window->geometry();
    QTRY_COMPARE(QGuiApplication::primaryScreen()->grabWindow(0).copy(region).toImage(),
                 text.image);
    QImage marker(7, 5, QImage::Format_RGB32);
    marker.fill(Qt::magenta);
    QGuiApplication::clipboard()->setImage(marker);

    QTemporaryDir empty;
    const QByteArray saved = qgetenv("TESSDATA_PREFIX");
    if (!dataInstalled)
        qputenv("TESSDATA_PREFIX", QFile::encodeName(empty.path()));
    const QString regionText = QString("%1,%2,%3,%4")
                                   .arg(region.x())
                                   .arg(region.y())
                                   .arg(region.width())
                                   .arg(region.height());
    const int exitCode = RunProgram(kProgram, {"--region", regionText, "--hide-numbers"});
    if (saved.isNull())
        qunsetenv("TESSDATA_PREFIX");
    else
        qputenv("TESSDATA_PREFIX", saved);
    if (!dataInstalled) {
        QCOMPARE(exitCode, 2);
        QCOMPARE(ClipboardImage(), marker);
        return;
    }
    QCOMPARE(exitCode, 0);
    QTRY_VERIFY(ClipboardImage().size() == region.size());
    const QImage picture = ClipboardImage();
    QVERIFY(AllBlack(picture, text.ink.at(1)));
    for (int word : {0, 2, 3, 4})
        QCOMPARE(picture.copy(text.cells.at(word)), text.image.copy(text.cells.at(word)));
}

// "Hide numbers" proposes a black-out over the number while the overlay goes on; the proposal's
// x takes it away, and undo brings it back.
void tst_Screenshot::hideNumbersInOverlay()
{
    NumberFinder finder;
    QTRY_VERIFY_WITH_TIMEOUT(finder.GetState() != NumberFinder::State::Loading, 60000);
    if (finder.GetState() == NumberFinder::State::Unavailable)
        QSKIP(qPrintable(finder.GetReason()));

    const TextPicture text = RenderTextLine({"Order", "20261207001", "shipped"});
    SelectionOverlay overlay{ScreenShot(QPixmap::fromImage(text.image))};
    overlay.SetNumberFinder(&finder);
    overlay.setGeometry(QRect(QPoint(0, 0), text.image.size() + QSize(80, 300)));
    overlay.show();
    QVERIFY(QTest::qWaitForWindowExposed(&overlay));
    const QRect selection = text.image.rect().adjusted(4, 4, -4, -4);
    Drag(&overlay, selection.topLeft(), selection.bottomRight());
    QCOMPARE(overlay.GetSelection(), selection);
    const QRect ink = text.ink.at(1).translated(-selection.topLeft());
    const QImage plain = overlay.RenderPicture(selection);

    auto* pButton = overlay.findChild<QToolButton*>("hideNumbersButton");
    QVERIFY(pButton && pButton->isVisible() && pButton->isEnabled());
    QTest::mouseClick(pButton, Qt::LeftButton);
    QCOMPARE(finder.GetState(), NumberFinder::State::Busy);
    QVERIFY(!pButton->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(overlay.GetMarkup()->GetShapes().size(), 1, 60000);
    QVERIFY(pButton->isEnabled());
    const MarkupShape proposal = overlay.GetMarkup()->GetShapes().constFirst();
    QVERIFY(proposal.bProposed);
    QVERIFY(AllBlack(overlay.RenderPicture(selection), ink));
    for (int word : {0, 2})
        QVERIFY(!proposal.rect.intersects(text.cells.at(word)));

    QTest::mouseClick(&overlay, Qt::LeftButton, Qt::NoModifier,
                      QPoint(proposal.rect.right() + 1, proposal.rect.top()));
    QCOMPARE(overlay.GetMarkup()->GetShapes().size(), 0);
    QCOMPARE(overlay.RenderPicture(selection), plain);
    QTest::keySequence(&overlay, QKeySequence("Ctrl+Z"));
    QCOMPARE(overlay.GetMarkup()->GetShapes(), MarkupShapes{proposal});
}

QTEST_MAIN(tst_Screenshot)
#include "tst_screenshot.moc"
