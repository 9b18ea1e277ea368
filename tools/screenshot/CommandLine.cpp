#include "CommandLine.h"

#include <QVector>

#include <limits>

namespace {

const QString kRegionOption = QStringLiteral("--region");

} // namespace

CommandLine CommandLine::Parse(const QStringList& arguments)
{
    CommandLine result;
    bool bRegionSeen = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            result.m_eAction = Action::Help;
            result.m_strMessage = HelpText();
            return result;
        }
        QString regionText;
        if (argument == kRegionOption) {
            if (i + 1 >= arguments.size())
                return Invalid(QStringLiteral("%1 needs a value X,Y,W,H").arg(kRegionOption));
            regionText = arguments.at(++i);
        } else if (argument.startsWith(kRegionOption + QLatin1Char('='))) {
            regionText = argument.mid(kRegionOption.size() + 1);
        } else if (argument.startsWith(QLatin1Char('-'))) {
            return Invalid(QStringLiteral("unknown option %1").arg(argument));
        } else {
            return Invalid(QStringLiteral("unexpected argument %1").arg(argument));
        }
        // Two regions would leave it to chance which one the caller meant.
        if (bRegionSeen)
            return Invalid(QStringLiteral("%1 given more than once").arg(kRegionOption));
        bRegionSeen = true;
        const CommandLine region = FromRegionText(regionText);
        if (region.m_eAction == Action::Invalid)
            return region;
        result = region;
    }
    return result;
}

QString CommandLine::HelpText()
{
    return QStringLiteral(
        "Usage: PalScreenShotExecutor.exe [--region X,Y,W,H]\n"
        "\n"
        "Puts a picture of part of the screen on the system clipboard.\n"
        "\n"
        "Without options the screen under the mouse pointer is shown dimmed; drag a rectangle\n"
        "(drag inside it to move it) and confirm with Enter, a double click or \"OK\".\n"
        "Confirming without a rectangle takes the whole screen. Esc, a right click or\n"
        "\"Cancel\" ends without a picture.\n"
        "\n"
        "Options:\n"
        "  --region X,Y,W,H  take this rectangle of the primary screen without asking;\n"
        "                    X,Y from the screen's top-left corner, in the same units as\n"
        "                    window geometry; it must lie wholly on the screen\n"
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
