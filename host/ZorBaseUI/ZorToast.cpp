#include "ZorToast.h"

#include "DpiTool.h"
#include "ZorSkin.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QTimer>

ZorToastNotifier* ZorToastNotifier::Instance()
{
    static ZorToastNotifier notifier;
    return &notifier;
}

ZorToastNotifier::ZorToastNotifier(QObject* parent) : QObject(parent)
{}

void ZorToast::Show(const QString& text, ENUM_TOAST_TYPE type)
{
    Show(text, type, nullptr);
}

void ZorToast::Show(const QString& text, ENUM_TOAST_TYPE type, QWidget* parent)
{
    emit ZorToastNotifier::Instance()->SigToastShown(text, type, parent);

    // One message at a time over a window (or over the screen): a new one replaces the one
    // still showing, rather than piling up on it.
    QWidget* window = parent ? parent->window() : nullptr;
    const QList<ZorToast*> shown =
        window ? window->findChildren<ZorToast*>(QString(), Qt::FindDirectChildrenOnly)
               : ScreenToasts();
    for (ZorToast* old : shown) {
        old->hide();
        old->deleteLater();
    }

    // The application deletes no window of its own when it ends: a toast over the screen still
    // showing then would never be freed, so those go first.
    static const bool s_bCleanupAdded = [] {
        qAddPostRoutine([] { qDeleteAll(ScreenToasts()); });
        return true;
    }();
    Q_UNUSED(s_bCleanupAdded)

    auto* toast = new ZorToast(text, type, parent);
    toast->Place();
    toast->show();
    // A coarse timer may fire a twentieth early; the message stays its whole time.
    QTimer::singleShot(kDurationMs, Qt::PreciseTimer, toast, &QObject::deleteLater);
}

ZorToast::ZorToast(const QString& text, ENUM_TOAST_TYPE type, QWidget* parent)
    // Owned by the parent's window, so a toast never outlives what it talks about.
    : QWidget(parent ? parent->window() : nullptr,
              Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                  Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput)
    , m_anchor(parent)
{
    setObjectName(QStringLiteral("zorToast"));
    setProperty("toastType", static_cast<int>(type));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_StyledBackground);
    setFocusPolicy(Qt::NoFocus);
    // A toast over the screen may come before any dialog installed the host's look.
    ZorSkin::Install();

    auto* frame = new QWidget(this);
    frame->setObjectName(QStringLiteral("toastFrame"));
    frame->setAttribute(Qt::WA_StyledBackground);
    auto* icon = new QLabel(frame);
    icon->setObjectName(QStringLiteral("toastIcon"));
    icon->setFixedSize(DpiTool::ScaleDefault(QSize(16, 16)));
    auto* label = new QLabel(text, frame);
    label->setObjectName(QStringLiteral("toastText"));
    label->setWordWrap(true);
    label->setMaximumWidth(DpiTool::ScaleDefault(360));

    auto* frameLayout = new QHBoxLayout(frame);
    frameLayout->setContentsMargins(DpiTool::ScaleDefault(16), DpiTool::ScaleDefault(10),
                                    DpiTool::ScaleDefault(16), DpiTool::ScaleDefault(10));
    frameLayout->setSpacing(DpiTool::ScaleDefault(8));
    frameLayout->addWidget(icon, 0, Qt::AlignTop);
    frameLayout->addWidget(label, 1);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame);

    // A wrapping label asks for little width; give a short message one line, measured in
    // the style sheet's font.
    ensurePolished();
    label->setMinimumWidth(
        qMin(label->fontMetrics().horizontalAdvance(text) + 1, label->maximumWidth()));
}

QList<ZorToast*> ZorToast::ScreenToasts()
{
    QList<ZorToast*> toasts;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* toast = qobject_cast<ZorToast*>(widget);
        if (toast && !toast->parentWidget())
            toasts << toast;
    }
    return toasts;
}

void ZorToast::Place()
{
    adjustSize();
    QRect area;
    if (m_anchor)
        area = m_anchor->window()->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    QRect geometry(QPoint(), size());
    geometry.moveCenter(area.center());
    move(geometry.topLeft());
}
