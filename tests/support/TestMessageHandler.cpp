#include "TestMessageHandler.h"

#include <QList>
#include <QTest>
#include <QtGlobal>

#include <cstdio>

namespace {

QtMessageHandler g_previous = nullptr;
QList<QRegularExpression>& allowed()
{
    static QList<QRegularExpression> list;
    return list;
}

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (g_previous)
        g_previous(type, context, message);
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    for (const QRegularExpression& pattern : allowed()) {
        if (pattern.match(message).hasMatch())
            return;
    }
    // QTest::ignoreMessage cannot be seen from here: a test that expects a message
    // announces it with allow() instead.
    QTest::qFail(qPrintable(QStringLiteral("Unexpected Qt message: ") + message), context.file,
                 context.line);
}

} // namespace

void TestMessageHandler::install()
{
    g_previous = qInstallMessageHandler(handler);
}

void TestMessageHandler::allow(const QRegularExpression& pattern)
{
    allowed().append(pattern);
}
