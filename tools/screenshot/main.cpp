#include "ClipboardWriter.h"
#include "CommandLine.h"
#include "Markup.h"
#include "MarkupJson.h"
#include "NumberFinder.h"
#include "ScreenShot.h"
#include "SelectionOverlay.h"
#include "TextReader.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace {

// The caller reads nothing but these.
enum ExitCode { kOnClipboard = 0, kCancelled = 1, kFailed = 2 };

int Fail(const QString& message)
{
    std::fprintf(stderr, "PalScreenShotExecutor: %s\n", qPrintable(message));
    return kFailed;
}

int Deliver(const QImage& picture)
{
    ClipboardWriter writer;
    if (!writer.Write(picture))
        return Fail(writer.GetError());
    return kOnClipboard;
}

ScreenShot GrabOrReport(QScreen* pScreen, QString* pError)
{
    const ScreenShot shot = ScreenShot::Grab(pScreen);
    if (shot.IsNull())
        *pError = QStringLiteral("the screen could not be grabbed");
    return shot;
}

int CaptureRegion(const CommandLine& commandLine)
{
    QString error;
    MarkupShapes shapes;
    if (!commandLine.GetMarkupFile().isEmpty() &&
        !MarkupJson::Load(commandLine.GetMarkupFile(), &shapes, &error))
        return Fail(error);
    const ScreenShot shot = GrabOrReport(QGuiApplication::primaryScreen(), &error);
    if (shot.IsNull())
        return Fail(error);
    const QRect bounds = shot.GetBounds();
    if (!bounds.contains(commandLine.GetRegion()))
        return Fail(QStringLiteral("region \"%1\" does not lie within the screen (%2x%3)")
                        .arg(commandLine.GetMessage())
                        .arg(bounds.width())
                        .arg(bounds.height()));
    const QImage picture = shot.Crop(commandLine.GetRegion());
    if (!MarkupJson::FitsPicture(shapes, picture.size(), &error))
        return Fail(error);
    if (commandLine.GetHideNumbers()) {
        // Asked to hide numbers, the program never hands over a picture that may show them.
        TextReader reader;
        if (!reader.Load())
            return Fail(QStringLiteral("numbers cannot be hidden: %1").arg(reader.GetError()));
        for (const QRect& box : NumberFinder::FindIn(reader, picture))
            shapes.append(MarkupShape::BlackOut(box));
    }
    return Deliver(ApplyMarkup(picture, shapes));
}

int CaptureInteractively(QApplication& app)
{
    // The screen the user is looking at, which is where the caller's window was.
    QScreen* pScreen = QGuiApplication::screenAt(QCursor::pos());
    if (!pScreen)
        pScreen = QGuiApplication::primaryScreen();
    QString error;
    const ScreenShot shot = GrabOrReport(pScreen, &error);
    if (shot.IsNull())
        return Fail(error);

    // Loads the recognition data while the user chooses the area.
    NumberFinder finder;
    SelectionOverlay overlay(shot);
    overlay.SetNumberFinder(&finder);
    bool bAccepted = false;
    QRect area;
    QObject::connect(&overlay, &SelectionOverlay::SigAccepted, [&](const QRect& chosen) {
        bAccepted = true;
        area = chosen;
        app.quit();
    });
    QObject::connect(&overlay, &SelectionOverlay::SigCancelled, &app, &QApplication::quit);
    overlay.ShowFullScreen(pScreen);
    app.exec();
    // Out of the way before the clipboard is written, so nothing waits on a frozen full-screen
    // window.
    overlay.hide();
    if (!bAccepted)
        return kCancelled;
    return Deliver(overlay.RenderPicture(area));
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine commandLine = CommandLine::Parse(arguments);
    switch (commandLine.GetAction()) {
    case CommandLine::Action::Help:
        std::fputs(qPrintable(commandLine.GetMessage()), stdout);
        return kOnClipboard;
    case CommandLine::Action::Invalid:
        Fail(commandLine.GetMessage());
        std::fputs("Try --help.\n", stderr);
        return kFailed;
    case CommandLine::Action::Region:
    case CommandLine::Action::Select:
        break;
    }

    QApplication app(argc, argv);
    if (commandLine.GetAction() == CommandLine::Action::Region)
        return CaptureRegion(commandLine);
    return CaptureInteractively(app);
}
