// The host's UI stand-ins driven as a user drives them: the icon button, the category
// picker, toasts, the base dialog frame and the default style sheet's error marks.

#include "TestMessageHandler.h"
#include "UIUtils.h"
#include "ZorBaseDialog.h"
#include "ZorCategoryComBox.h"
#include "ZorIconButtonWidget.h"
#include "ZorPushButton.h"
#include "ZorSkin.h"
#include "ZorToast.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

namespace {

using ItemList = QList<QSharedPointer<ZorCategoryItemData>>;

QSharedPointer<ZorCategoryItemData> Item(int id, const QString& name, const ItemList& children = {})
{
    return QSharedPointer<ZorCategoryItemData>(new ZorCategoryItemData{id, name, children});
}

// Counts SlotClose: every close path must pass it, as subclasses clean up there.
class TestDialog : public ZorBaseDialog
{
public:
    TestDialog()
    {
        setAttribute(Qt::WA_DeleteOnClose);
        connect(button, &QPushButton::clicked, this, [this]() { ++buttonClicks; });
    }
    bool IsMovable() const override { return bMovable; }
    void SlotClose() override
    {
        ++closeCalls;
        ZorBaseDialog::SlotClose();
    }
    void ChangeSkin(const QString& skin) override
    {
        skins << skin;
        ZorBaseDialog::ChangeSkin(skin);
    }

    QLineEdit* edit = new QLineEdit(GetContentWidget());
    ZorPushButton* button = new ZorPushButton(GetContentWidget(), ZorPushButton::TypePrimary);
    QStringList skins; // ChangeSkin calls
    int closeCalls = 0, buttonClicks = 0;
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

// Row names are the actions taken.
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
        qDeleteAll(LiveToasts());
        // Every test owns what it showed; nothing may be left on screen.
        for (QWidget* widget : QApplication::topLevelWidgets())
            QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
    }

    void iconButtonClicks_data()
    {
        QTest::addColumn<int>("clicks");
        for (const char* action : {"click", "space"})
            QTest::newRow(action) << 1;
        for (const char* action :
             {"right click", "press, release outside", "release without press",
              "disabled look, click", "disabled look, space", "press, disable, release"})
            QTest::newRow(action) << 0;
    }
    void iconButtonClicks()
    {
        const QString action = QTest::currentDataTag();
        QWidget host;
        host.setStyleSheet(UIUtils::DefaultStyleSheet());
        auto* button = new ZorIconButtonWidget(&host);
        host.show();
        const QLabel* text = button->GetLabelText();
        const QColor normal = text->palette().color(QPalette::WindowText);
        button->SetDisableStyle(action.startsWith("disabled"));
        button->UpdateStyle();
        QSignalSpy clicked(button, &ZorIconButtonWidget::SigClicked);

        if (action.endsWith("space")) {
            QTest::keyClick(button, Qt::Key_Space);
        } else {
            const Qt::MouseButton which =
                action == "right click" ? Qt::RightButton : Qt::LeftButton;
            if (!action.startsWith("release"))
                QTest::mousePress(button, which);
            if (action.contains("disable,"))
                button->SetDisableStyle(true);
            QTest::mouseRelease(button, which, {},
                                action.contains("outside") ? QPoint(-20, 5) : QPoint());
        }
        QFETCH(int, clicks);
        QCOMPARE(clicked.count(), clicks);
        // The style sheet's look reaches the text only if the children are re-polished too.
        button->UpdateStyle();
        QCOMPARE(text->palette().color(QPalette::WindowText) != normal, button->IsDisableStyle());
    }

    void picker_data()
    {
        // Steps: "open <how>", "click|hover <list> <row>", "<list> <key>", "set <first id>
        // [<second id>]", "list <none|renamed|moved>", "shows <the second list's entries>";
        // chosen: the ids and the text shown.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("chosen");
        auto row = [](const char* name, const char* steps, const char* chosen) {
            QTest::newRow(name) << QString(steps) << QString(chosen);
        };
        row("nothing to choose from", "list none, open click", "");
        row("entries gone while open", "open click, list none", "");
        row("a parent is a heading", "open click, click first 1, shows Refund", "");
        row("child by mouse",
            "open click, hover first 0, shows Login,Password, hover first 1, shows Refund, "
            "click second 0",
            "2 21 Orders / Refund");
        row("first level alone by mouse", "open click, click first 2", "3 Other");
        row("child by keys", "open Down, first Down, first Right, second Return",
            "2 21 Orders / Refund");
        row("first level alone by Enter", "open F4, first Down, first Down, first Enter",
            "3 Other");
        row("Escape leaves without choosing", "open Down, first Down, first Esc", "");
        // Chosen by the program: never announced.
        row("set both", "set 1 11", "1 11 Account / Login");
        row("set unknown first", "set 2 21, set 9", "");
        row("set second of another parent", "set 2 21, set 2 11", "");
        row("new list renames", "set 1 12, list renamed", "1 12 Accounts / Passwords");
        row("new list moves the child elsewhere", "set 1 12, list moved", "");
    }
    void picker()
    {
        QFETCH(QString, steps);
        QFETCH(QString, chosen);

        ZorCategoryComBox box;
        box.SetListData({Item(1, "Account", {Item(11, "Login"), Item(12, "Password")}),
                         Item(2, "Orders", {Item(21, "Refund")}), Item(3, "Other")});
        box.show();
        box.SetErrorStyle(true);
        QSignalSpy changed(&box, &ZorCategoryComBox::SigSelectionChanged);
        auto* first = box.findChild<QListWidget*>(QStringLiteral("firstLevelList"));
        auto* second = box.findChild<QListWidget*>(QStringLiteral("secondLevelList"));
        auto key = [](const QString& name) { return Qt::Key(QKeySequence(name)[0]); };
        const QMap<QString, ItemList> lists{
            {"renamed", {Item(1, "Accounts", {Item(12, "Passwords")})}},
            {"moved", {Item(2, "Orders", {Item(12, "Password")})}}};

        bool bEverChosen = false; // by the user or the program
        for (const QString& step : steps.split(", ")) {
            const QStringList words = step.split(' ');
            QListWidget* list = step.contains("second") ? second : first;
            const QPoint at = list->visualItemRect(list->item(words.value(2).toInt())).center();
            if (words[0] == "list") {
                box.SetListData(lists.value(words[1]));
            } else if (words[0] == "set") {
                box.SetCurrentId(words[1], words.size() > 2 ? QVariant(words[2]) : QVariant());
            } else if (words[0] == "open") {
                if (words[1] == "click")
                    QTest::mouseClick(&box, Qt::LeftButton);
                else
                    QTest::keyClick(&box, key(words[1]));
                // Its own window under the line edit, at least as wide.
                const QRect popup = box.GetPopup()->geometry();
                const QPoint bottomLeft = box.mapToGlobal(QPoint(0, box.height()));
                QVERIFY(!box.IsPopupVisible() ||
                        (box.GetPopup()->isWindow() && popup.top() >= bottomLeft.y() &&
                         popup.left() == bottomLeft.x() && popup.width() >= box.width()));
            } else if (words[0] == "shows") {
                QStringList shown;
                for (int row = 0; row < second->count(); ++row)
                    shown << second->item(row)->text();
                QCOMPARE(shown.join(','), words[1]);
            } else if (words[0] == "click") {
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            } else if (words[0] == "hover") {
                // A move to where the cursor already is (left there by an earlier row) is
                // dropped, so come from elsewhere.
                QTest::mouseMove(&box);
                QTest::mouseMove(list->viewport(), at);
                QTRY_COMPARE(list->currentItem(), list->itemAt(at));
            } else {
                QTest::keyClick(list, key(words[1]));
            }
            bEverChosen = bEverChosen || box.GetFirstLevelId().isValid();
        }

        // Still open only where the last step looked into it.
        QCOMPARE(box.IsPopupVisible(), steps.section(", ", -1).startsWith("shows"));
        QCOMPARE(QStringList({box.GetFirstLevelId().toString(), box.GetSecondLevelId().toString(),
                              box.text()})
                     .join(' ')
                     .simplified(),
                 chosen);
        // Only a choice by the user is announced; any category set clears the error mark.
        const bool bByProgram = steps.startsWith("set");
        QCOMPARE(changed.count(), chosen.isEmpty() || bByProgram ? 0 : 1);
        if (!changed.isEmpty())
            QVERIFY(chosen.startsWith(changed.first().at(0).toString()));
        QCOMPARE(box.IsErrorStyle(), !bEverChosen);
    }

    void toast_data()
    {
        QTest::addColumn<int>("type"); // a failure is shown over the window it concerns
        QTest::newRow("Problem feedback submitted successfully") << int(TOAST_SUCCESS);
        QTest::newRow("Image upload failed") << int(TOAST_FAILED);
    }
    void toast()
    {
        QFETCH(int, type);
        const QString text = QTest::currentDataTag();
        const bool bWithParent = type == TOAST_FAILED;

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
        QCOMPARE(toast->findChild<QLabel*>(QStringLiteral("toastText"))->text(), text);
        // Centred over the window it concerns, or over the screen.
        const QRect area = bWithParent ? window.frameGeometry()
                                       : QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY((toast->geometry().center() - area.center()).manhattanLength() <= 2);

        // Never takes the focus: real window systems honour these flags, the offscreen one
        // cannot show the difference.
        QVERIFY(toast->isVisible() && toast->testAttribute(Qt::WA_ShowWithoutActivating) &&
                (toast->windowFlags() & Qt::WindowDoesNotAcceptFocus));
        QCoreApplication::processEvents();
        QVERIFY(QApplication::focusWidget() == edit && QApplication::activeWindow() == &window);

        QTRY_VERIFY_WITH_TIMEOUT(!toast, ZorToast::kDurationMs + 3000);
        QVERIFY(clock.elapsed() >= ZorToast::kDurationMs - 100);
    }

    void skinSwitch_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<bool>("bFromWindow"); // the host tells one window, or broadcasts
        QTest::newRow("dark, broadcast") << "dark" << false;
        QTest::newRow("dark, one window's ChangeSkin") << "dark" << true;
        QTest::newRow("unknown skin") << "sepia" << false;
        QTest::newRow("the current skin again") << "light" << true;
    }
    void skinSwitch()
    {
        QFETCH(QString, skin);
        QFETCH(bool, bFromWindow);
        const bool bSwitches = skin == "dark";

        QList<QPointer<TestDialog>> dialogs{new TestDialog, new TestDialog};
        const auto closeAll = qScopeGuard([&dialogs]() {
            ZorSkin::ChangeSkin("light");
            for (TestDialog* dialog : qAsConst(dialogs))
                if (dialog)
                    dialog->close();
        });
        for (TestDialog* dialog : qAsConst(dialogs)) {
            dialog->edit->setPlaceholderText("placeholder");
            dialog->show();
        }
        ZorToast::Show("toast", TOAST_FAILED, dialogs.first()->edit);
        QPointer<QWidget> toast = LiveToasts().value(0);
        QVERIFY(toast);
        // What each window shows: frame, field text and placeholder, primary button, toast.
        auto looks = [&]() {
            QStringList names;
            for (TestDialog* dialog : qAsConst(dialogs)) {
                names << dialog->findChild<QWidget*>("baseContentWidget")
                             ->palette()
                             .color(QPalette::Window)
                             .name()
                      << dialog->edit->palette().color(QPalette::Text).name()
                      << dialog->edit->palette().color(QPalette::PlaceholderText).name()
                      << dialog->button->palette().color(QPalette::Button).name();
            }
            return names << toast->findChild<QWidget*>("toastFrame")
                                ->palette()
                                .color(QPalette::Window)
                                .name();
        };
        auto expected = [](const QString& skin) {
            const QStringList one{
                ZorSkin::Color("window", skin).name(), ZorSkin::Color("text", skin).name(),
                ZorSkin::Color("placeholder", skin).name(), ZorSkin::Color("accent", skin).name()};
            return one + one + QStringList{ZorSkin::Color("errorSoft", skin).name()};
        };
        QCOMPARE(looks(), expected("light"));
        // The picker's arrow is an icon of the skin, loaded once per skin.
        auto* picker = new ZorCategoryComBox(dialogs.last()->edit->parentWidget());
        auto arrow = [picker]() {
            return picker->findChild<QAction*>("categoryArrow")->icon().cacheKey();
        };
        const qint64 lightArrow = arrow();
        // One style sheet for the whole process, none parsed per window.
        QCOMPARE(qApp->styleSheet(), ZorSkin::StyleSheet("light"));
        QVERIFY(dialogs[0]->styleSheet().isEmpty() && dialogs[1]->styleSheet().isEmpty() &&
                toast->styleSheet().isEmpty());

        QSignalSpy changed(ZorSkin::Instance(), &ZorSkin::SigSkinChanged);
        if (bFromWindow)
            dialogs.last()->ChangeSkin(skin);
        else
            QCOMPARE(ZorSkin::ChangeSkin(skin), ZorSkin::SkinNames().contains(skin));

        // Every open window at once, each told once; nothing for no change.
        const QString now = bSwitches ? skin : QStringLiteral("light");
        QCOMPARE(ZorSkin::CurrentSkin(), now);
        QCOMPARE(looks(), expected(now));
        QCOMPARE(arrow() != lightArrow, bSwitches);
        QCOMPARE(changed.count(), bSwitches ? 1 : 0);
        for (TestDialog* dialog : qAsConst(dialogs))
            QCOMPARE(dialog->skins.size(),
                     int(bSwitches) + int(bFromWindow && dialog == dialogs.last()));
        QCOMPARE(qApp->styleSheet(), ZorSkin::StyleSheet(now));

        // A window opened afterwards takes the current skin, and the way back is exact.
        QPointer<TestDialog> later = new TestDialog;
        dialogs << later;
        dialogs.takeFirst()->close();
        later->show();
        QCOMPARE(looks(), expected(now));
        QVERIFY(ZorSkin::ChangeSkin("light"));
        QCOMPARE(looks(), expected("light"));
        QCOMPARE(arrow(), lightArrow);
    }

    void toastReplaces_data()
    {
        // Where two toasts show, one after the other: over window "a" (two of its widgets),
        // over window "b", or over the screen.
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QStringList>("showing"); // the texts left showing, sorted
        QTest::newRow("same window") << "a"
                                     << "a" << QStringList{"2"};
        QTest::newRow("two windows") << "a"
                                     << "b" << QStringList{"1", "2"};
        QTest::newRow("screen twice") << "screen"
                                      << "screen" << QStringList{"2"};
        QTest::newRow("screen, then window") << "screen"
                                             << "a" << QStringList{"1", "2"};
    }
    void toastReplaces()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QStringList, showing);

        QWidget a;
        auto* edit = new QLineEdit(&a);
        auto* other = new QLineEdit(&a);
        QWidget b;
        a.show();
        b.show();
        const auto place = [&](const QString& where, bool bFirst) -> QWidget* {
            if (where == QLatin1String("a"))
                return bFirst ? edit : other;
            return where == QLatin1String("b") ? &b : nullptr;
        };
        ZorToast::Show(QStringLiteral("1"), TOAST_FAILED, place(first, true));
        ZorToast::Show(QStringLiteral("2"), TOAST_FAILED, place(second, false));

        QStringList texts;
        for (QWidget* toast : LiveToasts()) {
            if (toast->isVisible())
                texts << toast->findChild<QLabel*>(QStringLiteral("toastText"))->text();
        }
        texts.sort();
        QCOMPARE(texts, showing);
        // The replaced one is gone at once, not at the end of its time.
        QTRY_COMPARE(LiveToasts().size(), showing.size());
    }

    void dialogFrame_data()
    {
        QTest::addColumn<bool>("bCloses");
        QTest::addColumn<bool>("bMoves");
        QTest::newRow("close button") << true << false;
        QTest::newRow("Escape") << true << false;
        // Push buttons are never default: Return in a field must not click one.
        QTest::newRow("Return") << false << false;
        QTest::newRow("drag baseTitleLabel") << false << true;
        QTest::newRow("drag baseTitleLabel not movable") << false << false;
        QTest::newRow("drag baseContentWidget") << false << false;
        for (const char* kind : {"QLineEdit", "ZorCategoryComBox", "countLabel", "phoneAsterisk"})
            QTest::newRow(qPrintable(QStringLiteral("errored ") + kind)) << false << false;
    }
    void dialogFrame()
    {
        QFETCH(bool, bCloses);
        QFETCH(bool, bMoves);
        const QString action = QTest::currentDataTag();

        QPointer<TestDialog> dialog = new TestDialog;
        const QString name = action.section(' ', 1, 1); // of the handle or the marked field
        QWidget* field = dialog->edit;
        if (name == "ZorCategoryComBox")
            field = new ZorCategoryComBox(field->parentWidget());
        else if (action.startsWith("errored") && name != "QLineEdit")
            field = new QLabel(field->parentWidget());
        field->setObjectName(name);
        field->setFixedSize(200, 60);
        dialog->bMovable = !action.endsWith("not movable");
        dialog->show();
        const QPoint start = dialog->pos();
        const QPoint delta(37, 25);
        if (action == "close button") {
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("baseCloseButton")),
                              Qt::LeftButton);
        } else if (action.startsWith("drag")) {
            auto* handle = dialog->findChild<QWidget*>(name);
            const QPoint local(10, 10), global = handle->mapToGlobal(local);
            auto send = [&](QEvent::Type type, const QPoint& offset, Qt::MouseButtons buttons) {
                QMouseEvent event(type, local + offset, global + offset, Qt::LeftButton, buttons,
                                  Qt::NoModifier);
                QApplication::sendEvent(handle, &event);
            };
            send(QEvent::MouseButtonPress, {}, Qt::LeftButton);
            send(QEvent::MouseMove, delta / 2, Qt::LeftButton);
            send(QEvent::MouseMove, delta, Qt::LeftButton);
            send(QEvent::MouseButtonRelease, delta, Qt::NoButton);
            // A button held again after the release (pressed elsewhere) drags nothing.
            send(QEvent::MouseMove, 2 * delta, Qt::LeftButton);
        } else if (action.startsWith("errored")) {
            auto* label = qobject_cast<QLabel*>(field);
            // A field shows the mark on its border, a label in its text colour.
            auto isRed = [field, label]() {
                const QColor colour = label ? label->palette().color(QPalette::WindowText)
                                            : field->grab().toImage().pixelColor(0, 30);
                return colour.red() > 200 && colour.green() < 150 && colour.blue() < 150;
            };
            const bool bAlwaysRed = name.endsWith("Asterisk");
            if (bAlwaysRed)
                QCOMPARE(label->text(), QStringLiteral("*"));
            QCOMPARE(isRed(), bAlwaysRed);
            for (bool bErrored : {true, false}) {
                field->setProperty("errored", bErrored);
                UIUtils::UpdateStyle(field);
                QCOMPARE(isRed(), bErrored || bAlwaysRed);
            }
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
};

QTEST_MAIN(tst_ZorBaseUI)
#include "tst_zorbaseui.moc"
