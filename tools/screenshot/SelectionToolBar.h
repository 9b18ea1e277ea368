#pragma once

#include <QWidget>

class QToolButton;

// The small "OK" / "Cancel" bar shown beside a finished selection.
class SelectionToolBar : public QWidget
{
    Q_OBJECT

public:
    explicit SelectionToolBar(QWidget* pParent);

    // A flat button that never takes the keyboard focus: keys belong to the overlay, and a
    // focused button would swallow Return.
    static QToolButton* MakeButton(const QString& objectName, const QString& text,
                                   QWidget* pParent);

signals:
    void SigConfirm();
    void SigCancel();
};
