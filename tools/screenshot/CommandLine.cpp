#include "CommandLine.h"

#include <QVector>

#include <limits>

namespace {

const QString kRegionOption = QStringLiteral("--region");
const QString kMarkupOption = QStringLiteral("--markup");
const QString kHideNumbersOption = QStringLiteral("--hide-numbers");

} // namespace

CommandLine CommandLine::Parse(const QStringList& arguments)
{
    CommandLine result;
    bool bRegionSeen = false;
    bool bMarkupSeen = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            result.m_eAction = Action::Help;
            result.m_strMessage = HelpText();
            return result;
        }
        if (argument == kHideNumbersOption) {
            result.m_bHideNumbers = true;
            continue;
        }
        QString option;
        QString value;
        for (const QString& known : {kRegionOption, kMarkupOption}) {
            if (argument == known) {
                if (i + 1 >= arguments.size())
                    return Invalid(QStringLiteral("%1 needs a value %2")
                                       .arg(known, known == kRegionOption
                                                       ? QStringLiteral("X,Y,W,H")
                                                       : QStringLiteral("FILE")));
                option = known;
                value = arguments.at(++i);
            } else if (argument.startsWith(known + QLatin1Char('='))) {
                option = known;
                value = argument.mid(known.size() + 1);
            }
        }
        if (option.isEmpty()) {
            if (argument.startsWith(QLatin1Char('-')))
                return Invalid(QStringLiteral("unknown option %1").arg(argument));
            return Invalid(QStringLiteral("unexpected argument %1").arg(argument));
        }
        // Two of either would leave it to chance which one the caller meant.
        bool& bSeen = option == kRegionOption ? bRegionSeen : bMarkupSeen;
        if (bSeen)
            return Invalid(QStringLiteral("%1 given more than once").arg(option));
        bSeen = true;
        if (option == kMarkupOption) {
            if (value.isEmpty())
                return Invalid(QStringLiteral("%1 needs a file name").arg(kMarkupOption));
            result.m_strMarkupFile = value;
            continue;
        }
        const CommandLine region = FromRegionText(value);
        if (region.m_eAction == Action::Invalid)
            return region;
        result.m_eAction = region.m_eAction;
        result.m_region = region.m_region;
        result.m_strMessage = region.m_strMessage;
    }
    // Mark-up and found numbers are placed in the picture's pixels, which only a region fixes
    // before anything is shown.
    if (!bRegionSeen && (bMarkupSeen || result.m_bHideNumbers))
        return Invalid(QStringLiteral("%1 and %2 need %3")
                           .arg(kMarkupOption, kHideNumbersOption, kRegionOption));
    return result;
}

QString CommandLine::HelpText()
{
    return QStringLiteral(
        "Usage: PalScreenShotExecutor.exe [--region X,Y,W,H [--markup FILE] [--hide-numbers]]\n"
        "\n"
        "Puts a picture of part of the screen on the system clipboard.\n"
        "\n"
        "Without options the screen under the mouse pointer is shown dimmed; drag a rectangle\n"
        "(drag inside it to move it) and confirm with Enter, a double click or \"OK\".\n"
        "Confirming without a rectangle takes the whole screen. Esc, a right click or\n"
        "\"Cancel\" ends without a picture. Once a rectangle is drawn, its tool bar marks it\n"
        "up: rectangle, arrow, highlighter, text and black-out, a colour, undo (Ctrl+Z),\n"
        "redo (Ctrl+Shift+Z) and \"Hide numbers\", which blacks out every number of six\n"
        "or more digits it reads (each proposal can be taken away with its x).\n"
        "\n"
        "Options:\n"
        "  --region X,Y,W,H  take this rectangle of the primary screen without asking;\n"
        "                    X,Y from the screen's top-left corner, in the same units as\n"
        "                    window geometry; it must lie wholly on the screen\n"
        "  --markup FILE     draw the marks listed in FILE (JSON) over the region:\n"
        "                    [{\"type\": \"rectangle\", \"rect\": [X, Y, W, H]},\n"
        "                     {\"type\": \"arrow\", \"from\": [X, Y], \"to\": [X, Y]},\n"
        "                     {\"type\": \"highlighter\", \"points\": [[X, Y], ...]},\n"
        "                     {\"type\": \"text\", \"at\": [X, Y], \"text\": \"...\"},\n"
        "                     {\"type\": \"blackout\", \"rect\": [X, Y, W, H]}]\n"
        "                    in pixels of the picture; the first four take an optional\n"
        "                    \"color\" (\"#rrggbb\" or a name) and \"size\" (line width or\n"
        "                    text height); a black-out must lie wholly within the picture\n"
        "  --hide-numbers    black out every number of six or more digits in the region;\n"
        "                    fails when no text recognition data is installed\n"
        "  -h, --help        show this text\n"
        "\n"
        "Exit codes: 0 the picture is on the clipboard, 1 cancelled,\n"
        "            2 bad usage or the picture could not be taken or handed over.\n");
}

CommandLine CommandLine::Invalid(const QString& message)
{
    CommandLine result;
    result.m_eAction = Action::Invalid;
    result.m_strMessage = message;
    return result;
}

CommandLine CommandLine::FromRegionText(const QString& text)
{
    const QString problem =
        QStringLiteral("invalid region \"%1\": expected X,Y,W,H as whole numbers").arg(text);
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return Invalid(problem);
    QVector<int> values;
    for (const QString& part : parts) {
        bool bOk = false;
        const int value = part.trimmed().toInt(&bOk, 10);
        if (!bOk)
            return Invalid(problem);
        values.append(value);
    }
    const int x = values.at(0);
    const int y = values.at(1);
    const int width = values.at(2);
    const int height = values.at(3);
    if (width <= 0 || height <= 0)
        return Invalid(QStringLiteral("region \"%1\" is empty").arg(text));
    // QRect computes right() and bottom() in int; an edge past INT_MAX would wrap around and
    // could turn a nonsense rectangle into one that seems to lie on the screen.
    constexpr qint64 kLimit = std::numeric_limits<int>::max();
    if (qint64(x) + width > kLimit || qint64(y) + height > kLimit)
        return Invalid(QStringLiteral("region \"%1\" is too large").arg(text));

    CommandLine result;
    result.m_eAction = Action::Region;
    result.m_region = QRect(x, y, width, height);
    result.m_strMessage = text;
    return result;
}
