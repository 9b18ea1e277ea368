#pragma once

#include "IDpiAdapter.h"
#include "ZorBaseWidget.h"
#include "zorbaseui_export.h"

#include <QMargins>

class QHBoxLayout;
class QLabel;

// A clickable icon with a label. Emits SigClicked on a left click, and on Space or Enter
// while it has focus - never while it carries the disabled look (SetDisableStyle(true)),
// which callers rely on to stop input, e.g. at a maximum number of items.
//
// The look comes from the style sheet: the dynamic property "disableStyle" (bool) on the
// widget; child labels "iconLabel" and "textLabel". The icon may be set by the style sheet
// (image on "iconLabel") or with SetIcon.
class ZORBASEUI_EXPORT ZorIconButtonWidget : public ZorBaseWidget, public IDpiAdapter
{
    Q_OBJECT
public:
    explicit ZorIconButtonWidget(QWidget* parent = nullptr);

    void SetIcon(const QPixmap& pixmap);
    QLabel* GetIconLabel() const;
    QLabel* GetLabelText() const;

    void SetSpacing(int spacing);
    void SetContentsMargins(int left, int top, int right, int bottom);

    void SetDisableStyle(bool bDisable);
    bool IsDisableStyle() const;
    // Re-applies the style sheet after SetDisableStyle.
    void UpdateStyle();
    // What a click does: SigClicked, unless the widget carries the disabled look.
    void Click();

    void AdjustForDpi() override;

signals:
    void SigClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QHBoxLayout* m_layout = nullptr;
    QLabel* m_iconLabel = nullptr;
    QLabel* m_textLabel = nullptr;
    bool m_bDisableStyle = false;
    bool m_bPressed = false;
    // Design sizes, re-scaled by AdjustForDpi.
    int m_spacing = 6;
    QMargins m_margins;
};
