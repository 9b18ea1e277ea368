#include "HostWindow.h"

#include "HostLanguage.h"
#include "HostSetup.h"
#include "ZorSkin.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTime>
#include <QUrl>
#include <QVBoxLayout>

HostWindow::HostWindow(const MerchantFacts& facts, const QString& browserVersion, bool bOpenPages,
                       HostLanguage* language, QWidget* parent)
    : QWidget(parent), m_bOpenPages(bOpenPages)
{
    setObjectName(QStringLiteral("feedbackHostWindow"));
    setWindowTitle(tr("Merchant client (feedback demo)"));

    auto* rootLayout = new QVBoxLayout(this);
    m_menuBar = new QMenuBar(this);
    m_menuBar->setObjectName(QStringLiteral("hostMenuBar"));
    rootLayout->setMenuBar(m_menuBar);
    AddLanguageMenu(language);
    AddSkinMenu();

    auto* merchantBox = new QGroupBox(tr("Merchant session"), this);
    auto* merchantLayout = new QFormLayout(merchantBox);
    m_venderIdEdit = new QLineEdit(QString::number(facts.venderId), merchantBox);
    m_venderIdEdit->setObjectName(QStringLiteral("venderIdEdit"));
    m_venderIdEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("-?[0-9]{1,18}")), m_venderIdEdit));
    m_pinEdit = new QLineEdit(facts.pin, merchantBox);
    m_pinEdit->setObjectName(QStringLiteral("pinEdit"));
    m_appVersionEdit = new QLineEdit(facts.appVersion, merchantBox);
    m_appVersionEdit->setObjectName(QStringLiteral("appVersionEdit"));
    m_clientIpEdit = new QLineEdit(facts.clientIp, merchantBox);
    m_clientIpEdit->setObjectName(QStringLiteral("clientIpEdit"));
    m_deviceIdEdit = new QLineEdit(facts.deviceId, merchantBox);
    m_deviceIdEdit->setObjectName(QStringLiteral("deviceIdEdit"));
    m_browserVersionEdit = new QLineEdit(browserVersion, merchantBox);
    m_browserVersionEdit->setObjectName(QStringLiteral("browserVersionEdit"));
    merchantLayout->addRow(tr("Vender id:"), m_venderIdEdit);
    merchantLayout->addRow(tr("Pin:"), m_pinEdit);
    merchantLayout->addRow(tr("App version:"), m_appVersionEdit);
    merchantLayout->addRow(tr("Client address:"), m_clientIpEdit);
    merchantLayout->addRow(tr("Device id:"), m_deviceIdEdit);
    merchantLayout->addRow(tr("Browser version:"), m_browserVersionEdit);
    rootLayout->addWidget(merchantBox);

    auto* buttonLayout = new QHBoxLayout;
    m_reportButton = new QPushButton(tr("Report a problem"), this);
    m_reportButton->setObjectName(QStringLiteral("reportButton"));
    m_reportButton->setToolTip(tr("Feedback dialog with the service's categories (source 0)"));
    auto* loginButton = new QPushButton(tr("Login problem"), this);
    loginButton->setObjectName(QStringLiteral("loginProblemButton"));
    loginButton->setToolTip(tr("Feedback dialog with the fixed login categories (source 1)"));
    auto* otherButton = new QPushButton(tr("Other problem"), this);
    otherButton->setObjectName(QStringLiteral("otherProblemButton"));
    otherButton->setToolTip(tr("Feedback dialog with the fixed other categories (source 2)"));
    auto* prefetchButton = new QPushButton(tr("Prefetch categories"), this);
    prefetchButton->setObjectName(QStringLiteral("prefetchButton"));
    buttonLayout->addWidget(m_reportButton);
    buttonLayout->addWidget(loginButton);
    buttonLayout->addWidget(otherButton);
    buttonLayout->addStretch();
    buttonLayout->addWidget(prefetchButton);
    rootLayout->addLayout(buttonLayout);

    rootLayout->addWidget(new QLabel(tr("Submitted feedback:"), this));
    m_feedbackList = new QListWidget(this);
    m_feedbackList->setObjectName(QStringLiteral("feedbackList"));
    rootLayout->addWidget(m_feedbackList);
    rootLayout->addWidget(new QLabel(tr("History pages opened:"), this));
    m_recordUrlList = new QListWidget(this);
    m_recordUrlList->setObjectName(QStringLiteral("recordUrlList"));
    // A few lines are enough: the pages themselves open in the browser.
    m_recordUrlList->setMaximumHeight(m_recordUrlList->fontMetrics().lineSpacing() * 4 +
                                      2 * m_recordUrlList->frameWidth() + 8);
    rootLayout->addWidget(m_recordUrlList);

    m_serviceLabel = new QLabel(this);
    m_serviceLabel->setObjectName(QStringLiteral("serviceLabel"));
    m_serviceLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_serviceLabel->setWordWrap(true);
    rootLayout->addWidget(m_serviceLabel);

    for (QLineEdit* edit :
         {m_venderIdEdit, m_pinEdit, m_appVersionEdit, m_clientIpEdit, m_deviceIdEdit})
        connect(edit, &QLineEdit::textChanged, this, &HostWindow::SlotFactsEdited);
    connect(m_reportButton, &QPushButton::clicked, this,
            [this] { ShowFeedbackDialog(KivConsult::SourceDefault); });
    connect(loginButton, &QPushButton::clicked, this,
            [this] { ShowFeedbackDialog(KivConsult::SourceLoginProblem); });
    connect(otherButton, &QPushButton::clicked, this,
            [this] { ShowFeedbackDialog(KivConsult::SourceOtherProblem); });
    connect(prefetchButton, &QPushButton::clicked, this,
            [] { KivConsult::Instance()->RequestBusinessType(); });

    KivConsult* module = KivConsult::Instance();
    connect(module, &KivConsult::SigSubmitSuccess, this, &HostWindow::SlotSubmitSuccess);
    connect(module, &KivConsult::SigOpenRecordUrl, this, &HostWindow::SlotOpenRecordUrl);

    HostSetup::ApplyMerchantFacts(GetFacts());
    resize(560, 480);
}

void HostWindow::SetServiceDescription(const QString& text)
{
    m_serviceLabel->setText(text);
}

MerchantFacts HostWindow::GetFacts() const
{
    MerchantFacts facts;
    facts.venderId = m_venderIdEdit->text().toLongLong();
    facts.pin = m_pinEdit->text();
    facts.appVersion = m_appVersionEdit->text();
    facts.clientIp = m_clientIpEdit->text();
    facts.deviceId = m_deviceIdEdit->text();
    return facts;
}

QString HostWindow::GetBrowserVersion() const
{
    return m_browserVersionEdit->text();
}

void HostWindow::closeEvent(QCloseEvent* event)
{
    // The feedback dialog is a window of its own; closing the client ends the session.
    event->accept();
    qApp->quit();
}

void HostWindow::SlotFactsEdited()
{
    HostSetup::ApplyMerchantFacts(GetFacts());
}

void HostWindow::SlotSubmitSuccess(const QString& feedbackId)
{
    m_feedbackList->addItem(
        tr("%1  feedback id %2")
            .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), feedbackId));
    m_feedbackList->scrollToBottom();
    emit SigFeedbackIdListed(feedbackId);
}

void HostWindow::SlotOpenRecordUrl(const QString& url)
{
    m_recordUrlList->addItem(url);
    m_recordUrlList->scrollToBottom();
    if (m_bOpenPages)
        QDesktopServices::openUrl(QUrl(url));
    emit SigRecordUrlListed(url);
}

void HostWindow::AddLanguageMenu(HostLanguage* language)
{
    QMenu* menu = m_menuBar->addMenu(tr("&Language"));
    menu->setObjectName(QStringLiteral("languageMenu"));
    auto* group = new QActionGroup(menu);
    // Each language is named in itself, so that whoever reads it finds their own.
    const auto addLanguage = [&](const QString& code, const QString& name) {
        QAction* action = menu->addAction(name);
        action->setObjectName(QStringLiteral("language_") + code);
        action->setCheckable(true);
        action->setChecked(code == language->Current() ||
                           (code == QLatin1String("en") && language->Current().isEmpty()));
        group->addAction(action);
        connect(action, &QAction::triggered, language, [language, code]() { language->Use(code); });
    };
    addLanguage(QStringLiteral("en"), QStringLiteral("English"));
    for (const QString& code : HostLanguage::Available()) {
        const QLocale locale(code);
        addLanguage(code, QStringLiteral("%1 (%2)").arg(locale.nativeLanguageName(),
                                                        locale.nativeCountryName()));
    }
}

void HostWindow::AddSkinMenu()
{
    QMenu* menu = m_menuBar->addMenu(tr("&Skin"));
    menu->setObjectName(QStringLiteral("skinMenu"));
    auto* group = new QActionGroup(menu);
    const QMap<QString, QString> titles{{QStringLiteral("light"), tr("&Light")},
                                        {QStringLiteral("dark"), tr("&Dark")}};
    for (const QString& skin : ZorSkin::SkinNames()) {
        QAction* action = menu->addAction(titles.value(skin, skin));
        action->setObjectName(skin + QStringLiteral("SkinAction"));
        action->setCheckable(true);
        action->setChecked(skin == ZorSkin::CurrentSkin());
        group->addAction(action);
        // The host's skin broadcast: every open window, the feedback dialog included.
        connect(action, &QAction::triggered, this, [skin]() { ZorSkin::ChangeSkin(skin); });
        connect(ZorSkin::Instance(), &ZorSkin::SigSkinChanged, action,
                [action, skin](const QString& current) { action->setChecked(current == skin); });
    }
}

void HostWindow::ShowFeedbackDialog(KivConsult::ConsultSourceType sourceType)
{
    KivConsult::Instance()->ShowFeedbackDlg(this, sourceType, GetBrowserVersion());
}
