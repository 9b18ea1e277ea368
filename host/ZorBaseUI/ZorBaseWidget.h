#pragma once

#include "zorbaseui_export.h"

#include <QWidget>

// A plain widget that style sheets can paint (background, border) like any Qt widget.
class ZORBASEUI_EXPORT ZorBaseWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ZorBaseWidget(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

protected:
    void paintEvent(QPaintEvent* event) override;
};
