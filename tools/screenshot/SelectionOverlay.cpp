#include "SelectionOverlay.h"

#include "MarkupToolBar.h"
#include "NumberFinder.h"
#include "SelectionToolBar.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
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
const QColor kProposalFrame(255, 140, 0);
constexpr int kHandleSize = 14;
// Design size of text marks, before the screen's scale.
constexpr int kTextSize = 20;

// Shows a bar next to the selection within area. Along the given axis it goes past the
// selection's far edge, before its near edge when there is no room, inside the far edge when
// the selection fills the area; across it, a horizontal bar (below) ends level with the
// selection's right edge and a vertical one (at the right) starts level with its top.
void PlaceBeside(QWidget* pBar, QRect selection, QRect area, Qt::Orientation eAxis)
{
    pBar->adjustSize();
    QSize bar = pBar->size();
    const bool bTransposed = eAxis == Qt::Horizontal;
    // Mirrored at the diagonal, the vertical case is the horizontal one.
    const auto mirror = [](const QRect& rect) {
        return QRect(rect.y(), rect.x(), rect.height(), rect.width());
    };
    if (bTransposed) {
        selection = mirror(selection);
        area = mirror(area);
        bar.transpose();
    }
    QPoint pos(bTransposed ? selection.left() : selection.right() + 1 - bar.width(),
               selection.bottom() + 1 + kGap);
    if (pos.y() + bar.height() - 1 > area.bottom())
        pos.setY(selection.top() - kGap - bar.height());
    if (pos.y() < area.top())
        pos.setY(selection.bottom() + 1 - kGap - bar.height());
    pos.setX(qBound(area.left(), pos.x(), area.right() - bar.width() + 1));
    pos.setY(qBound(area.top(), pos.y(), area.bottom() - bar.height() + 1));
    pBar->move(bTransposed ? pos.transposed() : pos);
    pBar->show();
    pBar->raise();
}

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

    m_pStatusLabel = new QLabel(this);
    m_pStatusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_pStatusLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_pStatusLabel->setStyleSheet(m_pSizeLabel->styleSheet());
    m_pStatusLabel->hide();

    m_pMarkupBar = new MarkupToolBar(this);
    m_pMarkupBar->hide();
    connect(m_pMarkupBar, &MarkupToolBar::SigUndo, &m_markup, &MarkupModel::Undo);
    connect(m_pMarkupBar, &MarkupToolBar::SigRedo, &m_markup, &MarkupModel::Redo);
    connect(m_pMarkupBar, &MarkupToolBar::SigHideNumbers, this, &SelectionOverlay::HideNumbers);
    connect(&m_markup, &MarkupModel::SigChanged, this, QOverload<>::of(&QWidget::update));
    QUndoStack* pStack = m_markup.GetUndoStack();
    connect(pStack, &QUndoStack::canUndoChanged, m_pMarkupBar, &MarkupToolBar::SetUndoEnabled);
    connect(pStack, &QUndoStack::canRedoChanged, m_pMarkupBar, &MarkupToolBar::SetRedoEnabled);
}

void SelectionOverlay::SetNumberFinder(NumberFinder* pFinder)
{
    m_pFinder = pFinder;
    connect(pFinder, &NumberFinder::SigStateChanged, this, &SelectionOverlay::UpdateHideNumbers);
    connect(pFinder, &NumberFinder::SigFound, this, &SelectionOverlay::ShowFoundNumbers);
    UpdateHideNumbers();
}

QImage SelectionOverlay::RenderPicture(const QRect& area) const
{
    return ApplyMarkup(m_shot.Crop(area), m_markup.GetShapes(), m_shot.ToDevice(area).topLeft());
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

    MarkupShapes shapes = m_markup.GetShapes();
    if (m_eDrag == Drag::Mark)
        shapes.append(m_draft);
    if (!shapes.isEmpty()) {
        // Marks are kept in device pixels; the same code draws them here and in the picture.
        const qreal ratio = m_shot.GetPixmap().devicePixelRatio();
        painter.save();
        painter.scale(1 / ratio, 1 / ratio);
        PaintMarkup(painter, shapes);
        painter.restore();
    }

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

    for (const MarkupShape& shape : m_markup.GetShapes()) {
        if (!shape.bProposed)
            continue;
        const QRect handle = ProposalHandle(shape);
        painter.setPen(QPen(kProposalFrame, 1, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        const qreal ratio = m_shot.GetPixmap().devicePixelRatio();
        const QRectF box(QPointF(shape.rect.topLeft()) / ratio, QSizeF(shape.rect.size()) / ratio);
        painter.drawRect(box.adjusted(-1, -1, 0, 0));
        painter.setPen(kProposalFrame);
        painter.setBrush(Qt::white);
        painter.drawRect(handle.adjusted(0, 0, -1, -1));
        painter.drawLine(handle.topLeft() + QPoint(3, 3), handle.bottomRight() - QPoint(3, 3));
        painter.drawLine(handle.topRight() + QPoint(-3, 3), handle.bottomLeft() + QPoint(3, -3));
    }
}

void SelectionOverlay::mousePressEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::RightButton) {
        Cancel();
        return;
    }
    if (pEvent->button() != Qt::LeftButton || m_bFinished)
        return;
    const int proposal = ProposalAt(pEvent->pos());
    if (proposal >= 0) {
        m_markup.RemoveProposal(proposal);
        return;
    }
    MarkupShape::Kind eTool;
    if (m_pMarkupBar->GetTool(&eTool) && m_selection.contains(pEvent->pos())) {
        StartMark(eTool, pEvent->pos());
        return;
    }
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
    if (m_eDrag == Drag::Mark) {
        UpdateMark(pEvent->pos());
        return;
    }
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
    if (m_eDrag == Drag::Mark) {
        UpdateMark(pEvent->pos());
        FinishMark();
        return;
    }
    m_eDrag = Drag::None;
    PlaceDecorations();
}

void SelectionOverlay::mouseDoubleClickEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() != Qt::LeftButton)
        return;
    // While marking, a quick second click is one more mark, not the end of the capture.
    MarkupShape::Kind eTool;
    if (m_pMarkupBar->GetTool(&eTool) && m_selection.contains(pEvent->pos())) {
        mousePressEvent(pEvent);
        return;
    }
    Accept();
}

void SelectionOverlay::keyPressEvent(QKeyEvent* pEvent)
{
    // Ctrl+Shift+Z is redo wherever the platform's own redo key is another.
    if (pEvent->matches(QKeySequence::Redo) ||
        (pEvent->key() == Qt::Key_Z &&
         pEvent->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier))) {
        m_markup.Redo();
        return;
    }
    if (pEvent->matches(QKeySequence::Undo)) {
        m_markup.Undo();
        return;
    }
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
    // What is on the screen when the user confirms is what the picture shows.
    if (m_pTextEditor)
        CloseTextEditor(true);
    if (m_eDrag == Drag::Mark)
        FinishMark();
    m_bFinished = true;
    m_eDrag = Drag::None;
    emit SigAccepted(m_selection.isEmpty() ? m_shot.GetBounds() : m_selection);
}

void SelectionOverlay::Cancel()
{
    if (m_bFinished)
        return;
    if (m_pTextEditor)
        CloseTextEditor(false);
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
        m_pMarkupBar->hide();
        m_pStatusLabel->hide();
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

    if (m_pStatusLabel->text().isEmpty()) {
        m_pStatusLabel->hide();
    } else {
        // Beside the size, or below it when the screen is too narrow.
        m_pStatusLabel->adjustSize();
        QPoint statusPos(labelPos.x() + m_pSizeLabel->width() + kGap, labelPos.y());
        if (statusPos.x() + m_pStatusLabel->width() - 1 > area.right())
            statusPos = QPoint(labelPos.x(), labelPos.y() + m_pSizeLabel->height() + kGap);
        m_pStatusLabel->move(statusPos);
        m_pStatusLabel->show();
    }

    if (m_eDrag == Drag::Draw || m_eDrag == Drag::Move) {
        m_pToolBar->hide();
        m_pMarkupBar->hide();
        return;
    }
    // Below the bottom-right corner; the marks' column right of the top-right corner.
    PlaceBeside(m_pToolBar, m_selection, area, Qt::Vertical);
    PlaceBeside(m_pMarkupBar, m_selection, area, Qt::Horizontal);
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

QPoint SelectionOverlay::ClampToSelection(const QPoint& point) const
{
    return QPoint(qBound(m_selection.left(), point.x(), m_selection.right()),
                  qBound(m_selection.top(), point.y(), m_selection.bottom()));
}

QPoint SelectionOverlay::ToDevice(const QPoint& point) const
{
    return m_shot.ToDevice(QRect(point, QSize(1, 1))).topLeft();
}

int SelectionOverlay::DeviceSize(int size) const
{
    return qMax(1, qRound(size * m_shot.GetPixmap().devicePixelRatio()));
}

QRect SelectionOverlay::ProposalHandle(const MarkupShape& shape) const
{
    // On the box's top-right corner, half outside it, so the box itself stays whole.
    const qreal ratio = m_shot.GetPixmap().devicePixelRatio();
    const QPoint corner(qRound((shape.rect.x() + shape.rect.width()) / ratio),
                        qRound(shape.rect.y() / ratio));
    return QRect(corner - QPoint(kHandleSize / 2, kHandleSize / 2),
                 QSize(kHandleSize, kHandleSize));
}

int SelectionOverlay::ProposalAt(const QPoint& pos) const
{
    const MarkupShapes& shapes = m_markup.GetShapes();
    for (int i = shapes.size() - 1; i >= 0; --i) {
        if (shapes.at(i).bProposed && ProposalHandle(shapes.at(i)).contains(pos))
            return i;
    }
    return -1;
}

void SelectionOverlay::StartMark(MarkupShape::Kind eKind, const QPoint& pos)
{
    m_pressPos = ClampToSelection(pos);
    if (eKind == MarkupShape::Kind::Text) {
        OpenTextEditor(m_pressPos);
        return;
    }
    m_draft = eKind == MarkupShape::Kind::BlackOut ? MarkupShape::BlackOut(QRect()) : MarkupShape();
    m_draft.eKind = eKind;
    if (eKind != MarkupShape::Kind::BlackOut) {
        m_draft.colour = m_pMarkupBar->GetColour();
        MarkupShape defaults;
        defaults.eKind = eKind;
        m_draft.size = DeviceSize(EffectiveSize(defaults));
    }
    m_eDrag = Drag::Mark;
    UpdateMark(pos);
}

void SelectionOverlay::UpdateMark(const QPoint& pos)
{
    const QPoint clamped = ClampToSelection(pos);
    switch (m_draft.eKind) {
    case MarkupShape::Kind::Rectangle:
    case MarkupShape::Kind::BlackOut:
        m_draft.rect = m_shot.ToDevice(QRect(m_pressPos, clamped).normalized());
        break;
    case MarkupShape::Kind::Arrow:
        m_draft.points = {ToDevice(m_pressPos), ToDevice(clamped)};
        break;
    case MarkupShape::Kind::Highlighter:
        if (m_draft.points.isEmpty() || m_draft.points.constLast() != ToDevice(clamped))
            m_draft.points.append(ToDevice(clamped));
        break;
    case MarkupShape::Kind::Text:
        break;
    }
    update();
}

void SelectionOverlay::FinishMark()
{
    m_eDrag = Drag::None;
    // A click without a drag leaves no box and no arrow; a highlighter dot is a mark.
    bool bKeep = true;
    if (m_draft.eKind == MarkupShape::Kind::Arrow)
        bKeep = m_draft.points.constFirst() != m_draft.points.constLast();
    else if (m_draft.eKind != MarkupShape::Kind::Highlighter)
        bKeep = m_draft.rect.width() > 1 && m_draft.rect.height() > 1;
    if (bKeep)
        m_markup.Add(m_draft);
    m_draft = MarkupShape();
    update();
}

void SelectionOverlay::OpenTextEditor(const QPoint& pos)
{
    if (m_pTextEditor)
        CloseTextEditor(true);
    m_textDraft = MarkupShape();
    m_textDraft.eKind = MarkupShape::Kind::Text;
    m_textDraft.colour = m_pMarkupBar->GetColour();
    m_textDraft.size = DeviceSize(kTextSize);
    m_textDraft.rect = QRect(ToDevice(pos), QSize(1, 1));

    m_pTextEditor = new QLineEdit(this);
    m_pTextEditor->setObjectName(QStringLiteral("textEditor"));
    m_pTextEditor->setFrame(false);
    m_pTextEditor->setTextMargins(0, 0, 0, 0);
    m_pTextEditor->setStyleSheet(
        QStringLiteral("QLineEdit { background: transparent; color: %1; padding: 0; }")
            .arg(m_textDraft.colour.name()));
    QFont font = m_pTextEditor->font();
    font.setPixelSize(kTextSize);
    font.setBold(true);
    m_pTextEditor->setFont(font);
    m_pTextEditor->setMinimumWidth(40);
    m_pTextEditor->resize(qMax(40, m_selection.right() - pos.x()),
                          m_pTextEditor->sizeHint().height());
    m_pTextEditor->move(pos);
    m_pTextEditor->installEventFilter(this);
    m_pTextEditor->show();
    m_pTextEditor->setFocus(Qt::MouseFocusReason);
}

void SelectionOverlay::CloseTextEditor(bool bKeep)
{
    QLineEdit* pEditor = m_pTextEditor;
    if (!pEditor)
        return;
    // Cleared first: hiding the editor moves the focus, which would close it a second time.
    m_pTextEditor = nullptr;
    pEditor->removeEventFilter(this);
    m_textDraft.text = pEditor->text();
    pEditor->hide();
    pEditor->deleteLater();
    if (bKeep && !m_textDraft.text.trimmed().isEmpty())
        m_markup.Add(m_textDraft);
    setFocus(Qt::OtherFocusReason);
}

bool SelectionOverlay::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == m_pTextEditor) {
        if (pEvent->type() == QEvent::KeyPress) {
            // The editor's Return and Esc end the text, not the capture.
            const int key = static_cast<QKeyEvent*>(pEvent)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
                CloseTextEditor(key != Qt::Key_Escape);
                return true;
            }
        } else if (pEvent->type() == QEvent::FocusOut) {
            CloseTextEditor(true);
        }
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

void SelectionOverlay::UpdateHideNumbers()
{
    if (!m_pFinder) {
        m_pMarkupBar->SetHideNumbers(false, false, QString());
        return;
    }
    switch (m_pFinder->GetState()) {
    case NumberFinder::State::Loading:
        m_pMarkupBar->SetHideNumbers(true, false, tr("Loading text recognition..."));
        break;
    case NumberFinder::State::Ready:
        m_pMarkupBar->SetHideNumbers(
            true, true, tr("Black out every number of six or more digits in the selection"));
        break;
    case NumberFinder::State::Busy:
        m_pMarkupBar->SetHideNumbers(true, false, tr("Looking for numbers..."));
        break;
    case NumberFinder::State::Unavailable:
        m_pMarkupBar->SetHideNumbers(true, false,
                                     tr("Numbers cannot be found: %1").arg(m_pFinder->GetReason()));
        break;
    }
    PlaceDecorations();
}

void SelectionOverlay::HideNumbers()
{
    if (!m_pFinder || m_selection.isEmpty() || m_pFinder->GetState() != NumberFinder::State::Ready)
        return;
    SetStatus(tr("Looking for numbers..."));
    m_pFinder->Find(m_shot.Crop(m_selection), m_shot.ToDevice(m_selection).topLeft());
}

void SelectionOverlay::ShowFoundNumbers(const QVector<QRect>& boxes)
{
    if (m_bFinished)
        return;
    MarkupShapes proposals;
    for (const QRect& box : boxes) {
        const MarkupShape proposal = MarkupShape::BlackOut(box, true);
        // Asking twice proposes nothing twice.
        if (!m_markup.GetShapes().contains(proposal))
            proposals.append(proposal);
    }
    m_markup.AddAll(proposals);
    SetStatus(boxes.isEmpty()
                  ? tr("No numbers of six or more digits found")
                  : tr("%n number(s) blacked out; x shows one again", nullptr, boxes.size()));
    PlaceDecorations();
}

void SelectionOverlay::SetStatus(const QString& text)
{
    m_pStatusLabel->setText(text);
    PlaceDecorations();
}
