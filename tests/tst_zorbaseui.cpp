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
#include <QVBoxLayout>

namespace {

using ItemPtr = QSharedPointer<ZorCategoryItemData>;
using ItemList = QList<ItemPtr>;

ItemPtr Item(int id, const QString& name, const ItemList& children = {})
{
    return ItemPtr(new ZorCategoryItemData{id, name, children});
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

// Counts SlotClose: every close path must pass it, as subclasses clean up there.
class TestDialog : public ZorBaseDialog
{
public:
    TestDialog()
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

    bool IsMovable() const override { return bMovable; }
    void SlotClose() override
    {
        ++closeCalls;
        ZorBaseDialog::SlotClose();
    }

    QLineEdit* edit = nullptr;
    int closeCalls = 0;
    int buttonClicks = 0;
    bool bMovable = true;
};

QList<QWidget*> LiveToasts()
{
    QList<QWidget*> toasts;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("zorToast"))
            toasts << widget;
    return toasts;
}

} // namespace

class tst_ZorBaseUI : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestMessageHandler::install();
        // The offscreen platform cannot raise windows or grab the keyboard for popups.
        TestMessageHandler::allow(QRegularExpression("^This plugin does not support"));
    }
    void cleanup()
    {
        for (QWidget* toast : LiveToasts())
            delete toast;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // Every test owns what it showed; nothing may be left on screen.
        for (QWidget* widget : QApplication::topLevelWidgets())
            QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
    }

    void iconButtonClicks_data();
    void iconButtonClicks();

    void picker_data();
    void picker();

    void toast_data();
    void toast();

    void dialogFrame_data();
    void dialogFrame();

    void styleSheetErrorLook_data();
    void styleSheetErrorLook();
};

void tst_ZorBaseUI::iconButtonClicks_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("bDisabledLook");
    QTest::addColumn<int>("expected");

    QTest::newRow("click") << "click" << false << 1;
    QTest::newRow("space") << "space" << false << 1;
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
    button->resize(120, 34);
    host.show();
    button->setFocus();
    const QLabel* text = button->GetLabelText();
    const QColor normal = text->palette().color(QPalette::WindowText);
    button->SetDisableStyle(bDisabledLook);
    button->UpdateStyle();
    QSignalSpy clicked(button, &ZorIconButtonWidget::SigClicked);

    const QPoint inside = button->rect().center();
    if (action == "space") {
        QTest::keyClick(button, Qt::Key_Space);
    } else if (action == "right click") {
        QTest::mouseClick(button, Qt::RightButton, {}, inside);
    } else {
        if (action != "release")
            QTest::mousePress(button, Qt::LeftButton, {}, inside);
        if (action.contains("disable"))
            button->SetDisableStyle(true);
        QTest::mouseRelease(button, Qt::LeftButton, {},
                            action.contains("outside") ? QPoint(-20, inside.y()) : inside);
    }
    QCOMPARE(clicked.count(), expected);
    // The look is the style sheet's: the text label must follow the property, which needs
    // the children re-polished too.
    button->UpdateStyle();
    QCOMPARE(text->palette().color(QPalette::WindowText) != normal, button->IsDisableStyle());
}

void tst_ZorBaseUI::picker_data()
{
    // Steps: "open <how>", "click <list> <row>", "hover first <row>", "key <list> <key>",
    // "set <first id> [<second id>]" (ids as text), "list <none|renamed|moved>",
    // "shows <the second list's entries>".
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("bOpen");
    QTest::addColumn<QString>("chosen");

    QTest::newRow("nothing to choose from") << "list none, open click" << false << "";
    QTest::newRow("entries gone while open") << "open click, list none" << false << "";
    QTest::newRow("a parent is a heading")
        << "open click, click first 1, shows Refund" << true << "";
    QTest::newRow("child by mouse") << "open click, hover first 0, shows Login,Password, "
                                       "hover first 1, shows Refund, click second 0"
                                    << false << "2/21 Orders / Refund";
    QTest::newRow("first level alone by mouse")
        << "open click, click first 2" << false << "3 Other";
    QTest::newRow("child by keys")
        << "open Down, key first Down, key first Right, key second Return" << false
        << "2/21 Orders / Refund";
    QTest::newRow("first level alone by Enter")
        << "open F4, key first Down, key first Down, key first Enter" << false << "3 Other";
    QTest::newRow("Escape leaves without choosing")
        << "open Down, key first Down, key first Esc" << false << "";
    // Chosen by the program: never announced.
    QTest::newRow("set both") << "set 1 11" << false << "1/11 Account / Login";
    QTest::newRow("set unknown first") << "set 2 21, set 9" << false << "";
    QTest::newRow("set second of another parent") << "set 2 21, set 2 11" << false << "";
    QTest::newRow("new list renames")
        << "set 1 12, list renamed" << false << "1/12 Accounts / Passwords";
    QTest::newRow("new list moves the child elsewhere") << "set 1 12, list moved" << false << "";
}

void tst_ZorBaseUI::picker()
{
    QFETCH(QString, steps);
    QFETCH(bool, bOpen);
    QFETCH(QString, chosen);

    ZorCategoryComBox box;
    box.SetListData(Categories());
    box.show();
    box.setFocus();
    box.SetErrorStyle(true);
    QSignalSpy changed(&box, &ZorCategoryComBox::SigSelectionChanged);
    auto* first = box.findChild<QListWidget*>(QStringLiteral("firstLevelList"));
    auto* second = box.findChild<QListWidget*>(QStringLiteral("secondLevelList"));
    auto key = [](const QString& name) { return Qt::Key(QKeySequence(name)[0]); };
    const QMap<QString, ItemList> lists{{"renamed", {Item(1, "Accounts", {Item(12, "Passwords")})}},
                                        {"moved", {Item(2, "Orders", {Item(12, "Password")})}}};

    for (const QString& step : steps.split(", ")) {
        const QStringList words = step.split(' ');
        QListWidget* list = words.value(1) == "second" ? second : first;
        const int row = words.value(2).toInt();
        if (words[0] == "list") {
            box.SetListData(lists.value(words[1]));
        } else if (words[0] == "set") {
            box.SetCurrentId(words[1], words.size() > 2 ? QVariant(words[2]) : QVariant());
        } else if (words[0] == "open") {
            if (words[1] == "click")
                QTest::mouseClick(&box, Qt::LeftButton);
            else
                QTest::keyClick(&box, key(words[1]));
            if (!box.IsPopupVisible())
                continue;
            // Its own window under the line edit, at least as wide.
            const QRect popup = box.GetPopup()->geometry();
            const QPoint boxBottomLeft = box.mapToGlobal(QPoint(0, box.height()));
            QVERIFY(box.GetPopup()->isWindow() && popup.top() >= boxBottomLeft.y());
            QCOMPARE(popup.left(), boxBottomLeft.x());
            QVERIFY(popup.width() >= box.width());
        } else if (words[0] == "shows") {
            QStringList shown;
            for (int row = 0; row < second->count(); ++row)
                shown << second->item(row)->text();
            QCOMPARE(shown.join(','), words[1]);
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
            QTest::keyClick(list, key(words[2]));
        }
    }

    QCOMPARE(box.IsPopupVisible(), bOpen);
    QCOMPARE(Chosen(box), chosen);
    // Only a choice by the user is announced, and it clears the error mark.
    const bool bByProgram = steps.startsWith("set");
    QCOMPARE(changed.count(), chosen.isEmpty() || bByProgram ? 0 : 1);
    if (!changed.isEmpty())
        QVERIFY(chosen.startsWith(changed.first().at(0).toString()));
    if (!bByProgram)
        QCOMPARE(box.IsErrorStyle(), chosen.isEmpty());
    box.HidePopup();
}

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
    QCOMPARE(shown.first().mid(0, 2), (QVariantList{text, type}));
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
    QVERIFY(toast->testAttribute(Qt::WA_ShowWithoutActivating) &&
            (toast->windowFlags() & Qt::WindowDoesNotAcceptFocus));
    QCoreApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), edit);
    QCOMPARE(QApplication::activeWindow(), &window);

    QTRY_VERIFY_WITH_TIMEOUT(!toast, ZorToast::kDurationMs + 3000);
    QVERIFY(clock.elapsed() >= ZorToast::kDurationMs - 100);
}

void tst_ZorBaseUI::dialogFrame_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("bCloses");
    QTest::addColumn<bool>("bMoves");

    QTest::newRow("close button") << "close button" << true << false;
    QTest::newRow("Escape") << "Escape" << true << false;
    // Push buttons are never default: Return in a field must not click one.
    QTest::newRow("Return in a field") << "Return" << false << false;
    QTest::newRow("drag by the title") << "drag baseTitleLabel" << false << true;
    QTest::newRow("drag, not movable") << "drag baseTitleLabel fixed" << false << false;
    QTest::newRow("content is no handle") << "drag baseContentWidget" << false << false;
}

void tst_ZorBaseUI::dialogFrame()
{
    QFETCH(QString, action);
    QFETCH(bool, bCloses);
    QFETCH(bool, bMoves);

    QPointer<TestDialog> dialog = new TestDialog;
    dialog->bMovable = !action.endsWith("fixed");
    dialog->SetTitleText(QStringLiteral("Drag me"));
    dialog->move(100, 100);
    dialog->show();
    dialog->edit->setFocus();
    const QPoint start = dialog->pos();
    const QPoint delta(37, 25);
    if (action == "close button") {
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("baseCloseButton")),
                          Qt::LeftButton);
    } else if (action.startsWith("drag")) {
        auto* handle = dialog->findChild<QWidget*>(action.section(' ', 1, 1));
        QVERIFY(handle);
        const QPoint local(10, 10);
        const QPoint global = handle->mapToGlobal(local);
        auto send = [&](QEvent::Type type, const QPoint& offset, Qt::MouseButtons buttons) {
            QMouseEvent event(type, local + offset, global + offset, Qt::LeftButton, buttons,
                              Qt::NoModifier);
            QApplication::sendEvent(handle, &event);
        };
        send(QEvent::MouseButtonPress, {}, Qt::LeftButton);
        send(QEvent::MouseMove, delta / 2, Qt::LeftButton);
        send(QEvent::MouseMove, delta, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, delta, Qt::NoButton);
        // After the release, moving the mouse moves nothing.
        send(QEvent::MouseMove, 2 * delta, Qt::NoButton);
    } else {
        QTest::keyClick(dialog->edit, action == "Escape" ? Qt::Key_Escape : Qt::Key_Return);
    }
    QCOMPARE(dialog->buttonClicks, 0);
    QCOMPARE(dialog->closeCalls, bCloses ? 1 : 0);
    QCOMPARE(dialog->isVisible(), !bCloses);
    QCOMPARE(dialog->pos(), bMoves ? start + delta : start);
    dialog->close();
    QTRY_VERIFY(!dialog); // WA_DeleteOnClose is honoured
}

void tst_ZorBaseUI::styleSheetErrorLook_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("bAlwaysRed");

    QTest::newRow("line edit") << "QLineEdit" << false;
    QTest::newRow("category picker") << "ZorCategoryComBox" << false;
    QTest::newRow("character count") << "countLabel" << false;
    QTest::newRow("asterisk") << "phoneAsterisk" << true;
}

void tst_ZorBaseUI::styleSheetErrorLook()
{
    QFETCH(QString, kind);
    QFETCH(bool, bAlwaysRed);

    TestDialog dialog;
    QWidget* field = dialog.edit;
    if (kind == "ZorCategoryComBox")
        field = new ZorCategoryComBox(field->parentWidget());
    else if (kind != "QLineEdit")
        field = new QLabel(field->parentWidget());
    field->setObjectName(kind);
    field->setFixedSize(200, 60);
    dialog.show();
    auto* label = qobject_cast<QLabel*>(field);
    // A field shows the mark on its border, a label in its text colour.
    auto isRed = [field, label]() {
        const QColor colour = label ? label->palette().color(QPalette::WindowText)
                                    : field->grab().toImage().pixelColor(0, 30);
        return colour.red() > 200 && colour.green() < 150 && colour.blue() < 150;
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
