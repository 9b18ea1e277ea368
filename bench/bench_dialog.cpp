// Opening the feedback dialog, from construction until it has painted on screen: cold (the
// first dialog of a fresh process) and warm (a later one), against a bare QDialog with a
// similar widget tree, the same object names and the same style sheet, installed the same
// way. Every figure comes from child processes, so that neither dialog's set-up (style
// sheet, icons, fonts) serves the other.

#include "BenchSupport.h"
#include "UIUtils.h"
#include "ZorConsultDialog.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>

using namespace Bench;

namespace {

QLabel* Label(QWidget* parent, const char* name, const QString& text, QGridLayout* grid, int row,
              int column)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    if (grid)
        grid->addWidget(label, row, column);
    return label;
}

QWidget* IconButton(QWidget* parent, const char* name, const QString& icon, const QString& text)
{
    auto* button = new QWidget(parent);
    button->setObjectName(QString::fromLatin1(name));
    auto* layout = new QHBoxLayout(button);
    auto* iconLabel = new QLabel(button);
    iconLabel->setObjectName(QStringLiteral("iconLabel"));
    iconLabel->setPixmap(QIcon(icon).pixmap(16, 16));
    auto* textLabel = new QLabel(text, button);
    textLabel->setObjectName(QStringLiteral("textLabel"));
    layout->addWidget(iconLabel);
    layout->addWidget(textLabel);
    return button;
}

// The reference: the feedback dialog's tree of stock widgets, with its object names and
// texts, its frameless window and the same style sheet, and no behaviour.
QWidget* BareDialog()
{
    auto* dialog =
        new QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowCloseButtonHint);
    dialog->setAttribute(Qt::WA_StyledBackground);
    auto* root = new QVBoxLayout(dialog);
    auto* title = new QWidget(dialog);
    title->setObjectName(QStringLiteral("baseTitleBar"));
    auto* titleLayout = new QHBoxLayout(title);
    titleLayout->addWidget(
        Label(title, "baseTitleLabel", QStringLiteral("Problem FeedBack"), nullptr, 0, 0), 1);
    auto* close = new QPushButton(title);
    close->setObjectName(QStringLiteral("baseCloseButton"));
    titleLayout->addWidget(close);
    root->addWidget(title);

    auto* content = new QWidget(dialog);
    content->setObjectName(QStringLiteral("baseContentWidget"));
    root->addWidget(content, 1);
    auto* grid = new QGridLayout(content);
    Label(content, "typeAsterisk", QString(), grid, 0, 0);
    Label(content, "typeLabel", QStringLiteral("Problem categroy:"), grid, 0, 1);
    auto* type = new QLineEdit(content);
    type->setObjectName(QStringLiteral("typeEdit"));
    type->setReadOnly(true);
    type->addAction(QIcon(QStringLiteral(":/zorbaseui/images/arrow_down.png")),
                    QLineEdit::TrailingPosition);
    auto* popup = new QFrame(type, Qt::Popup);
    popup->setObjectName(QStringLiteral("categoryPopup"));
    auto* popupLayout = new QHBoxLayout(popup);
    for (const char* name : {"firstLevelList", "secondLevelList"}) {
        auto* list = new QListWidget(popup);
        list->setObjectName(QString::fromLatin1(name));
        popupLayout->addWidget(list);
    }
    grid->addWidget(type, 0, 2);

    Label(content, "detailAsterisk", QString(), grid, 2, 0);
    Label(content, "detailLabel", QStringLiteral("Problem description:"), grid, 2, 1);
    auto* detail = new QVBoxLayout();
    auto* text = new QTextEdit(content);
    text->setObjectName(QStringLiteral("textEdit"));
    text->setPlaceholderText(QStringLiteral("Please describe the problems you encounter"));
    detail->addWidget(text);
    detail->addWidget(Label(content, "countLabel", QStringLiteral("0/250"), nullptr, 0, 0));
    grid->addLayout(detail, 2, 2);

    Label(content, "uploadLabel", QStringLiteral("Upload image:"), grid, 3, 1);
    auto* upload = new QWidget(content);
    upload->setObjectName(QStringLiteral("uploadImageWidget"));
    auto* uploadLayout = new QVBoxLayout(upload);
    auto* operation = new QHBoxLayout();
    operation->addWidget(IconButton(upload, "uploadWidget",
                                    QStringLiteral(":/zorbaseui/images/upload.png"),
                                    QStringLiteral("Upload")));
    operation->addWidget(IconButton(upload, "captureWidget",
                                    QStringLiteral(":/zorbaseui/images/capture.png"),
                                    QStringLiteral("Capture")));
    operation->addWidget(Label(upload, "imgtipLabel",
                               QStringLiteral("Upload a maximum of 5 files in JPG/PNG format"),
                               nullptr, 0, 0));
    uploadLayout->addLayout(operation);
    auto* strip = new QWidget(upload);
    new QHBoxLayout(strip);
    strip->hide();
    uploadLayout->addWidget(strip);
    grid->addWidget(upload, 3, 2);

    Label(content, "phoneAsterisk", QString(), grid, 4, 0);
    Label(content, "phoneLabel", QStringLiteral("Telephone number:"), grid, 4, 1);
    auto* phone = new QLineEdit(content);
    phone->setObjectName(QStringLiteral("phoneEdit"));
    grid->addWidget(phone, 4, 2);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    const QList<QPair<QString, QString>> pushButtons = {
        {QStringLiteral("recordButton"), QStringLiteral("Historical feedback record")},
        {QStringLiteral("submitButton"), QStringLiteral("Submit")},
        {QStringLiteral("cancelButton"), QStringLiteral("Cancel")}};
    for (const auto& button : pushButtons) {
        auto* push = new QPushButton(button.second, content);
        push->setObjectName(button.first);
        buttons->addWidget(push);
    }
    grid->addLayout(buttons, 5, 2);

    // Installed once per process on the application, as the host's look is.
    const QString sheet = UIUtils::DefaultStyleSheet();
    if (qApp->styleSheet() != sheet)
        qApp->setStyleSheet(sheet);
    dialog->resize(600, 480);
    return dialog;
}

QWidget* ProjectDialog()
{
    // As the facade opens it, without asking the service for categories.
    auto* dialog = new ZorConsultDialog(nullptr);
    dialog->SetBrowserVersion(QStringLiteral("bench"));
    dialog->InitData();
    return dialog;
}

// Ends a wait once the window has painted.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QEventLoop* loop) : m_loop(loop) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        // The rest of the window paints in the same pass; the wait ends after it.
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, m_loop, &QEventLoop::quit);
        return false;
    }

private:
    QEventLoop* m_loop;
};

// Milliseconds from the start of construction until the window has painted; the window is
// destroyed afterwards.
double OpenMs(QWidget* (*make)())
{
    QEventLoop loop;
    PaintWatch watch(&loop);
    QElapsedTimer clock;
    clock.start();
    QWidget* window = make();
    window->installEventFilter(&watch);
    window->show();
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    const double ms = clock.nsecsElapsed() / 1e6;
    delete window;
    QApplication::processEvents();
    return ms;
}

} // namespace

int main(int argc, char* argv[])
{
    UseOffscreenPlatformByDefault();
    QApplication app(argc, argv);
    HostFiles host;
    if (!host.IsValid())
        return 1;
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("--child")) {
        QWidget* (*make)() = args.at(3) == QLatin1String("project") ? &ProjectDialog : &BareDialog;
        if (args.at(2) == QLatin1String("cold")) {
            PrintResult(OpenMs(make));
            return 0;
        }
        OpenMs(make);
        QVector<double> times;
        for (int run = 0; run < kRuns; ++run)
            times.append(OpenMs(make));
        PrintResult(Median(times));
        return 0;
    }

    std::printf("Dialog open to first paint (median of %d runs; cold: a fresh process each; "
                "warm: the median of %d later dialogs in a process, in %d processes)\n",
                kRuns, kRuns, kRuns);
    for (const QString& mode : {QStringLiteral("cold"), QStringLiteral("warm")}) {
        QVector<double> project;
        QVector<double> bare;
        for (int run = 0; run < kRuns; ++run) {
            // Alternating, so that a change in the machine's load falls on both alike.
            project.append(RunChild({QStringLiteral("--child"), mode, QStringLiteral("project")}));
            bare.append(RunChild({QStringLiteral("--child"), mode, QStringLiteral("bare")}));
            if (std::isnan(project.last()) || std::isnan(bare.last()))
                return 1;
        }
        Report(QStringLiteral("dialog open, ") + mode, Median(project), Median(bare),
               QStringLiteral("ms"), mode == QLatin1String("cold") ? 1.5 : 0.0,
               QStringLiteral("bare QDialog"));
    }
    return 0;
}
