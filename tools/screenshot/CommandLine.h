#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

// What the program was asked to do. Reading the arguments needs no display, so --help and
// malformed arguments are answered before any window-system connection is made.
class CommandLine
{
public:
    enum class Action {
        Select, // let the user choose an area on the screen
        Region, // take GetRegion() without asking; GetMessage() is the region as written
        Help,   // print GetMessage() and stop
        Invalid // GetMessage() says what is wrong
    };

    // arguments holds the options only, without the program name.
    static CommandLine Parse(const QStringList& arguments);
    static QString HelpText();

    Action GetAction() const { return m_eAction; }
    QRect GetRegion() const { return m_region; }
    QString GetMessage() const { return m_strMessage; }
    // Empty when no mark-up was asked for.
    QString GetMarkupFile() const { return m_strMarkupFile; }
    bool GetHideNumbers() const { return m_bHideNumbers; }

private:
    static CommandLine Invalid(const QString& message);
    static CommandLine FromRegionText(const QString& text);

    Action m_eAction = Action::Select;
    QRect m_region;
    QString m_strMessage;
    QString m_strMarkupFile;
    bool m_bHideNumbers = false;
};
