#include "TextReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

namespace {

// Screen text is small for the engine, which reads best at 20 pixels and more per line;
// reading a doubled picture finds far more of it.
constexpr int kUpscale = 2;
// Only the resolution's order matters: it sizes the engine's noise filters.
constexpr int kScreenPpi = 96 * kUpscale;

QRect ToRect(int left, int top, int right, int bottom)
{
    // The engine's boxes end one past their last pixel; rounding outwards on the way back from
    // the doubled picture keeps every pixel of a character inside its box.
    return QRect(
        QPoint(left / kUpscale, top / kUpscale),
        QPoint((right + kUpscale - 1) / kUpscale - 1, (bottom + kUpscale - 1) / kUpscale - 1));
}

} // namespace

TextReader::TextReader() = default;

TextReader::~TextReader()
{
    if (m_pApi)
        m_pApi->End();
}

bool TextReader::Load()
{
    if (m_bLoaded)
        return true;
    m_strError.clear();
    // A program shipped with its data keeps it beside itself; otherwise the engine looks where
    // TESSDATA_PREFIX or its installation says.
    QByteArray dataPath;
    const QString besideProgram =
        QCoreApplication::applicationDirPath() + QStringLiteral("/tessdata");
    if (QCoreApplication::instance() && QFileInfo(besideProgram).isDir())
        dataPath = QDir::toNativeSeparators(besideProgram).toLocal8Bit();

    for (const char* languages : {"eng+chi_sim", "eng", "chi_sim"}) {
        auto pApi = std::make_unique<tesseract::TessBaseAPI>();
        if (pApi->Init(dataPath.isEmpty() ? nullptr : dataPath.constData(), languages,
                       tesseract::OEM_DEFAULT) == 0) {
            m_pApi = std::move(pApi);
            m_strLanguages = QString::fromLatin1(languages);
            m_bLoaded = true;
            return true;
        }
        pApi->End();
    }
    m_strError = QCoreApplication::translate(
        "TextReader", "Text recognition data (English or Chinese) is not installed.");
    return false;
}

QVector<OcrWord> TextReader::Read(const QImage& picture)
{
    QVector<OcrWord> words;
    if (!m_bLoaded || picture.isNull() || m_bCancelled)
        return words;
    // Scaling smoothly gives a 32-bit picture whatever it was given; grey comes last.
    const QImage grey =
        picture.scaled(picture.size() * kUpscale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_Grayscale8);
    m_pApi->SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
    m_pApi->SetSourceResolution(kScreenPpi);

    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &TextReader::IsCancelled;
    monitor.cancel_this = this;
    if (m_pApi->Recognize(&monitor) != 0 || m_bCancelled) {
        m_pApi->Clear();
        return words;
    }

    std::unique_ptr<tesseract::ResultIterator> pIt(m_pApi->GetIterator());
    int line = -1;
    if (pIt && !pIt->Empty(tesseract::RIL_SYMBOL)) {
        do {
            if (pIt->IsAtBeginningOf(tesseract::RIL_TEXTLINE))
                ++line;
            if (pIt->IsAtBeginningOf(tesseract::RIL_WORD) || words.isEmpty()) {
                OcrWord word;
                word.line = line;
                int left, top, right, bottom;
                if (pIt->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom))
                    word.box = ToRect(left, top, right, bottom);
                words.append(word);
            }
            std::unique_ptr<char[]> pSymbol(pIt->GetUTF8Text(tesseract::RIL_SYMBOL));
            if (!pSymbol)
                continue;
            const QString symbol = QString::fromUtf8(pSymbol.get());
            QRect box = words.last().box;
            int left, top, right, bottom;
            if (pIt->BoundingBox(tesseract::RIL_SYMBOL, &left, &top, &right, &bottom))
                box = ToRect(left, top, right, bottom);
            OcrWord& word = words.last();
            word.text += symbol;
            // A symbol of two UTF-16 units keeps text and boxes in step.
            for (int i = 0; i < symbol.size(); ++i)
                word.charBoxes.append(box);
        } while (pIt->Next(tesseract::RIL_SYMBOL));
    }
    m_pApi->Clear();
    return words;
}

bool TextReader::IsCancelled(void* pReader, int)
{
    return static_cast<TextReader*>(pReader)->m_bCancelled;
}
