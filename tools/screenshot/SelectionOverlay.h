#pragma once

#include "Markup.h"
#include "MarkupModel.h"
#include "ScreenShot.h"

#include <QPoint>
#include <QRect>
#include <QWidget>

class NumberFinder;
class QLabel;
class MarkupToolBar;
class QLineEdit;
class SelectionToolBar;

// Shows a screen picture dimmed and lets the user pick a rectangle of it: a left-button drag
// draws a new one, a drag that starts inside moves it, a click leaves it alone. Return, Enter,
// a double click or "OK" confirm (with nothing drawn, the whole picture); Esc, a right click,
// "Cancel" or closing the window cancel. Exactly one outcome is reported.
//
// Once a selection stands, its tool bar marks it up. With a tool chosen, a drag inside the
// selection draws a rectangle, an arrow, a highlighter stroke or a black-out, and a click
// places text; Ctrl+Z and Ctrl+Shift+Z undo and redo. "Hide numbers" proposes a black-out over
// every long number in the selection, each with a small x that takes it away. Marks belong to
// the screen picture, so they stay on what they cover when the selection moves.
class SelectionOverlay : public QWidget
{
    Q_OBJECT

public:
    explicit SelectionOverlay(const ScreenShot& shot, QWidget* pParent = nullptr);

    // Covers the given screen, frameless and above other windows, and takes the keyboard.
    void ShowFullScreen(QScreen* pScreen);

    // In picture coordinates; empty while nothing is drawn.
    QRect GetSelection() const { return m_selection; }

    // The marks, in device pixels of the screen picture.
    MarkupModel* GetMarkup() { return &m_markup; }
    // Offers "Hide numbers" through finder, which must outlive the overlay.
    void SetNumberFinder(NumberFinder* pFinder);
    // What confirming area puts on the clipboard: its pixels with the marks drawn on them.
    QImage RenderPicture(const QRect& area) const;

    QSize sizeHint() const override;

signals:
    void SigAccepted(const QRect& area);
    void SigCancelled();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    enum class Drag {
        None,
        Pending, // pressed outside the selection, not moved yet
        Draw,
        Move,
        Mark // drawing a mark with the chosen tool
    };

    void Accept();
    void Cancel();
    void SetSelection(const QRect& selection);
    void PlaceDecorations();
    QRect DecorationArea() const;
    QPoint ClampToPicture(const QPoint& point) const;
    QPoint ClampToSelection(const QPoint& point) const;
    QPoint ToDevice(const QPoint& point) const;
    // Where the x that takes a proposed black-out away is shown, in window coordinates.
    QRect ProposalHandle(const MarkupShape& shape) const;
    int ProposalAt(const QPoint& pos) const;
    void StartMark(MarkupShape::Kind eKind, const QPoint& pos);
    void UpdateMark(const QPoint& pos);
    void FinishMark();
    void OpenTextEditor(const QPoint& pos);
    void CloseTextEditor(bool bKeep);
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    void UpdateHideNumbers();
    void HideNumbers();
    void ShowFoundNumbers(const QVector<QRect>& boxes);
    void SetStatus(const QString& text);
    // Scales a design size to device pixels of the picture.
    int DeviceSize(int size) const;

    ScreenShot m_shot;
    QRect m_selection;
    Drag m_eDrag = Drag::None;
    QPoint m_pressPos;
    QRect m_selectionAtPress;
    bool m_bFinished = false;
    QLabel* m_pSizeLabel = nullptr;
    SelectionToolBar* m_pToolBar = nullptr;
    MarkupToolBar* m_pMarkupBar = nullptr;
    QLabel* m_pStatusLabel = nullptr;
    MarkupModel m_markup;
    MarkupShape m_draft;
    QLineEdit* m_pTextEditor = nullptr;
    MarkupShape m_textDraft;
    NumberFinder* m_pFinder = nullptr;
};
