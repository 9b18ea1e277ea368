#pragma once

#include "DigitRuns.h"

#include <QString>
#include <QVector>

#include <atomic>
#include <memory>

class QImage;

namespace tesseract {
class TessBaseAPI;
}

// Reads the words of a picture with the Tesseract OCR engine, English and simplified Chinese.
// Loading and reading block; callers that have a window run them on a worker thread. One
// reader reads one picture at a time.
class TextReader
{
public:
    TextReader();
    ~TextReader();

    // Loads the recognition data, once. False, with the reason in GetError(), when no data of
    // either language is installed.
    bool Load();
    QString GetError() const { return m_strError; }
    // The languages loaded, as Tesseract names them ("eng+chi_sim").
    QString GetLanguages() const { return m_strLanguages; }

    // The words in reading order, boxes in the picture's pixels. Empty when nothing is loaded,
    // nothing was read or Cancel() was called.
    QVector<OcrWord> Read(const QImage& picture);
    // May be called from any thread: the Read() under way ends soon, and every later one at
    // once, reading nothing.
    void Cancel() { m_bCancelled = true; }

private:
    static bool IsCancelled(void* pReader, int words);

    std::unique_ptr<tesseract::TessBaseAPI> m_pApi;
    bool m_bLoaded = false;
    QString m_strError;
    QString m_strLanguages;
    std::atomic_bool m_bCancelled{false};
};
