#pragma once

#include <QString>

class QImage;

// Puts a picture on the system clipboard in a way that outlives this process.
//
// An X11 selection lives only as long as its owner, and without a clipboard manager nobody
// takes it over when the program ends. There the PNG is handed to xclip, which forks a child
// that keeps serving it. Elsewhere (Windows) the clipboard keeps what it is given.
class ClipboardWriter
{
public:
    // False, with the reason in GetError(), when the picture did not reach the clipboard.
    bool Write(const QImage& image);
    QString GetError() const { return m_strError; }

private:
    bool WriteThroughXclip(const QString& program, const QImage& image);
    bool Fail(const QString& error);

    QString m_strError;
};
