#pragma once

#include "zorbaseui_export.h"

#include <QLineEdit>
#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QVariant>

class QListWidget;
class QListWidgetItem;

// One entry of the category picker: first-level entries carry their second-level entries.
class ZORBASEUI_EXPORT ZorCategoryItemData
{
public:
    QVariant id;
    QString name;
    QList<QSharedPointer<ZorCategoryItemData>> children;
};

// A read-only line edit that opens a two-level list on a click or on the Down key.
// Choosing a second-level entry selects it and its parent and closes the list; choosing a
// first-level entry that has no children selects it alone (the second id stays invalid).
// The chosen names show as text() ("First / Second", or "First").
//
// The popup is a top-level widget named "categoryPopup" holding two QListWidgets,
// "firstLevelList" and "secondLevelList"; each item's Qt::UserRole holds its id.
// The error look is the dynamic property "errored" (bool); a category chosen by the user or
// set by SetCurrentId clears it.
class ZORBASEUI_EXPORT ZorCategoryComBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit ZorCategoryComBox(QWidget* parent = nullptr);
    ~ZorCategoryComBox() override;

    // Replaces the entries. A selection the new list still holds is kept (and its text
    // refreshed); anything the new list lacks is cleared.
    void SetListData(const QList<QSharedPointer<ZorCategoryItemData>>& list);
    QList<QSharedPointer<ZorCategoryItemData>> GetListData() const;

    // Selects by ids; ids that are not in the list clear the selection (an invalid second
    // id selects the first level alone).
    void SetCurrentId(const QVariant& first, const QVariant& second);
    // Invalid while nothing is selected.
    QVariant GetFirstLevelId() const;
    QVariant GetSecondLevelId() const;

    void SetErrorStyle(bool bError);
    bool IsErrorStyle() const;

    void ShowPopup();
    void HidePopup();
    bool IsPopupVisible() const;
    QWidget* GetPopup() const;

signals:
    // The user chose an entry in the list (not emitted by SetCurrentId or SetListData).
    void SigSelectionChanged(const QVariant& first, const QVariant& second);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RefreshText();
    void FillFirstLevel();
    void FillSecondLevel(int firstRow);
    void PlacePopup();
    void ChooseFirstItem(QListWidgetItem* item);
    void ChooseSecondItem(QListWidgetItem* item);
    void Choose(const QVariant& first, const QVariant& second);

    QList<QSharedPointer<ZorCategoryItemData>> m_list;
    QVariant m_firstId;
    QVariant m_secondId;
    QWidget* m_popup = nullptr;
    QListWidget* m_firstList = nullptr;
    QListWidget* m_secondList = nullptr;
};
