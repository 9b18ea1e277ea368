#include "SelectionOverlay.h"

#include "SelectionToolBar.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QWindow>

namespace {

const QColor kShade(0, 0, 0, 120);
const QColor kBorder(30, 144, 255);
// Gap between the selection and the bars beside it.
constexpr int kGap = 4;

} // namespace

SelectionOverlay::SelectionOverlay(const ScreenShot& shot, QWidget* pParent)
    : QWidget(pParent), m_shot(shot)
{
    setObjectName(QStringLiteral("selectionOverlay"));
    setCursor(Qt::CrossCursor);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);

    m_pSizeLabel = new QLabel(this);
    m_pSizeLabel->setObjectName(QStringLiteral("sizeLabel"));
    m_pSizeLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_pSizeLabel->setStyleSheet(QStringLiteral(
        "QLabel { background: rgba(0, 0, 0, 170); color: white; padding: 2px 6px; }"));
    m_pSizeLabel->hide();

    m_pToolBar = new SelectionToolBar(this);
    m_pToolBar->hide();
    connect(m_pToolBar, &SelectionToolBar::SigConfirm, this, &SelectionOverlay::Accept);
    connect(m_pToolBar, &SelectionToolBar::SigCancel, this, &SelectionOverlay::Cancel);
}

void SelectionOverlay::ShowFullScreen(QScreen* pScreen)
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    // The native window must know its screen before it is mapped, or a multi-screen desktop
    // shows it on the primary one.
    winId();
    windowHandle()->setScreen(pScreen);
    setGeometry(pScreen->geometry());
    showFullScreen();
    raise();
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
}

QSize SelectionOverlay::sizeHint() const
{
    return m_shot.GetBounds().size();
}

void SelectionOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawPixmap(QPoint(0, 0), m_shot.GetPixmap());

    QRegion shaded(rect());
    if (!m_selection.isEmpty())
        shaded -= m_selection;
    painter.setClipRegion(shaded);
    painter.fillRect(rect(), kShade);
    painter.setClipping(false);

    if (!m_selection.isEmpty()) {
        // Just outside the selection, so the frame hides none of the chosen pixels.
        painter.setPen(kBorder);
        painter.drawRect(m_selection.adjusted(-1, -1, 0, 0));
    }
}

void SelectionOverlay::mousePressEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::RightButton) {
        Cancel();
        return;
    }
    if (pEvent->button() != Qt::LeftButton)
        return;
    m_pressPos = ClampToPicture(pEvent->pos());
    m_selectionAtPress = m_selection;
    // Nothing changes until the mouse moves, so a plain click (or the first half of a double
    // click) keeps the current selection.
    m_eDrag = m_selection.contains(m_pressPos) ? Drag::Move : Drag::Pending;
}

void SelectionOverlay::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (m_eDrag == Drag::None)
        return;
    const QPoint pos = ClampToPicture(pEvent->pos());
    if (m_eDrag == Drag::Pending) {
        if (pos == m_pressPos)
            return;
        m_eDrag = Drag::Draw;
        PlaceDecorations();
    }
    if (m_eDrag == Drag::Draw) {
        SetSelection(QRect(m_pressPos, pos).normalized());
        return;
    }
    const QRect bounds = m_shot.GetBounds();
    QRect moved = m_selectionAtPress.translated(pos - m_pressPos);
    moved.moveLeft(qBound(bounds.left(), moved.left(), bounds.right() - moved.width() + 1));
    moved.moveTop(qBound(bounds.top(), moved.top(), bounds.bottom() - moved.height() + 1));
    SetSelection(moved);
}

void SelectionOverlay::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() != Qt::LeftButton || m_eDrag == Drag::None)
        return;
    m_eDrag = Drag::None;
    PlaceDecorations();
}

void SelectionOverlay::mouseDoubleClickEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::LeftButton)
        Accept();
}

void SelectionOverlay::keyPressEvent(QKeyEvent* pEvent)
{
    switch (pEvent->key()) {
    case Qt::Key_Escape:
        Cancel();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Accept();
        break;
    default:
        QWidget::keyPressEvent(pEvent);
    }
}

void SelectionOverlay::closeEvent(QCloseEvent* pEvent)
{
    Cancel();
    pEvent->accept();
}

void SelectionOverlay::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    PlaceDecorations();
}

void SelectionOverlay::Accept()
{
    if (m_bFinished)
        return;
    m_bFinished = true;
    m_eDrag = Drag::None;
    emit SigAccepted(m_selection.isEmpty() ? m_shot.GetBounds() : m_selection);
}

void SelectionOverlay::Cancel()
{
    if (m_bFinished)
        return;
    m_bFinished = true;
    m_eDrag = Drag::None;
    emit SigCancelled();
}

void SelectionOverlay::SetSelection(const QRect& selection)
{
    if (selection == m_selection)
        return;
    m_selection = selection;
    PlaceDecorations();
    update();
}

void SelectionOverlay::PlaceDecorations()
{
    if (m_selection.isEmpty()) {
        m_pSizeLabel->hide();
        m_pToolBar->hide();
        return;
    }
    const QRect area = DecorationArea();

    const QSize pixels = m_shot.ToDevice(m_selection).size();
    m_pSizeLabel->setText(QStringLiteral("%1 \u00D7 %2").arg(pixels.width()).arg(pixels.height()));
    m_pSizeLabel->adjustSize();
    // Above the top-left corner, or just inside it when the selection touches the top.
    QPoint labelPos(m_selection.left(), m_selection.top() - m_pSizeLabel->height() - kGap);
    if (labelPos.y() < area.top())
        labelPos.setY(m_selection.top() + kGap);
    labelPos.setX(qBound(area.left(), labelPos.x(), area.right() - m_pSizeLabel->width() + 1));
    m_pSizeLabel->move(labelPos);
    m_pSizeLabel->show();

    if (m_eDrag == Drag::Draw || m_eDrag == Drag::Move) {
        m_pToolBar->hide();
        return;
    }
    m_pToolBar->adjustSize();
    const QSize bar = m_pToolBar->size();
    // Below the bottom-right corner; above the selection when there is no room below; inside
    // its bottom-right corner when it fills the screen's height.
    QPoint barPos(m_selection.right() + 1 - bar.width(), m_selection.bottom() + 1 + kGap);
    if (barPos.y() + bar.height() - 1 > area.bottom())
        barPos.setY(m_selection.top() - kGap - bar.height());
    if (barPos.y() < area.top())
        barPos.setY(m_selection.bottom() + 1 - kGap - bar.height());
    barPos.setX(qBound(area.left(), barPos.x(), area.right() - bar.width() + 1));
    barPos.setY(qBound(area.top(), barPos.y(), area.bottom() - bar.height() + 1));
    m_pToolBar->move(barPos);
    m_pToolBar->show();
    m_pToolBar->raise();
}

QRect SelectionOverlay::DecorationArea() const
{
    return rect().intersected(m_shot.GetBounds());
}

QPoint SelectionOverlay::ClampToPicture(const QPoint& point) const
{
    const QRect bounds = m_shot.GetBounds();
    return QPoint(qBound(bounds.left(), point.x(), bounds.right()),
                  qBound(bounds.top(), point.y(), bounds.bottom()));
}
