// The host's UI stand-ins driven as a user drives them: the icon button, the category
// picker, toasts, the base dialog frame, push-button styles and the default style sheet.

#include "DpiTool.h"
#include "TestMessageHandler.h"
#include "UIUtils.h"
#include "ZorBaseDialog.h"
#include "ZorCategoryComBox.h"
#include "ZorIconButtonWidget.h"
#include "ZorPushButton.h"
#include "ZorToast.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>

#include <memory>

namespace {

using ItemPtr = QSharedPointer<ZorCategoryItemData>;
using ItemList = QList<ItemPtr>;

ItemPtr Item(int id, const QString& name, const ItemList& children = {})
{
    auto item = ItemPtr::create();
    item->id = id;
    item->name = name;
    item->children = children;
    return item;
}

ItemList Categories()
{
    return {Item(1, "Account", {Item(11, "Login"), Item(12, "Password")}),
            Item(2, "Orders", {Item(21, "Refund")}), Item(3, "Other")};
}

// A dialog whose frame is under test; counts SlotClose so the close paths are seen to go
// through it.
class TestDialog : public ZorBaseDialog
{
public:
    explicit TestDialog(bool bMovable = true) : m_bMovable(bMovable)
    {
        setAttribute(Qt::WA_DeleteOnClose);
        auto* layout = new QVBoxLayout(GetContentWidget());
        layout->addWidget(new QLabel(QStringLiteral("content"), GetContentWidget()));
        resize(400, 300);
    }

    QWidget* Content() const { return GetContentWidget(); }
    bool IsMovable() const override { return m_bMovable; }
    void SlotClose() override
    {
        ++closeCalls;
        ZorBaseDialog::SlotClose();
    }

    int closeCalls = 0;

private:
    bool m_bMovable;
};

void SendMouse(QWidget* widget, QEvent::Type type, const QPoint& pos, const QPoint& globalPos,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, globalPos, Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

QList<QWidget*> LiveToasts()
{
    QList<QWidget*> toasts;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("zorToast"))
            toasts << widget;
    }
    return toasts;
}

QColor PixelAt(QWidget* widget, const QPoint& pos)
{
    return widget->grab().toImage().pixelColor(pos);
}

bool IsReddish(const QColor& color)
{
    return color.red() > 200 && color.green() < 150 && color.blue() < 150;
}

} // namespace

Q_DECLARE_METATYPE(QList<QSharedPointer<ZorCategoryItemData>>)

class tst_ZorBaseUI : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void iconButtonClicks_data();
    void iconButtonClicks();
    void iconButtonDisabledWhileHeld();
    void iconButtonDisabledLook();

    void pickerOpens_data();
    void pickerOpens();
    void pickerEmptyListStaysClosed();
    void pickerChoosesChild();
    void pickerChoosesFirstLevelAlone();
    void pickerHoverShowsChildren();
    void pickerKeyboard();
    void pickerSetListData_data();
    void pickerSetListData();
    void pickerSetCurrentId_data();
    void pickerSetCurrentId();
    void pickerErrorStyleClearedByChoosing();

    void toastAnnounced_data();
    void toastAnnounced();
    void toastGoesAwayWithoutFocus();

    void dialogTitle();
    void dialogCloseButton();
    void dialogEscape();
    void dialogContentWidget();
    void dialogDrag_data();
    void dialogDrag();
    void dialogFollowsScale();
    void dialogEnterClicksNoButton();

    void pushButtonProperties_data();
    void pushButtonProperties();
    void styleSheetLooks_data();
    void styleSheetLooks();
    void styleSheetAsterisks();
};

void tst_ZorBaseUI::initTestCase()
{
    TestMessageHandler::install();
    // The offscreen platform cannot raise windows or grab the keyboard for popups.
    TestMessageHandler::allow(QRegularExpression(QStringLiteral("^This plugin does not support")));
    QVERIFY(!UIUtils::DefaultStyleSheet().isEmpty());
}

void tst_ZorBaseUI::cleanup()
{
    DpiTool::SetScaleFactor(0);
    for (QWidget* toast : LiveToasts())
        delete toast;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // Every test owns what it showed; nothing may be left on screen.
    for (QWidget* widget : QApplication::topLevelWidgets())
        QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
}

// ---- Icon button ----

void tst_ZorBaseUI::iconButtonClicks_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("bDisabledLook");
    QTest::addColumn<int>("expected");

    const QStringList clicking{"click", "space", "enter", "return"};
    const QStringList ignored{"other key", "right click", "press inside, release outside",
                              "release without press"};
    for (bool bDisabled : {false, true}) {
        const char* look = bDisabled ? ", disabled look" : "";
        for (const QString& action : clicking)
            QTest::newRow(qPrintable(action + look)) << action << bDisabled << (bDisabled ? 0 : 1);
        for (const QString& action : ignored)
            QTest::newRow(qPrintable(action + look)) << action << bDisabled << 0;
    }
}

void tst_ZorBaseUI::iconButtonClicks()
{
    QFETCH(QString, action);
    QFETCH(bool, bDisabledLook);
    QFETCH(int, expected);

    ZorIconButtonWidget button;
    button.GetLabelText()->setText(QStringLiteral("Upload"));
    button.resize(120, 34);
    button.show();
    button.setFocus();
    button.SetDisableStyle(bDisabledLook);
    button.UpdateStyle();
    QSignalSpy clicked(&button, &ZorIconButtonWidget::SigClicked);

    const QPoint inside = button.rect().center();
    const QPoint outside(button.width() + 20, inside.y());
    if (action == "click")
        QTest::mouseClick(&button, Qt::LeftButton, {}, inside);
    else if (action == "space")
        QTest::keyClick(&button, Qt::Key_Space);
    else if (action == "enter")
        QTest::keyClick(&button, Qt::Key_Enter);
    else if (action == "return")
        QTest::keyClick(&button, Qt::Key_Return);
    else if (action == "other key")
        QTest::keyClick(&button, Qt::Key_A);
    else if (action == "right click")
        QTest::mouseClick(&button, Qt::RightButton, {}, inside);
    else if (action == "press inside, release outside") {
        QTest::mousePress(&button, Qt::LeftButton, {}, inside);
        QTest::mouseRelease(&button, Qt::LeftButton, {}, outside);
    } else if (action == "release without press")
        QTest::mouseRelease(&button, Qt::LeftButton, {}, inside);
    else
        QFAIL("unknown action");

    QCOMPARE(clicked.count(), expected);
    QCOMPARE(button.property("disableStyle").toBool(), bDisabledLook);
}

void tst_ZorBaseUI::iconButtonDisabledWhileHeld()
{
    ZorIconButtonWidget button;
    button.resize(120, 34);
    button.show();
    QSignalSpy clicked(&button, &ZorIconButtonWidget::SigClicked);

    QTest::mousePress(&button, Qt::LeftButton, {}, button.rect().center());
    button.SetDisableStyle(true);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, button.rect().center());
    QCOMPARE(clicked.count(), 0);

    // Taking the look away again restores clicks.
    button.SetDisableStyle(false);
    QTest::mouseClick(&button, Qt::LeftButton, {}, button.rect().center());
    QCOMPARE(clicked.count(), 1);
}

void tst_ZorBaseUI::iconButtonDisabledLook()
{
    // The look is the style sheet's: its text label must change colour with the property,
    // which needs the children re-polished too.
    QWidget host;
    host.setStyleSheet(UIUtils::DefaultStyleSheet());
    auto* button = new ZorIconButtonWidget(&host);
    button->setObjectName(QStringLiteral("uploadWidget"));
    button->GetLabelText()->setText(QStringLiteral("Upload"));
    host.show();

    const QColor normal = button->GetLabelText()->palette().color(QPalette::WindowText);
    button->SetDisableStyle(true);
    button->UpdateStyle();
    const QColor disabled = button->GetLabelText()->palette().color(QPalette::WindowText);
    QVERIFY2(normal != disabled, qPrintable(normal.name()));

    button->SetDisableStyle(false);
    button->UpdateStyle();
    QCOMPARE(button->GetLabelText()->palette().color(QPalette::WindowText), normal);
}

// ---- Category picker ----

void tst_ZorBaseUI::pickerOpens_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("click") << "click";
    QTest::newRow("down key") << "down";
    QTest::newRow("F4") << "f4";
}

void tst_ZorBaseUI::pickerOpens()
{
    QFETCH(QString, how);

    QWidget window;
    auto* box = new ZorCategoryComBox(&window);
    box->setGeometry(20, 20, 300, 32);
    box->SetListData(Categories());
    window.resize(400, 300);
    window.show();
    box->setFocus();

    if (how == "click")
        QTest::mouseClick(box, Qt::LeftButton);
    else if (how == "down")
        QTest::keyClick(box, Qt::Key_Down);
    else
        QTest::keyClick(box, Qt::Key_F4);

    auto* popup = box->findChild<QWidget*>(QStringLiteral("categoryPopup"));
    QVERIFY(popup);
    QVERIFY(popup->isVisible());
    QVERIFY(popup->isWindow());
    QVERIFY(box->IsPopupVisible());
    // Under the line edit, at least as wide.
    const QPoint boxBottomLeft = box->mapToGlobal(QPoint(0, box->height()));
    QVERIFY(popup->geometry().top() >= boxBottomLeft.y());
    QCOMPARE(popup->geometry().left(), boxBottomLeft.x());
    QVERIFY(popup->width() >= box->width());

    auto* first = popup->findChild<QListWidget*>(QStringLiteral("firstLevelList"));
    QVERIFY(first);
    QCOMPARE(first->count(), 3);
    QCOMPARE(first->item(0)->text(), QStringLiteral("Account"));
    QCOMPARE(first->item(2)->data(Qt::UserRole), QVariant(3));
    QVERIFY(popup->findChild<QListWidget*>(QStringLiteral("secondLevelList")));

    box->HidePopup();
    QVERIFY(!popup->isVisible());
}

void tst_ZorBaseUI::pickerEmptyListStaysClosed()
{
    ZorCategoryComBox box;
    box.show();
    QTest::mouseClick(&box, Qt::LeftButton);
    QVERIFY(!box.IsPopupVisible());
}

void tst_ZorBaseUI::pickerChoosesChild()
{
    ZorCategoryComBox box;
    box.SetListData(Categories());
    box.show();
    QSignalSpy changed(&box, &ZorCategoryComBox::SigSelectionChanged);
    QTest::mouseClick(&box, Qt::LeftButton);
    auto* first = box.findChild<QListWidget*>(QStringLiteral("firstLevelList"));
    auto* second = box.findChild<QListWidget*>(QStringLiteral("secondLevelList"));

    // A parent is a heading: clicking it shows its children and keeps the list open.
    QTest::mouseClick(first->viewport(), Qt::LeftButton, {},
                      first->visualItemRect(first->item(1)).center());
    QVERIFY(box.IsPopupVisible());
    QCOMPARE(second->count(), 1);
    QCOMPARE(second->item(0)->text(), QStringLiteral("Refund"));
    QCOMPARE(changed.count(), 0);
    QVERIFY(!box.GetFirstLevelId().isValid());

    QTest::mouseClick(second->viewport(), Qt::LeftButton, {},
                      second->visualItemRect(second->item(0)).center());
    QVERIFY(!box.IsPopupVisible());
    QCOMPARE(box.GetFirstLevelId(), QVariant(2));
    QCOMPARE(box.GetSecondLevelId(), QVariant(21));
    QCOMPARE(box.text(), QStringLiteral("Orders / Refund"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0), QVariant(2));
    QCOMPARE(changed.at(0).at(1), QVariant(21));

    // Reopening shows the chosen entries highlighted.
    QTest::mouseClick(&box, Qt::LeftButton);
    QCOMPARE(first->currentRow(), 1);
    QCOMPARE(second->currentRow(), 0);
    box.HidePopup();
}

void tst_ZorBaseUI::pickerChoosesFirstLevelAlone()
{
    ZorCategoryComBox box;
    box.SetListData(Categories());
    box.SetCurrentId(1, 12);
    box.show();
    QTest::mouseClick(&box, Qt::LeftButton);
    auto* first = box.findChild<QListWidget*>(QStringLiteral("firstLevelList"));

    QTest::mouseClick(first->viewport(), Qt::LeftButton, {},
                      first->visualItemRect(first->item(2)).center());
    QVERIFY(!box.IsPopupVisible());
    QCOMPARE(box.GetFirstLevelId(), QVariant(3));
    QVERIFY(!box.GetSecondLevelId().isValid());
    QCOMPARE(box.text(), QStringLiteral("Other"));
}

void tst_ZorBaseUI::pickerHoverShowsChildren()
{
    ZorCategoryComBox box;
    box.SetListData(Categories());
    box.show();
    QTest::mouseClick(&box, Qt::LeftButton);
    auto* first = box.findChild<QListWidget*>(QStringLiteral("firstLevelList"));
    auto* second = box.findChild<QListWidget*>(QStringLiteral("secondLevelList"));
    QCOMPARE(second->count(), 2); // the first entry's children to begin with

    QTest::mouseMove(first->viewport(), first->visualItemRect(first->item(1)).center());
    QTRY_COMPARE(second->count(), 1);
    QCOMPARE(second->item(0)->data(Qt::UserRole), QVariant(21));
    QTest::mouseMove(first->viewport(), first->visualItemRect(first->item(2)).center());
    QTRY_COMPARE(second->count(), 0);
    box.HidePopup();
}

void tst_ZorBaseUI::pickerKeyboard()
{
    ZorCategoryComBox box;
    box.SetListData(Categories());
    box.show();
    QTest::keyClick(&box, Qt::Key_Down);
    auto* first = box.findChild<QListWidget*>(QStringLiteral("firstLevelList"));
    auto* second = box.findChild<QListWidget*>(QStringLiteral("secondLevelList"));

    QTest::keyClick(first, Qt::Key_Down);
    QCOMPARE(first->currentRow(), 1);
    QCOMPARE(second->item(0)->text(), QStringLiteral("Refund"));
    QTest::keyClick(first, Qt::Key_Right);
    QCOMPARE(second->currentRow(), 0);
    QTest::keyClick(second, Qt::Key_Return);
    QVERIFY(!box.IsPopupVisible());
    QCOMPARE(box.GetFirstLevelId(), QVariant(2));
    QCOMPARE(box.GetSecondLevelId(), QVariant(21));

    // Escape leaves without choosing.
    QTest::keyClick(&box, Qt::Key_Down);
    QTest::keyClick(first, Qt::Key_Down);
    QTest::keyClick(first, Qt::Key_Escape);
    QVERIFY(!box.IsPopupVisible());
    QCOMPARE(box.GetFirstLevelId(), QVariant(2));

    // A first-level entry without children is chosen with Enter.
    QTest::keyClick(&box, Qt::Key_Down);
    first->setCurrentRow(2);
    QTest::keyClick(first, Qt::Key_Enter);
    QCOMPARE(box.GetFirstLevelId(), QVariant(3));
    QVERIFY(!box.GetSecondLevelId().isValid());
}

void tst_ZorBaseUI::pickerSetListData_data()
{
    QTest::addColumn<QVariant>("first");
    QTest::addColumn<QVariant>("second");
    QTest::addColumn<ItemList>("newList");
    QTest::addColumn<QVariant>("expectedFirst");
    QTest::addColumn<QVariant>("expectedSecond");
    QTest::addColumn<QString>("expectedText");

    const QVariant none;
    QTest::newRow("same list keeps") << QVariant(1) << QVariant(12) << Categories() << QVariant(1)
                                     << QVariant(12) << "Account / Password";
    QTest::newRow("renamed entries keep, text refreshed")
        << QVariant(1) << QVariant(12) << ItemList{Item(1, "Accounts", {Item(12, "Passwords")})}
        << QVariant(1) << QVariant(12) << "Accounts / Passwords";
    QTest::newRow("child gone clears")
        << QVariant(1) << QVariant(12) << ItemList{Item(1, "Account", {Item(11, "Login")})} << none
        << none << "";
    QTest::newRow("parent gone clears")
        << QVariant(1) << QVariant(12) << ItemList{Item(2, "Orders", {Item(12, "Password")})}
        << none << none << "";
    QTest::newRow("first level alone keeps")
        << QVariant(3) << none << Categories() << QVariant(3) << none << "Other";
    QTest::newRow("empty list clears")
        << QVariant(2) << QVariant(21) << ItemList{} << none << none << "";
    QTest::newRow("nothing chosen stays so") << none << none << Categories() << none << none << "";
}

void tst_ZorBaseUI::pickerSetListData()
{
    QFETCH(QVariant, first);
    QFETCH(QVariant, second);
    QFETCH(ItemList, newList);
    QFETCH(QVariant, expectedFirst);
    QFETCH(QVariant, expectedSecond);
    QFETCH(QString, expectedText);

    ZorCategoryComBox box;
    box.SetListData(Categories());
    box.SetCurrentId(first, second);
    QCOMPARE(box.GetFirstLevelId(), first);
    QSignalSpy changed(&box, &ZorCategoryComBox::SigSelectionChanged);

    box.SetListData(newList);
    QCOMPARE(box.GetFirstLevelId(), expectedFirst);
    QCOMPARE(box.GetSecondLevelId(), expectedSecond);
    QCOMPARE(box.text(), expectedText);
    QCOMPARE(box.GetListData().size(), newList.size());
    QCOMPARE(changed.count(), 0);
}

void tst_ZorBaseUI::pickerSetCurrentId_data()
{
    QTest::addColumn<QVariant>("first");
    QTest::addColumn<QVariant>("second");
    QTest::addColumn<QVariant>("expectedFirst");
    QTest::addColumn<QVariant>("expectedSecond");
    QTest::addColumn<QString>("expectedText");

    const QVariant none;
    QTest::newRow("both known") << QVariant(1) << QVariant(11) << QVariant(1) << QVariant(11)
                                << "Account / Login";
    QTest::newRow("first alone") << QVariant(1) << none << QVariant(1) << none << "Account";
    QTest::newRow("unknown first") << QVariant(9) << none << none << none << "";
    QTest::newRow("unknown second") << QVariant(1) << QVariant(99) << none << none << "";
    QTest::newRow("second of another parent") << QVariant(2) << QVariant(11) << none << none << "";
    QTest::newRow("nothing") << none << none << none << none << "";
    QTest::newRow("id as text") << QVariant(QStringLiteral("2")) << QVariant(QStringLiteral("21"))
                                << QVariant(2) << QVariant(QStringLiteral("21"))
                                << "Orders / Refund";
}

void tst_ZorBaseUI::pickerSetCurrentId()
{
    QFETCH(QVariant, first);
    QFETCH(QVariant, second);
    QFETCH(QVariant, expectedFirst);
    QFETCH(QVariant, expectedSecond);
    QFETCH(QString, expectedText);

    ZorCategoryComBox box;
    box.SetListData(Categories());
    box.SetCurrentId(2, 21); // an earlier choice that each row replaces
    QSignalSpy changed(&box, &ZorCategoryComBox::SigSelectionChanged);

    box.SetCurrentId(first, second);
    QCOMPARE(box.GetFirstLevelId(), expectedFirst);
    QCOMPARE(box.GetSecondLevelId(), expectedSecond);
    QCOMPARE(box.GetFirstLevelId().isValid(), expectedFirst.isValid());
    QCOMPARE(box.GetSecondLevelId().isValid(), expectedSecond.isValid());
    QCOMPARE(box.text(), expectedText);
    QCOMPARE(changed.count(), 0);
}

void tst_ZorBaseUI::pickerErrorStyleClearedByChoosing()
{
    ZorCategoryComBox box;
    box.SetListData(Categories());
    box.show();
    box.SetErrorStyle(true);
    QVERIFY(box.IsErrorStyle());
    QCOMPARE(box.property("errored"), QVariant(true));

    // Opening and leaving without a choice keeps the mark.
    QTest::mouseClick(&box, Qt::LeftButton);
    box.HidePopup();
    QVERIFY(box.IsErrorStyle());

    QTest::mouseClick(&box, Qt::LeftButton);
    auto* first = box.findChild<QListWidget*>(QStringLiteral("firstLevelList"));
    QTest::mouseClick(first->viewport(), Qt::LeftButton, {},
                      first->visualItemRect(first->item(2)).center());
    QVERIFY(!box.IsErrorStyle());
    QCOMPARE(box.property("errored"), QVariant(false));
}

// ---- Toasts ----

void tst_ZorBaseUI::toastAnnounced_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("bWithParent");

    QTest::newRow("success over the screen")
        << "Problem feedback submitted successfully" << int(TOAST_SUCCESS) << false;
    QTest::newRow("failure over a window") << "Image upload failed" << int(TOAST_FAILED) << true;
    QTest::newRow("failure over the screen") << "File format error" << int(TOAST_FAILED) << false;
}

void tst_ZorBaseUI::toastAnnounced()
{
    QFETCH(QString, text);
    QFETCH(int, type);
    QFETCH(bool, bWithParent);

    QWidget window;
    window.setGeometry(150, 120, 500, 400);
    window.show();
    QWidget* inner = new QWidget(&window);
    QSignalSpy shown(ZorToastNotifier::Instance(), &ZorToastNotifier::SigToastShown);

    if (bWithParent)
        ZorToast::Show(text, static_cast<ENUM_TOAST_TYPE>(type), inner);
    else
        ZorToast::Show(text, static_cast<ENUM_TOAST_TYPE>(type));

    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toString(), text);
    QCOMPARE(shown.at(0).at(1).toInt(), type);
    QCOMPARE(shown.at(0).at(2).value<QWidget*>(), bWithParent ? inner : nullptr);

    const QList<QWidget*> toasts = LiveToasts();
    QCOMPARE(toasts.size(), 1);
    QWidget* toast = toasts.first();
    QVERIFY(toast->isVisible());
    QCOMPARE(toast->property("toastType").toInt(), type);
    QVERIFY(toast->findChild<QLabel*>(QStringLiteral("toastText")));
    QCOMPARE(toast->findChild<QLabel*>(QStringLiteral("toastText"))->text(), text);
    const QRect area = bWithParent ? window.frameGeometry()
                                   : QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY((toast->geometry().center() - area.center()).manhattanLength() <= 2);
}

void tst_ZorBaseUI::toastGoesAwayWithoutFocus()
{
    QWidget window;
    auto* edit = new QLineEdit(&window);
    window.show();
    QApplication::setActiveWindow(&window);
    edit->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), edit);

    QElapsedTimer clock;
    clock.start();
    ZorToast::Show(QStringLiteral("Image upload failed"), TOAST_FAILED, &window);
    QPointer<QWidget> toast = LiveToasts().value(0);
    QVERIFY(toast);
    QVERIFY(toast->testAttribute(Qt::WA_ShowWithoutActivating));
    QVERIFY(toast->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    QCoreApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), edit);
    QCOMPARE(QApplication::activeWindow(), &window);

    QTRY_VERIFY_WITH_TIMEOUT(!toast, ZorToast::kDurationMs + 3000);
    QVERIFY(clock.elapsed() >= ZorToast::kDurationMs - 100);
    QCOMPARE(QApplication::focusWidget(), edit);
}

// ---- Base dialog ----

void tst_ZorBaseUI::dialogTitle()
{
    TestDialog dialog;
    auto* label = dialog.findChild<QLabel*>(QStringLiteral("baseTitleLabel"));
    QVERIFY(label);

    dialog.SetTitleText(QStringLiteral("Problem FeedBack"), true);
    QCOMPARE(label->text(), QStringLiteral("Problem FeedBack"));
    QCOMPARE(dialog.GetTitleText(), QStringLiteral("Problem FeedBack"));
    QVERIFY(label->alignment() & Qt::AlignHCenter);

    dialog.SetTitleText(QStringLiteral("Other"), false);
    QCOMPARE(label->text(), QStringLiteral("Other"));
    QVERIFY(label->alignment() & Qt::AlignLeft);
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(dialog.styleSheet(), UIUtils::DefaultStyleSheet());
}

void tst_ZorBaseUI::dialogCloseButton()
{
    QPointer<TestDialog> dialog = new TestDialog;
    dialog->show();
    auto* closeButton = dialog->findChild<QPushButton*>(QStringLiteral("baseCloseButton"));
    QVERIFY(closeButton);
    QVERIFY(closeButton->isVisible());

    QTest::mouseClick(closeButton, Qt::LeftButton);
    QCOMPARE(dialog->closeCalls, 1);
    QVERIFY(!dialog->isVisible());
    // WA_DeleteOnClose is honoured.
    QTRY_VERIFY(!dialog);
}

void tst_ZorBaseUI::dialogEscape()
{
    QPointer<TestDialog> dialog = new TestDialog;
    dialog->show();
    QTest::keyClick(dialog, Qt::Key_Escape);
    QCOMPARE(dialog->closeCalls, 1);
    QVERIFY(!dialog->isVisible());
    QTRY_VERIFY(!dialog);
}

void tst_ZorBaseUI::dialogContentWidget()
{
    TestDialog dialog;
    dialog.show();
    QWidget* content = dialog.Content();
    QVERIFY(content);
    QVERIFY(dialog.isAncestorOf(content));
    QVERIFY(content->isVisible());
    auto* titleBar = dialog.findChild<QWidget*>(QStringLiteral("baseTitleBar"));
    QVERIFY(titleBar);
    // The content fills the frame below the title bar.
    QVERIFY(content->geometry().top() >= titleBar->geometry().bottom());
    QVERIFY(content->height() > dialog.height() / 2);
    QVERIFY(content->width() >= dialog.width() - 4);
}

void tst_ZorBaseUI::dialogDrag_data()
{
    QTest::addColumn<bool>("bMovable");
    QTest::addColumn<QString>("grab");
    QTest::addColumn<bool>("bMoves");

    QTest::newRow("title text") << true << "baseTitleLabel" << true;
    QTest::newRow("title bar") << true << "baseTitleBar" << true;
    QTest::newRow("not movable") << false << "baseTitleLabel" << false;
    QTest::newRow("content is no handle") << true << "baseContentWidget" << false;
}

void tst_ZorBaseUI::dialogDrag()
{
    QFETCH(bool, bMovable);
    QFETCH(QString, grab);
    QFETCH(bool, bMoves);

    TestDialog dialog(bMovable);
    dialog.SetTitleText(QStringLiteral("Drag me"));
    dialog.move(100, 100);
    dialog.show();
    auto* handle = dialog.findChild<QWidget*>(grab);
    QVERIFY(handle);
    const QPoint start = dialog.pos();

    const QPoint local(10, 10);
    const QPoint global = handle->mapToGlobal(local);
    const QPoint delta(37, 25);
    SendMouse(handle, QEvent::MouseButtonPress, local, global, Qt::LeftButton);
    SendMouse(handle, QEvent::MouseMove, local + delta / 2, global + delta / 2, Qt::LeftButton);
    SendMouse(handle, QEvent::MouseMove, local + delta, global + delta, Qt::LeftButton);
    SendMouse(handle, QEvent::MouseButtonRelease, local + delta, global + delta, Qt::NoButton);

    QCOMPARE(dialog.pos(), bMoves ? start + delta : start);

    // After the release, moving the mouse moves nothing.
    SendMouse(handle, QEvent::MouseMove, local, global + 2 * delta, Qt::NoButton);
    QCOMPARE(dialog.pos(), bMoves ? start + delta : start);
}

void tst_ZorBaseUI::dialogFollowsScale()
{
    DpiTool::SetScaleFactor(1.0);
    TestDialog dialog;
    auto* titleBar = dialog.findChild<QWidget*>(QStringLiteral("baseTitleBar"));
    auto* closeButton = dialog.findChild<QPushButton*>(QStringLiteral("baseCloseButton"));
    const int height = titleBar->minimumHeight();
    const QSize buttonSize = closeButton->minimumSize();
    QVERIFY(height > 0);

    DpiTool::SetScaleFactor(2.0);
    QCOMPARE(titleBar->minimumHeight(), 2 * height);
    QCOMPARE(closeButton->minimumSize(), 2 * buttonSize);
}

void tst_ZorBaseUI::dialogEnterClicksNoButton()
{
    TestDialog dialog;
    auto* edit = new QLineEdit(dialog.Content());
    auto* first = new ZorPushButton(dialog.Content());
    auto* second = new ZorPushButton(dialog.Content(), ZorPushButton::TypePrimary);
    for (QWidget* widget :
         {static_cast<QWidget*>(edit), static_cast<QWidget*>(first), static_cast<QWidget*>(second)})
        dialog.Content()->layout()->addWidget(widget);
    QSignalSpy firstClicked(first, &QPushButton::clicked);
    QSignalSpy secondClicked(second, &QPushButton::clicked);
    dialog.show();
    edit->setFocus();

    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Enter);
    QCOMPARE(firstClicked.count(), 0);
    QCOMPARE(secondClicked.count(), 0);
    QVERIFY(dialog.isVisible());
}

// ---- Push buttons and the style sheet ----

void tst_ZorBaseUI::pushButtonProperties_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("business");
    QTest::addColumn<QColor>("fill");

    QTest::newRow("primary") << int(ZorPushButton::TypePrimary) << 1 << QColor("#2f6bff");
    QTest::newRow("danger") << int(ZorPushButton::TypeDanger) << 1 << QColor("#f54a45");
    QTest::newRow("secondary") << int(ZorPushButton::TypeSecondary) << 1 << QColor("#ffffff");
    // A link has no fill of its own.
    QTest::newRow("text") << int(ZorPushButton::TypeText) << 1 << QColor(Qt::transparent);
    QTest::newRow("default") << int(ZorPushButton::TypeDefault) << 0 << QColor("#ffffff");
}

void tst_ZorBaseUI::pushButtonProperties()
{
    QFETCH(int, type);
    QFETCH(int, business);
    QFETCH(QColor, fill);

    TestDialog dialog;
    auto* button = new ZorPushButton(dialog.Content());
    dialog.Content()->layout()->addWidget(button);
    QCOMPARE(button->property("buttonType").toInt(), 0);
    QCOMPARE(button->property("business").toInt(), 0);
    dialog.show();

    button->SetBusiness(static_cast<Zor::BaseUIBusiness>(business));
    button->SetButtonType(static_cast<ZorPushButton::ButtonType>(type));
    QCOMPARE(button->property("buttonType").toInt(), type);
    QCOMPARE(button->property("business").toInt(), business);
    QCOMPARE(int(button->GetButtonType()), type);
    QCOMPARE(int(button->GetBusiness()), business);

    // Sampled inside the border, above where the (empty) text would be.
    QCOMPARE(PixelAt(button, QPoint(button->width() / 2, 3)), fill);
}

void tst_ZorBaseUI::styleSheetLooks_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("line edit") << "QLineEdit";
    QTest::newRow("text edit") << "QTextEdit";
    QTest::newRow("category picker") << "ZorCategoryComBox";
}

void tst_ZorBaseUI::styleSheetLooks()
{
    QFETCH(QString, kind);

    TestDialog dialog;
    QWidget* field = nullptr;
    if (kind == "QLineEdit")
        field = new QLineEdit(dialog.Content());
    else if (kind == "QTextEdit")
        field = new QTextEdit(dialog.Content());
    else
        field = new ZorCategoryComBox(dialog.Content());
    field->setFixedSize(200, 60);
    dialog.Content()->layout()->addWidget(field);
    dialog.show();

    const QPoint onBorder(0, 30);
    QVERIFY(!IsReddish(PixelAt(field, onBorder)));
    field->setProperty("errored", true);
    UIUtils::UpdateStyle(field);
    QVERIFY2(IsReddish(PixelAt(field, onBorder)), qPrintable(PixelAt(field, onBorder).name()));
    field->setProperty("errored", false);
    UIUtils::UpdateStyle(field);
    QVERIFY(!IsReddish(PixelAt(field, onBorder)));
}

void tst_ZorBaseUI::styleSheetAsterisks()
{
    TestDialog dialog;
    QList<QLabel*> labels;
    for (const char* name : {"typeAsterisk", "detailAsterisk", "phoneAsterisk", "countLabel"}) {
        auto* label = new QLabel(dialog.Content());
        label->setObjectName(QLatin1String(name));
        dialog.Content()->layout()->addWidget(label);
        labels << label;
    }
    dialog.show();

    for (int i = 0; i < 3; ++i) {
        QCOMPARE(labels[i]->text(), QStringLiteral("*"));
        QVERIFY(IsReddish(labels[i]->palette().color(QPalette::WindowText)));
    }
    QLabel* count = labels[3];
    QVERIFY(count->text().isEmpty());
    QVERIFY(!IsReddish(count->palette().color(QPalette::WindowText)));
    count->setProperty("errored", true);
    UIUtils::UpdateStyle(count);
    QVERIFY(IsReddish(count->palette().color(QPalette::WindowText)));
}

QTEST_MAIN(tst_ZorBaseUI)
#include "tst_zorbaseui.moc"
