// The host's UI stand-ins driven as a user drives them: the icon button, the category
// picker, toasts, the base dialog frame and the default style sheet's error marks.

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

// The chosen ids and the text shown: "2/21 Orders / Refund", "3 Other", or "" for nothing.
QString Chosen(const ZorCategoryComBox& box)
{
    QString ids = box.GetFirstLevelId().toString();
    if (box.GetSecondLevelId().isValid())
        ids += QLatin1Char('/') + box.GetSecondLevelId().toString();
    return (ids + QLatin1Char(' ') + box.text()).trimmed();
}

// A dialog whose frame is under test, holding a field and two push buttons; counts
// SlotClose so the close paths are seen to go through it.
class TestDialog : public ZorBaseDialog
{
public:
    explicit TestDialog(bool bMovable = true) : m_bMovable(bMovable)
    {
        setAttribute(Qt::WA_DeleteOnClose);
        auto* layout = new QVBoxLayout(GetContentWidget());
        edit = new QLineEdit(GetContentWidget());
        layout->addWidget(edit);
        for (auto type : {ZorPushButton::TypeDefault, ZorPushButton::TypePrimary}) {
            auto* button = new ZorPushButton(GetContentWidget(), type);
            layout->addWidget(button);
            connect(button, &QPushButton::clicked, this, [this]() { ++buttonClicks; });
        }
        resize(400, 300);
    }

    QWidget* Content() const { return GetContentWidget(); }
    void Add(QWidget* widget) { GetContentWidget()->layout()->addWidget(widget); }
    bool IsMovable() const override { return m_bMovable; }
    void SlotClose() override
    {
        ++closeCalls;
        ZorBaseDialog::SlotClose();
    }

    QLineEdit* edit = nullptr;
    int closeCalls = 0;
    int buttonClicks = 0;

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

    void pickerPopup();
    void pickerChooses_data();
    void pickerChooses();
    void pickerSelection_data();
    void pickerSelection();

    void toast_data();
    void toast();

    void dialogCloses_data();
    void dialogCloses();
    void dialogDrag_data();
    void dialogDrag();

    void styleSheetErrorLook_data();
    void styleSheetErrorLook();
};

void tst_ZorBaseUI::initTestCase()
{
    TestMessageHandler::install();
    // The offscreen platform cannot raise windows or grab the keyboard for popups.
    TestMessageHandler::allow(QRegularExpression(QStringLiteral("^This plugin does not support")));
}

void tst_ZorBaseUI::cleanup()
{
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

    QTest::newRow("click") << "click" << false << 1;
    QTest::newRow("space") << "space" << false << 1;
    QTest::newRow("return") << "return" << false << 1;
    QTest::newRow("right click") << "right click" << false << 0;
    QTest::newRow("press inside, release outside") << "press, release outside" << false << 0;
    QTest::newRow("release without press") << "release" << false << 0;
    QTest::newRow("disabled look, click") << "click" << true << 0;
    QTest::newRow("disabled look, space") << "space" << true << 0;
    QTest::newRow("disabled while held") << "press, disable, release" << false << 0;
}

void tst_ZorBaseUI::iconButtonClicks()
{
    QFETCH(QString, action);
    QFETCH(bool, bDisabledLook);
    QFETCH(int, expected);

    QWidget host;
    host.setStyleSheet(UIUtils::DefaultStyleSheet());
    auto* button = new ZorIconButtonWidget(&host);
    button->setObjectName(QStringLiteral("uploadWidget"));
    button->GetLabelText()->setText(QStringLiteral("Upload"));
    button->resize(120, 34);
    host.show();
    button->setFocus();
    auto textColour = [button]() {
        return button->GetLabelText()->palette().color(QPalette::WindowText);
    };
    const QColor normal = textColour();
    button->SetDisableStyle(bDisabledLook);
    button->UpdateStyle();
    QSignalSpy clicked(button, &ZorIconButtonWidget::SigClicked);

    const QPoint inside = button->rect().center();
    if (action == "click")
        QTest::mouseClick(button, Qt::LeftButton, {}, inside);
    else if (action == "space" || action == "return")
        QTest::keyClick(button, action == "space" ? Qt::Key_Space : Qt::Key_Return);
    else if (action == "right click")
        QTest::mouseClick(button, Qt::RightButton, {}, inside);
    else if (action == "release")
        QTest::mouseRelease(button, Qt::LeftButton, {}, inside);
    else {
        QTest::mousePress(button, Qt::LeftButton, {}, inside);
        if (action.contains("disable"))
            button->SetDisableStyle(true);
        const bool bOutside = action.contains("outside");
        QTest::mouseRelease(button, Qt::LeftButton, {},
                            bOutside ? QPoint(button->width() + 20, inside.y()) : inside);
    }
    QCOMPARE(clicked.count(), expected);
    // The look is the style sheet's: the text label must follow the property, which needs
    // the children re-polished too.
    button->UpdateStyle();
    QCOMPARE(textColour() != normal, button->IsDisableStyle());
}

// ---- Category picker ----

void tst_ZorBaseUI::pickerPopup()
{
    QWidget window;
    auto* box = new ZorCategoryComBox(&window);
    box->setGeometry(20, 20, 300, 32);
    window.resize(400, 300);
    window.show();
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(!box->IsPopupVisible()); // nothing to choose from

    box->SetListData(Categories());
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(box->IsPopupVisible());
    // Its own window under the line edit, at least as wide.
    QWidget* popup = box->GetPopup();
    QVERIFY(popup->isWindow());
    const QPoint boxBottomLeft = box->mapToGlobal(QPoint(0, box->height()));
    QVERIFY(popup->geometry().top() >= boxBottomLeft.y());
    QCOMPARE(popup->geometry().left(), boxBottomLeft.x());
    QVERIFY(popup->width() >= box->width());

    // The entries going away while it is open close it.
    box->SetListData({});
    QVERIFY(!box->IsPopupVisible());
}

void tst_ZorBaseUI::pickerChooses_data()
{
    // Steps: "open <how>", "click <list> <row>", "hover first <row>", "key <list> <key>".
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("bOpen");
    QTest::addColumn<QStringList>("children"); // the second list's entries at the end
    QTest::addColumn<QString>("chosen");

    const QStringList refund{"Refund"};
    QTest::newRow("a parent is a heading")
        << QStringList{"open click", "click first 1"} << true << refund << "";
    QTest::newRow("hover shows children")
        << QStringList{"open click", "hover first 2", "hover first 1"} << true << refund << "";
    QTest::newRow("child by mouse") << QStringList{"open click", "hover first 1", "click second 0"}
                                    << false << refund << "2/21 Orders / Refund";
    QTest::newRow("first level alone by mouse")
        << QStringList{"open click", "click first 2"} << false << QStringList{} << "3 Other";
    QTest::newRow("child by keys")
        << QStringList{"open Down", "key first Down", "key first Right", "key second Return"}
        << false << refund << "2/21 Orders / Refund";
    QTest::newRow("first level alone by Enter")
        << QStringList{"open F4", "key first Down", "key first Down", "key first Enter"} << false
        << QStringList{} << "3 Other";
    QTest::newRow("Escape leaves without choosing")
        << QStringList{"open Down", "key first Down", "key first Escape"} << false << refund << "";
}

void tst_ZorBaseUI::pickerChooses()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, bOpen);
    QFETCH(QStringList, children);
    QFETCH(QString, chosen);

    ZorCategoryComBox box;
    box.SetListData(Categories());
    box.show();
    box.setFocus();
    box.SetErrorStyle(true);
    QSignalSpy changed(&box, &ZorCategoryComBox::SigSelectionChanged);
    auto* first = box.findChild<QListWidget*>(QStringLiteral("firstLevelList"));
    auto* second = box.findChild<QListWidget*>(QStringLiteral("secondLevelList"));
    const QMap<QString, Qt::Key> keys{{"Down", Qt::Key_Down},   {"F4", Qt::Key_F4},
                                      {"Right", Qt::Key_Right}, {"Return", Qt::Key_Return},
                                      {"Enter", Qt::Key_Enter}, {"Escape", Qt::Key_Escape}};

    for (const QString& step : steps) {
        const QStringList words = step.split(' ');
        QListWidget* list = words[1] == "second" ? second : first;
        const int row = words.value(2).toInt();
        if (words[0] == "open") {
            if (words[1] == "click")
                QTest::mouseClick(&box, Qt::LeftButton);
            else
                QTest::keyClick(&box, keys.value(words[1]));
            QVERIFY(box.IsPopupVisible());
        } else if (words[0] == "click") {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(row)).center());
        } else if (words[0] == "hover") {
            // A move to where the cursor already is (left there by an earlier row) is
            // dropped, so come from elsewhere.
            QTest::mouseMove(&box);
            QTest::mouseMove(list->viewport(), list->visualItemRect(list->item(row)).center());
            QTRY_COMPARE(list->currentRow(), row);
        } else {
            QTest::keyClick(list, keys.value(words[2]));
        }
    }

    QCOMPARE(box.IsPopupVisible(), bOpen);
    QStringList shown;
    for (int row = 0; row < second->count(); ++row)
        shown << second->item(row)->text();
    QCOMPARE(shown, children);
    QCOMPARE(Chosen(box), chosen);
    // Only a choice by the user is announced, and it clears the error mark.
    QCOMPARE(changed.count(), chosen.isEmpty() ? 0 : 1);
    if (!changed.isEmpty())
        QVERIFY(chosen.startsWith(changed.first().at(0).toString()));
    QCOMPARE(box.IsErrorStyle(), chosen.isEmpty());
    box.HidePopup();
}

void tst_ZorBaseUI::pickerSelection_data()
{
    QTest::addColumn<QVariant>("first");
    QTest::addColumn<QVariant>("second");
    QTest::addColumn<ItemList>("newList"); // empty: the list stays
    QTest::addColumn<QString>("chosen");

    const QVariant none;
    const ItemList same;
    QTest::newRow("both known") << QVariant(1) << QVariant(11) << same << "1/11 Account / Login";
    QTest::newRow("ids as text") << QVariant("2") << QVariant("21") << same
                                 << "2/21 Orders / Refund";
    QTest::newRow("unknown first") << QVariant(9) << none << same << "";
    QTest::newRow("second of another parent") << QVariant(2) << QVariant(11) << same << "";
    QTest::newRow("new list renames")
        << QVariant(1) << QVariant(12) << ItemList{Item(1, "Accounts", {Item(12, "Passwords")})}
        << "1/12 Accounts / Passwords";
    QTest::newRow("new list keeps first alone") << QVariant(3) << none << Categories() << "3 Other";
    QTest::newRow("new list moves the child elsewhere")
        << QVariant(1) << QVariant(12) << ItemList{Item(2, "Orders", {Item(12, "Password")})} << "";
}

void tst_ZorBaseUI::pickerSelection()
{
    QFETCH(QVariant, first);
    QFETCH(QVariant, second);
    QFETCH(ItemList, newList);
    QFETCH(QString, chosen);

    ZorCategoryComBox box;
    box.SetListData(Categories());
    box.SetCurrentId(2, 21); // an earlier choice that each row replaces
    QSignalSpy changed(&box, &ZorCategoryComBox::SigSelectionChanged);

    box.SetCurrentId(first, second);
    if (!newList.isEmpty())
        box.SetListData(newList);
    QCOMPARE(Chosen(box), chosen);
    QCOMPARE(changed.count(), 0);
}

// ---- Toasts ----

void tst_ZorBaseUI::toast_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("bWithParent");

    QTest::newRow("success over the screen")
        << "Problem feedback submitted successfully" << int(TOAST_SUCCESS) << false;
    QTest::newRow("failure over a window") << "Image upload failed" << int(TOAST_FAILED) << true;
}

void tst_ZorBaseUI::toast()
{
    QFETCH(QString, text);
    QFETCH(int, type);
    QFETCH(bool, bWithParent);

    QWidget window;
    window.setGeometry(150, 120, 500, 400);
    auto* edit = new QLineEdit(&window);
    window.show();
    QApplication::setActiveWindow(&window);
    edit->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), edit);
    QSignalSpy shown(ZorToastNotifier::Instance(), &ZorToastNotifier::SigToastShown);

    QElapsedTimer clock;
    clock.start();
    ZorToast::Show(text, static_cast<ENUM_TOAST_TYPE>(type), bWithParent ? edit : nullptr);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toString(), text);
    QCOMPARE(shown.at(0).at(1).toInt(), type);

    QCOMPARE(LiveToasts().size(), 1);
    QPointer<QWidget> toast = LiveToasts().first();
    QVERIFY(toast->isVisible());
    QCOMPARE(toast->findChild<QLabel*>(QStringLiteral("toastText"))->text(), text);
    // Centred over the window it concerns, or over the screen.
    const QRect area = bWithParent ? window.frameGeometry()
                                   : QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY((toast->geometry().center() - area.center()).manhattanLength() <= 2);

    // Never takes the focus: real window systems honour these flags, the offscreen one
    // cannot show the difference.
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

void tst_ZorBaseUI::dialogCloses_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("bCloses");

    QTest::newRow("close button") << "close button" << true;
    QTest::newRow("Escape") << "Escape" << true;
    // Push buttons are never default: Enter in a field must not click one.
    QTest::newRow("Return in a field") << "Return" << false;
    QTest::newRow("Enter in a field") << "Enter" << false;
}

void tst_ZorBaseUI::dialogCloses()
{
    QFETCH(QString, action);
    QFETCH(bool, bCloses);

    QPointer<TestDialog> dialog = new TestDialog;
    dialog->show();
    dialog->edit->setFocus();
    if (action == "close button")
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("baseCloseButton")),
                          Qt::LeftButton);
    else if (action == "Escape")
        QTest::keyClick(dialog->edit, Qt::Key_Escape);
    else
        QTest::keyClick(dialog->edit, action == "Return" ? Qt::Key_Return : Qt::Key_Enter);
    QCOMPARE(dialog->buttonClicks, 0);
    QCOMPARE(dialog->closeCalls, bCloses ? 1 : 0);
    QCOMPARE(dialog->isVisible(), !bCloses);
    if (!bCloses)
        dialog->close();
    QTRY_VERIFY(!dialog); // WA_DeleteOnClose is honoured
}

void tst_ZorBaseUI::dialogDrag_data()
{
    QTest::addColumn<bool>("bMovable");
    QTest::addColumn<QString>("grab");
    QTest::addColumn<bool>("bMoves");

    QTest::newRow("title text") << true << "baseTitleLabel" << true;
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

// ---- The style sheet ----

void tst_ZorBaseUI::styleSheetErrorLook_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("bAlwaysRed");

    QTest::newRow("line edit") << "QLineEdit" << false;
    QTest::newRow("text edit") << "QTextEdit" << false;
    QTest::newRow("category picker") << "ZorCategoryComBox" << false;
    QTest::newRow("character count") << "countLabel" << false;
    QTest::newRow("asterisk") << "phoneAsterisk" << true;
}

void tst_ZorBaseUI::styleSheetErrorLook()
{
    QFETCH(QString, kind);
    QFETCH(bool, bAlwaysRed);

    TestDialog dialog;
    QWidget* field = nullptr;
    if (kind == "QLineEdit")
        field = new QLineEdit(dialog.Content());
    else if (kind == "QTextEdit")
        field = new QTextEdit(dialog.Content());
    else if (kind == "ZorCategoryComBox")
        field = new ZorCategoryComBox(dialog.Content());
    else
        field = new QLabel(dialog.Content());
    field->setObjectName(kind);
    field->setFixedSize(200, 60);
    dialog.Add(field);
    dialog.show();
    auto* label = qobject_cast<QLabel*>(field);
    // A field shows the mark on its border, a label in its text colour.
    auto isRed = [field, label]() {
        return IsReddish(label ? label->palette().color(QPalette::WindowText)
                               : PixelAt(field, QPoint(0, 30)));
    };
    if (bAlwaysRed)
        QCOMPARE(label->text(), QStringLiteral("*"));

    QCOMPARE(isRed(), bAlwaysRed);
    for (bool bErrored : {true, false}) {
        field->setProperty("errored", bErrored);
        UIUtils::UpdateStyle(field);
        QCOMPARE(isRed(), bErrored || bAlwaysRed);
    }
}

QTEST_MAIN(tst_ZorBaseUI)
#include "tst_zorbaseui.moc"
