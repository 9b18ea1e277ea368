// The module's translation catalogues: each one complete and in step with the sources, and
// the dialog, with a catalogue installed by the host, shown in that language throughout,
// following the host's language changes while it is open.

#include "DialogTestKit.h"
#include "ManualGateway.h"
#include "TestMessageHandler.h"
#include "UploadImageLabel.h"
#include "UploadImageWidget.h"
#include "ZorCategoryComBox.h"
#include "ZorConfigManager.h"
#include "ZorConsultDialog.h"
#include "ZorConsultLogic.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextEdit>
#include <QTranslator>
#include <QXmlStreamReader>

using namespace DialogTestKit;

namespace {

const QString kFix = QStringLiteral(
    "\nTo fix: run the target kivconsult_lupdate (cmake --build <build dir> --target "
    "kivconsult_lupdate), translate every entry it leaves unfinished in %1 (Qt Linguist, or "
    "the <translation> elements by hand), rebuild and commit the catalogue. See "
    "docs/translations.md.");

// The entries of a catalogue that are not ready: unfinished (no translation yet) or no longer
// in the sources (obsolete, vanished), as "kind context: source".
QStringList EntriesNotReady(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QStringList entries;
    QXmlStreamReader xml(&file);
    QString context;
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            QString kind = xml.attributes().value(QStringLiteral("type")).toString();
            if (xml.readElementText().trimmed().isEmpty() && kind.isEmpty())
                kind = QStringLiteral("empty");
            if (!kind.isEmpty())
                entries << QStringLiteral("%1 %2: \"%3\"").arg(kind, context, source);
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return entries;
}

// A text that still shows in English: Latin letters and not one Chinese character.
bool IsUntranslated(const QString& text)
{
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    return text.contains(latin) && !text.contains(han);
}

// Every text the dialog shows or tells assistive technology, as "object.property: text";
// what the user typed and the category names, which come from the service, left out.
QStringList VisibleTexts(QWidget* dialog)
{
    QStringList texts;
    const auto add = [&texts](const QWidget* w, const char* property, const QString& text) {
        if (!text.isEmpty())
            texts << QStringLiteral("%1.%2: %3").arg(w->objectName(), property, text);
    };
    QList<QWidget*> widgets = dialog->findChildren<QWidget*>();
    widgets.prepend(dialog);
    for (QWidget* w : qAsConst(widgets)) {
        if (w->isWindow())
            add(w, "windowTitle", w->windowTitle());
        add(w, "toolTip", w->toolTip());
        add(w, "accessibleName", w->accessibleName());
        add(w, "accessibleDescription", w->accessibleDescription());
        if (const auto* label = qobject_cast<QLabel*>(w))
            add(w, "text", label->text());
        if (const auto* button = qobject_cast<QAbstractButton*>(w))
            add(w, "text", button->text());
        if (const auto* edit = qobject_cast<QTextEdit*>(w))
            add(w, "placeholderText", edit->placeholderText());
        if (const auto* edit = qobject_cast<QLineEdit*>(w))
            add(w, "placeholderText", edit->placeholderText());
    }
    return texts;
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void catalogueIsComplete_data();
    void catalogueIsComplete();
    void dialogShowsNoEnglish_data();
    void dialogShowsNoEnglish();
    void openDialogFollowsLanguage_data();
    void openDialogFollowsLanguage();

private:
    void openDialog(bool bFixed);
    // Installs the module's catalogue for the language as a host does, or removes it (empty),
    // and lets the open windows take the change.
    void useLanguage(const QString& language);

    HostSandbox m_sandbox;
    QScopedPointer<ManualGateway> m_gateway;
    QScopedPointer<QTranslator> m_translator;
    QPointer<ZorConsultDialog> m_dialog;
};

void TestTranslations::initTestCase()
{
    // The catalogues are linked in from a static library, which keeps no unused object.
    Q_INIT_RESOURCE(kivconsult_translations);
    TestMessageHandler::install();
    TestMessageHandler::allow(QRegularExpression(QStringLiteral("^This plugin does not support")));
    QVERIFY(m_sandbox.setUp());
}

void TestTranslations::init()
{
    ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(categories(
        R"([{"businessTypeCode": "10", "businessTypeName": "Cash register", "children": [
              {"businessTypeCode": "101", "businessTypeName": "Printing"}]}])"));
    m_gateway.reset(new ManualGateway);
    IHttpManager::SetInstance(m_gateway.data());
}

void TestTranslations::cleanup()
{
    delete m_dialog;
    useLanguage(QString());
    ZorConsultLogic::ReleaseInstance();
    IHttpManager::SetInstance(nullptr);
}

void TestTranslations::openDialog(bool bFixed)
{
    m_dialog = new ZorConsultDialog(nullptr);
    if (bFixed)
        m_dialog->SetFixedTypeMode();
    m_dialog->InitData();
    m_dialog->show();
}

void TestTranslations::useLanguage(const QString& language)
{
    if (m_translator) {
        QCoreApplication::removeTranslator(m_translator.data());
        m_translator.reset();
    }
    if (!language.isEmpty()) {
        m_translator.reset(new QTranslator);
        QVERIFY2(
            m_translator->load(QStringLiteral(":/translations/kivconsult_%1.qm").arg(language)),
            "the module's library carries no catalogue for this language");
        QCoreApplication::installTranslator(m_translator.data());
    }
    // The application posts the change to its windows.
    QCoreApplication::processEvents();
}

void TestTranslations::catalogueIsComplete_data()
{
    QTest::addColumn<QString>("catalogue");
    const QDir dir(QStringLiteral(KIV_SOURCE_DIR "/translations"));
    const QStringList files = dir.entryList({QStringLiteral("kivconsult_*.ts")}, QDir::Files);
    QVERIFY(files.contains(QStringLiteral("kivconsult_zh_CN.ts")));
    for (const QString& file : files)
        QTest::newRow(qPrintable(file)) << dir.filePath(file);
}

void TestTranslations::catalogueIsComplete()
{
    QFETCH(QString, catalogue);
    const QString fix = kFix.arg(QDir(QStringLiteral(KIV_SOURCE_DIR)).relativeFilePath(catalogue));

    // What lupdate, run as the target runs it, would leave to do in the catalogue: texts new in
    // the sources come out unfinished, texts gone from them vanished.
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString updated = work.filePath(QStringLiteral("catalogue.ts"));
    QVERIFY(QFile::copy(catalogue, updated));
    QProcess lupdate;
    // The same directories as the target kivconsult_lupdate: when changing them, change both.
    lupdate.start(QStringLiteral(KIV_LUPDATE),
                  {QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none"),
                   QStringLiteral(KIV_SOURCE_DIR "/KivConsult"),
                   QStringLiteral(KIV_SOURCE_DIR "/host"), QStringLiteral("-ts"), updated});
    QVERIFY2(lupdate.waitForFinished(60000), qPrintable(lupdate.errorString()));
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0,
             lupdate.readAllStandardError().constData());

    QString error;
    const QStringList notReady = EntriesNotReady(updated, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY2(notReady.isEmpty(), qPrintable(QStringLiteral("%1 entries are not ready:\n  %2%3")
                                                .arg(notReady.size())
                                                .arg(notReady.join(QStringLiteral("\n  ")), fix)));
}

void TestTranslations::dialogShowsNoEnglish_data()
{
    // "refused": Submit pressed on an empty form, a toast shows; "submitting": an image on its
    // way to a service that holds it.
    QTest::addColumn<QString>("state");
    QTest::newRow("categories shown") << "";
    QTest::newRow("fixed category, refused submit") << "fixed, refused";
    QTest::newRow("submitting, uploading a thumbnail") << "submitting";
}

void TestTranslations::dialogShowsNoEnglish()
{
    QFETCH(QString, state);

    LocalUploadServer server;
    QVERIFY(server.start());
    server.hold = true;
    ZorConfigManager::Instance()->SetValue("image", "upload_url", server.uploadUrl());
    useLanguage(QStringLiteral("zh_CN"));
    openDialog(state.startsWith(QLatin1String("fixed")));
    if (state == QLatin1String("submitting")) {
        m_dialog->findChild<ZorCategoryComBox*>()->SetCurrentId(QStringLiteral("10"),
                                                                QStringLiteral("101"));
        m_dialog->findChild<QTextEdit*>()->setPlainText(QStringLiteral("Printer jams"));
        m_dialog->findChild<QLineEdit*>(QStringLiteral("phoneEdit"))
            ->setText(QStringLiteral("13812345678"));
        m_dialog->findChild<UploadImageWidget*>()->AddImage(
            false, savePicture(m_sandbox.path(QStringLiteral("jam.png")), QSize(40, 30)));
        QTRY_VERIFY(m_dialog->findChild<UploadImageLabel*>()->isVisible());
    }
    if (!state.isEmpty())
        m_dialog->findChild<QPushButton*>(QStringLiteral("submitButton"))->click();
    if (state == QLatin1String("submitting"))
        QVERIFY(m_dialog->findChild<UploadImageLabel*>()->IsUploading());

    const QStringList texts = VisibleTexts(m_dialog);
    QStringList english;
    for (const QString& text : texts) {
        // The content widget's name is no text anyone reads.
        if (IsUntranslated(text.section(QStringLiteral(": "), 1)) &&
            !text.startsWith(QLatin1String("baseContentWidget.windowTitle")))
            english << text;
    }
    QVERIFY(texts.size() > 10);
    QVERIFY2(english.isEmpty(),
             qPrintable(QStringLiteral("shown in English in zh_CN:\n  %1%2")
                            .arg(english.join(QStringLiteral("\n  ")),
                                 kFix.arg(QStringLiteral("translations/kivconsult_zh_CN.ts")))));
    ZorConfigManager::Instance()->RemoveValue("image", "upload_url");
}

void TestTranslations::openDialogFollowsLanguage_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");

    const QString dialog = QStringLiteral("ZorConsultDialog");
    QTest::newRow("title") << "baseTitleLabel" << QByteArray("text") << dialog
                           << "Problem FeedBack";
    QTest::newRow("label") << "typeLabel" << QByteArray("text") << dialog << "Problem categroy:";
    QTest::newRow("button") << "recordButton" << QByteArray("text") << dialog
                            << "Historical feedback record";
    QTest::newRow("description placeholder")
        << "textEdit" << QByteArray("placeholderText") << dialog
        << "Please describe the problems you encounter in detail, so as to quickly locate and "
           "solve them";
    QTest::newRow("telephone placeholder") << "phoneEdit" << QByteArray("placeholderText") << dialog
                                           << "Please enter your telephone number";
    const QString tip =
        "Upload a maximum of 5 files in JPG/PNG format and the size of the image is within 2M";
    QTest::newRow("tip") << "imgtipLabel" << QByteArray("text") << dialog << tip;
    QTest::newRow("tip's tool tip") << "imgtipLabel" << QByteArray("toolTip") << dialog << tip;
    QTest::newRow("capture button")
        << "captureWidget/textLabel" << QByteArray("text") << dialog << "Capture";
    QTest::newRow("frame's close button")
        << "baseCloseButton" << QByteArray("toolTip") << "ZorBaseDialog"
        << "Close";
}

void TestTranslations::openDialogFollowsLanguage()
{
    QFETCH(QString, object);
    QFETCH(QByteArray, property);
    QFETCH(QString, context);
    QFETCH(QString, source);

    openDialog(false);
    auto* edit = m_dialog->findChild<QTextEdit*>(QStringLiteral("textEdit"));
    edit->setPlainText(QStringLiteral("abc"));
    // "parent/child": the child of that name inside the named parent.
    QWidget* widget = m_dialog;
    for (const QString& name : object.split(QLatin1Char('/')))
        widget = widget ? widget->findChild<QWidget*>(name) : nullptr;
    QVERIFY(widget);
    const auto shown = [widget, property]() { return widget->property(property).toString(); };
    QCOMPARE(shown(), source);

    useLanguage(QStringLiteral("zh_CN"));
    const QString translated =
        QCoreApplication::translate(context.toLatin1(), source.toUtf8().constData());
    QVERIFY(translated != source);
    QCOMPARE(shown(), translated);
    // What the user entered stays, and the counter still counts it.
    QCOMPARE(edit->toPlainText(), QStringLiteral("abc"));
    QCOMPARE(m_dialog->findChild<QLabel*>(QStringLiteral("countLabel"))->text(),
             QStringLiteral("3/250"));

    useLanguage(QString());
    QCOMPARE(shown(), source);
}

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
