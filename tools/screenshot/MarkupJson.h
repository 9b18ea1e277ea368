#pragma once

#include "Markup.h"

#include <QByteArray>
#include <QSize>
#include <QString>

// The mark-up a caller hands over in a file: a JSON array of shapes, in pixels of the picture.
//   {"type": "rectangle", "rect": [x, y, w, h]}    {"type": "arrow", "from": [x, y], "to": [x, y]}
//   {"type": "highlighter", "points": [[x, y], ...]}  {"type": "text", "at": [x, y], "text": "..."}
//   {"type": "blackout", "rect": [x, y, w, h]}
// All but "blackout" take an optional "color" (any name QColor knows) and "size" (line width
// or text height in pixels). Anything else, a wrong type or a missing key is refused whole,
// so a mistyped black-out never leaves a number in the clear.
namespace MarkupJson {

// Files larger than this are refused unread: no sensible mark-up comes near it.
constexpr qint64 kMaxFileSize = 1 << 20;

bool Parse(const QByteArray& json, MarkupShapes* pShapes, QString* pError);
// A black-out that reaches outside the picture says the caller's coordinates are not the
// picture's; false, with the first such black-out in pError.
bool FitsPicture(const MarkupShapes& shapes, const QSize& picture, QString* pError);
// Reads and parses a file, with the reason in pError when it fails.
bool Load(const QString& path, MarkupShapes* pShapes, QString* pError);

} // namespace MarkupJson
