#pragma once

#include "zorbaseui_export.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

enum ENUM_TOAST_TYPE {
    TOAST_SUCCESS = 0,
    TOAST_INFO = 1,
    TOAST_FAILED = 2,
};

// Announces every toast shown, for the host's activity log and for tests.
class ZORBASEUI_EXPORT ZorToastNotifier : public QObject
{
    Q_OBJECT
public:
    static ZorToastNotifier* Instance();

signals:
    // parent is null for a toast over the screen.
    void SigToastShown(const QString& text, int type, QWidget* parent);

private:
    explicit ZorToastNotifier(QObject* parent = nullptr);
};

// A passing message over its parent window (or over the screen when there is none): gone by
// itself after about 2.5 seconds, or as soon as the next one over the same window (or the
// screen) shows; never takes focus. Object name "zorToast", with the
// dynamic property "toastType" (int) for the style sheet.
class ZORBASEUI_EXPORT ZorToast : public QWidget
{
    Q_OBJECT
public:
    static void Show(const QString& text, ENUM_TOAST_TYPE type);
    static void Show(const QString& text, ENUM_TOAST_TYPE type, QWidget* parent);

    // How long a toast stays, in milliseconds.
    static constexpr int kDurationMs = 2500;

private:
    ZorToast(const QString& text, ENUM_TOAST_TYPE type, QWidget* parent);
    void Place();
    // The toasts over the screen, not over any window.
    static QList<ZorToast*> ScreenToasts();

    QPointer<QWidget> m_anchor;
};
