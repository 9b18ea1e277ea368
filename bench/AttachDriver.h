#pragma once

#include <QString>

class QWidget;

namespace Bench {

// Attaches pictures to an open feedback dialog the way a user does: the Upload button's
// slot, Qt's own file dialog answered with the file, then the module's checks, thumbnail
// and saved copy. Measures from the moment the file is chosen until the strip reports its
// saved copy (which must then be on disk, within the copy's byte budget), and the longest
// gap between ticks of a 1 ms timer on the GUI thread meanwhile: from the choice, and from
// the moment Qt's file dialog is destroyed (what remains is the module's).
class AttachDriver
{
public:
    // Qt's own file dialog, which the driver can answer; call once, before any dialog.
    static void UseDrivableFileDialog();

    explicit AttachDriver(QWidget* dialog);

    struct Outcome
    {
        bool ok = false;
        double totalMs = 0.0;
        double longestStallMs = 0.0;
        // When the longest stall began, after the choice.
        double longestStallAtMs = 0.0;
        // The longest stall once Qt's file dialog was destroyed: the module's own.
        double longestModuleStallMs = 0.0;
        QString savedPath;
        QString error;
    };
    Outcome Attach(const QString& file, int timeoutMs = 60000);
    // Opens the file dialog through the Upload button and cancels it.
    bool OpenAndCancel(int timeoutMs = 30000);

private:
    QWidget* m_dialog = nullptr;
};

} // namespace Bench
