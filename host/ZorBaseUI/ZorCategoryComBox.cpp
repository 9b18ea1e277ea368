#include "ZorCategoryComBox.h"

#include "DpiTool.h"
#include "UIUtils.h"
#include "ZorBaseUIAccessible.h"
#include "ZorSkin.h"

#include <QAccessible>
#include <QAction>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QScreen>

namespace {

using ItemList = QList<QSharedPointer<ZorCategoryItemData>>;

// Design sizes, scaled at the current screen scale.
constexpr int kRowHeight = 32;
constexpr int kMinPopupWidth = 240;
constexpr int kPopupGap = 4;
constexpr int kListPadding = 4;
constexpr int kMaxVisibleRows = 8;

QSharedPointer<ZorCategoryItemData> FindById(const ItemList& list, const QVariant& id)
{
    if (!id.isValid())
        return {};
    for (const QSharedPointer<ZorCategoryItemData>& entry : list) {
        if (entry && entry->id == id)
            return entry;
    }
    return {};
}

void AddItem(QListWidget* list, const QSharedPointer<ZorCategoryItemData>& entry)
{
    auto* item = new QListWidgetItem(entry->name, list);
    item->setData(Qt::UserRole, entry->id);
    item->setSizeHint(QSize(0, DpiTool::ScaleDefault(kRowHeight)));
    item->setToolTip(entry->name);
}

QListWidget* CreateList(QWidget* popup, const QString& name, QObject* keyFilter)
{
    auto* list = new QListWidget(popup);
    list->setObjectName(name);
    list->setFrameShape(QFrame::NoFrame);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    list->setTextElideMode(Qt::ElideRight);
    // Hovering an entry highlights it (itemEntered needs tracking).
    list->setMouseTracking(true);
    list->installEventFilter(keyFilter);
    return list;
}

} // namespace

ZorCategoryComBox::ZorCategoryComBox(QWidget* parent) : QLineEdit(parent)
{
    ZorBaseUIAccessible::Install();
    setReadOnly(true);
    setProperty("errored", false);
    setContextMenuPolicy(Qt::NoContextMenu);

    QAction* arrow =
        addAction(ZorSkin::Icon(QStringLiteral("arrow_down")), QLineEdit::TrailingPosition);
    arrow->setObjectName(QStringLiteral("categoryArrow"));
    connect(ZorSkin::Instance(), &ZorSkin::SigSkinChanged, arrow,
            [arrow]() { arrow->setIcon(ZorSkin::Icon(QStringLiteral("arrow_down"))); });
    connect(arrow, &QAction::triggered, this, [this]() {
        if (IsPopupVisible())
            HidePopup();
        else
            ShowPopup();
    });

    auto* popup = new QFrame(this, Qt::Popup);
    popup->setObjectName(QStringLiteral("categoryPopup"));
    // A press on the line edit that closes the list must not open it again.
    popup->setAttribute(Qt::WA_NoMouseReplay);
    m_popup = popup;

    m_firstList = CreateList(m_popup, QStringLiteral("firstLevelList"), this);
    m_secondList = CreateList(m_popup, QStringLiteral("secondLevelList"), this);
    auto* layout = new QHBoxLayout(m_popup);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_firstList, 1);
    layout->addWidget(m_secondList, 1);

    for (QListWidget* list : {m_firstList, m_secondList}) {
        connect(list, &QListWidget::itemEntered, list,
                [list](QListWidgetItem* item) { list->setCurrentItem(item); });
    }
    connect(m_firstList, &QListWidget::currentRowChanged, this,
            &ZorCategoryComBox::FillSecondLevel);
    connect(m_firstList, &QListWidget::itemClicked, this, &ZorCategoryComBox::ChooseFirstItem);
    connect(m_secondList, &QListWidget::itemClicked, this, &ZorCategoryComBox::ChooseSecondItem);
}

ZorCategoryComBox::~ZorCategoryComBox()
{
    // The lists report their keys to this object: take them down while it is still whole.
    delete m_popup;
}

void ZorCategoryComBox::SetListData(const QList<QSharedPointer<ZorCategoryItemData>>& list)
{
    m_list = list;

    const QSharedPointer<ZorCategoryItemData> first = FindById(m_list, m_firstId);
    const bool bKeep = first && (!m_secondId.isValid() || FindById(first->children, m_secondId));
    if (!bKeep) {
        m_firstId = QVariant();
        m_secondId = QVariant();
    }
    RefreshText();

    if (IsPopupVisible()) {
        if (m_list.isEmpty()) {
            HidePopup();
        } else {
            FillFirstLevel();
            PlacePopup();
        }
    }
}

QList<QSharedPointer<ZorCategoryItemData>> ZorCategoryComBox::GetListData() const
{
    return m_list;
}

void ZorCategoryComBox::SetCurrentId(const QVariant& first, const QVariant& second)
{
    const QSharedPointer<ZorCategoryItemData> firstEntry = FindById(m_list, first);
    if (firstEntry && (!second.isValid() || FindById(firstEntry->children, second))) {
        m_firstId = firstEntry->id;
        m_secondId = second.isValid() ? second : QVariant();
    } else {
        m_firstId = QVariant();
        m_secondId = QVariant();
    }
    RefreshText();
    // A category set by the program answers the error mark as a choice by the user does.
    if (m_firstId.isValid() && IsErrorStyle())
        SetErrorStyle(false);
}

QVariant ZorCategoryComBox::GetFirstLevelId() const
{
    return m_firstId;
}

QVariant ZorCategoryComBox::GetSecondLevelId() const
{
    return m_secondId;
}

void ZorCategoryComBox::SetErrorStyle(bool bError)
{
    setProperty("errored", bError);
    UIUtils::UpdateStyle(this);
}

bool ZorCategoryComBox::IsErrorStyle() const
{
    return property("errored").toBool();
}

void ZorCategoryComBox::ShowPopup()
{
    // An empty list has nothing to offer; the categories may still be on their way.
    if (m_list.isEmpty())
        return;
    FillFirstLevel();
    PlacePopup();
    m_popup->show();
    m_firstList->setFocus(Qt::PopupFocusReason);
}

void ZorCategoryComBox::HidePopup()
{
    m_popup->hide();
}

bool ZorCategoryComBox::IsPopupVisible() const
{
    return m_popup->isVisible();
}

QWidget* ZorCategoryComBox::GetPopup() const
{
    return m_popup;
}

void ZorCategoryComBox::mousePressEvent(QMouseEvent* event)
{
    QLineEdit::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    if (IsPopupVisible())
        HidePopup();
    else
        ShowPopup();
}

void ZorCategoryComBox::keyPressEvent(QKeyEvent* event)
{
    const bool bOpen =
        event->key() == Qt::Key_F4 || event->key() == Qt::Key_Space || event->key() == Qt::Key_Down;
    if (bOpen && !IsPopupVisible()) {
        event->accept();
        ShowPopup();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

bool ZorCategoryComBox::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || (watched != m_firstList && watched != m_secondList))
        return QLineEdit::eventFilter(watched, event);

    const int key = static_cast<QKeyEvent*>(event)->key();
    const bool bEnter = key == Qt::Key_Enter || key == Qt::Key_Return;
    if (key == Qt::Key_Escape) {
        HidePopup();
        return true;
    }
    if (watched == m_firstList) {
        QListWidgetItem* current = m_firstList->currentItem();
        const bool bHasChildren = m_secondList->count() > 0;
        if (current && bHasChildren && (key == Qt::Key_Right || bEnter)) {
            m_secondList->setFocus(Qt::OtherFocusReason);
            if (!m_secondList->currentItem())
                m_secondList->setCurrentRow(0);
            return true;
        }
        if (current && bEnter) {
            ChooseFirstItem(current);
            return true;
        }
    } else {
        if (key == Qt::Key_Left) {
            m_firstList->setFocus(Qt::OtherFocusReason);
            return true;
        }
        if (bEnter && m_secondList->currentItem()) {
            ChooseSecondItem(m_secondList->currentItem());
            return true;
        }
    }
    return QLineEdit::eventFilter(watched, event);
}

void ZorCategoryComBox::RefreshText()
{
    const QSharedPointer<ZorCategoryItemData> first = FindById(m_list, m_firstId);
    const QSharedPointer<ZorCategoryItemData> second =
        first ? FindById(first->children, m_secondId) : nullptr;
    if (!first)
        clear();
    else
        setText(second ? QStringLiteral("%1 / %2").arg(first->name, second->name) : first->name);
    setCursorPosition(0);
    // Assistive technology reads the choice as the combo box's value.
    QAccessibleValueChangeEvent event(this, text());
    QAccessible::updateAccessibility(&event);
}

void ZorCategoryComBox::FillFirstLevel()
{
    const QSignalBlocker blocker(m_firstList);
    m_firstList->clear();
    int currentRow = 0;
    bool bAnyChildren = false;
    for (const QSharedPointer<ZorCategoryItemData>& entry : qAsConst(m_list)) {
        if (!entry)
            continue;
        if (entry->id == m_firstId && m_firstId.isValid())
            currentRow = m_firstList->count();
        bAnyChildren = bAnyChildren || !entry->children.isEmpty();
        AddItem(m_firstList, entry);
    }
    m_firstList->setCurrentRow(currentRow);
    m_firstList->scrollToItem(m_firstList->currentItem());
    // A flat list needs no second column.
    m_secondList->setVisible(bAnyChildren);
    FillSecondLevel(currentRow);
}

void ZorCategoryComBox::FillSecondLevel(int firstRow)
{
    const QSignalBlocker blocker(m_secondList);
    m_secondList->clear();
    QListWidgetItem* firstItem = m_firstList->item(firstRow);
    if (!firstItem)
        return;
    const QVariant firstId = firstItem->data(Qt::UserRole);
    const QSharedPointer<ZorCategoryItemData> first = FindById(m_list, firstId);
    if (!first)
        return;
    const bool bChosenParent = m_firstId.isValid() && firstId == m_firstId;
    for (const QSharedPointer<ZorCategoryItemData>& child : qAsConst(first->children)) {
        if (!child)
            continue;
        AddItem(m_secondList, child);
        if (bChosenParent && m_secondId.isValid() && child->id == m_secondId)
            m_secondList->setCurrentRow(m_secondList->count() - 1);
    }
}

void ZorCategoryComBox::PlacePopup()
{
    const int rowHeight = DpiTool::ScaleDefault(kRowHeight);
    int rows = m_firstList->count();
    for (const QSharedPointer<ZorCategoryItemData>& entry : qAsConst(m_list)) {
        if (entry)
            rows = qMax(rows, entry->children.size());
    }
    rows = qBound(1, rows, kMaxVisibleRows);
    const int frame = 2 * qobject_cast<QFrame*>(m_popup)->frameWidth();
    const QSize size(qMax(width(), DpiTool::ScaleDefault(kMinPopupWidth)),
                     rows * rowHeight + 2 * DpiTool::ScaleDefault(kListPadding) + frame + 2);

    const int gap = DpiTool::ScaleDefault(kPopupGap);
    QPoint topLeft = mapToGlobal(QPoint(0, height() + gap));
    const QScreen* screen = QGuiApplication::screenAt(mapToGlobal(rect().center()));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        // Open upwards when there is no room below.
        if (topLeft.y() + size.height() > area.bottom() + 1)
            topLeft.setY(mapToGlobal(QPoint(0, 0)).y() - gap - size.height());
        topLeft.setX(
            qBound(area.left(), topLeft.x(), qMax(area.left(), area.right() + 1 - size.width())));
        topLeft.setY(qMax(area.top(), topLeft.y()));
    }
    m_popup->setGeometry(QRect(topLeft, size));
}

void ZorCategoryComBox::ChooseFirstItem(QListWidgetItem* item)
{
    if (!item)
        return;
    const QSharedPointer<ZorCategoryItemData> first = FindById(m_list, item->data(Qt::UserRole));
    if (!first)
        return;
    // An entry with children is a heading: its children are what one chooses.
    if (!first->children.isEmpty()) {
        m_firstList->setCurrentItem(item);
        return;
    }
    Choose(first->id, QVariant());
}

void ZorCategoryComBox::ChooseSecondItem(QListWidgetItem* item)
{
    QListWidgetItem* firstItem = m_firstList->currentItem();
    if (!item || !firstItem)
        return;
    Choose(firstItem->data(Qt::UserRole), item->data(Qt::UserRole));
}

void ZorCategoryComBox::Choose(const QVariant& first, const QVariant& second)
{
    const bool bChanged = first != m_firstId || second != m_secondId ||
                          first.isValid() != m_firstId.isValid() ||
                          second.isValid() != m_secondId.isValid();
    m_firstId = first;
    m_secondId = second;
    RefreshText();
    HidePopup();
    if (IsErrorStyle())
        SetErrorStyle(false);
    if (bChanged)
        emit SigSelectionChanged(m_firstId, m_secondId);
}
