#pragma once

#include <QByteArray>
#include <QString>
#include <QTranslator>

// Answers every lookup in one translation context with the source text in brackets, so a
// test sees which texts went through translation, and in which context.
class MarkingTranslator : public QTranslator
{
public:
    explicit MarkingTranslator(const char* context) : m_context(context) {}

    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (m_context != context)
            return QString();
        return QStringLiteral("[%1]").arg(QString::fromUtf8(sourceText));
    }
    bool isEmpty() const override { return false; }

private:
    QByteArray m_context;
};
