#pragma once

#include "ScreenShot.h"

#include <QPoint>
#include <QRect>
#include <QWidget>

class QLabel;
class SelectionToolBar;

// Shows a screen picture dimmed and lets the user pick a rectangle of it: a left-button drag
// draws a new one, a drag that starts inside moves it, a click leaves it alone. Return, Enter,
// a double click or "OK" confirm (with nothing drawn, the whole picture); Esc, a right click,
// "Cancel" or closing the window cancel. Exactly one outcome is reported.
class SelectionOverlay : public QWidget
{
    Q_OBJECT

public:
    explicit SelectionOverlay(const ScreenShot& shot, QWidget* pParent = nullptr);

    // Covers the given screen, frameless and above other windows, and takes the keyboard.
    void ShowFullScreen(QScreen* pScreen);

    // In picture coordinates; empty while nothing is drawn.
    QRect GetSelection() const { return m_selection; }

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
        Move
    };

    void Accept();
    void Cancel();
    void SetSelection(const QRect& selection);
    void PlaceDecorations();
    QRect DecorationArea() const;
    QPoint ClampToPicture(const QPoint& point) const;

    ScreenShot m_shot;
    QRect m_selection;
    Drag m_eDrag = Drag::None;
    QPoint m_pressPos;
    QRect m_selectionAtPress;
    bool m_bFinished = false;
    QLabel* m_pSizeLabel = nullptr;
    SelectionToolBar* m_pToolBar = nullptr;
};
