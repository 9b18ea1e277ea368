#pragma once

#include "IChangeSkinBase.h"
#include "IDpiAdapter.h"
#include "zorbaseui_export.h"

#include <QDialog>
#include <QPoint>

class QLabel;
class QPushButton;
class QWidget;

namespace BaseDialogTitle {
enum BaseTitleType {
    TitleNone = 0,  // no title bar
    TitleClose = 1, // title text and a close button
};
}

// The host's dialog frame: frameless, draws its own title bar (title text, a close button
// that runs SlotClose, dragging the bar moves the window when IsMovable()), takes the host's
// current skin (ZorSkin, installed on the application by the first dialog), and hands
// subclasses a content widget to lay out. Closes on Esc like any dialog. ChangeSkin switches
// the skin of the whole application.
//
// Object names (for style sheets and tests): "baseTitleBar", "baseTitleLabel",
// "baseCloseButton", "baseContentWidget".
class ZORBASEUI_EXPORT ZorBaseDialog : public QDialog, public IDpiAdapter, public IChangeSkinBase
{
    Q_OBJECT
public:
    explicit ZorBaseDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = {},
                           BaseDialogTitle::BaseTitleType titleType = BaseDialogTitle::TitleClose,
                           bool bModal = false);
    ~ZorBaseDialog() override;

    // bCenter: centre the title text instead of aligning it left.
    void SetTitleText(const QString& text, bool bCenter = false);
    QString GetTitleText() const;

    int exec() override;
    void AdjustForDpi() override;
    void ChangeSkin(const QString& skinName) override;

    // Whether dragging the title bar moves the window.
    virtual bool IsMovable() const;

public slots:
    virtual void SlotClose();

protected:
    QWidget* GetContentWidget() const;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The frame's own texts (the close button's), in the current language.
    void RetranslateFrame();

    BaseDialogTitle::BaseTitleType m_titleType;
    QWidget* m_titleBar = nullptr;
    QLabel* m_titleLabel = nullptr;
    QPushButton* m_closeButton = nullptr;
    QWidget* m_contentWidget = nullptr;
    bool m_bDragging = false;
    QPoint m_dragOffset;
};
