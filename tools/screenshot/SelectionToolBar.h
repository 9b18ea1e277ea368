#pragma once

#include <QWidget>

// The small "OK" / "Cancel" bar shown beside a finished selection.
class SelectionToolBar : public QWidget
{
    Q_OBJECT

public:
    explicit SelectionToolBar(QWidget* pParent);

signals:
    void SigConfirm();
    void SigCancel();
};
