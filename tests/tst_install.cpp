// The installed packages as a host's build sees them: the build installed to a temporary
// prefix, the package versions a host may ask for, the minimal host example built against
// the prefix and run offscreen, and the installed programs started from the prefix.
#include "TestMessageHandler.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kStepTimeoutMs = 180000;

struct Outcome
{
    bool finished = false;
    int exitCode = -1;
    QString output;
};

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void packageVersion_data();
    void packageVersion();
    void minimalHostShowsTheDialog();
    void installedProgramsStart_data();
    void installedProgramsStart();
    void onlyTheFacadeHeadersAreInstalled();

private:
    // Runs a program to its end with the prefix's programs isolated from the build tree.
    Outcome Run(const QString& program, const QStringList& arguments) const;
    // Configures a CMake project against the installed prefix.
    Outcome Configure(const QString& source, const QString& binary, const QStringList& extra) const;

    QTemporaryDir m_dir;
    QString m_prefix;
};

Outcome TestInstall::Run(const QString& program, const QStringList& arguments) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Libraries must come from the prefix through the programs' own search paths.
    env.remove(QStringLiteral("LD_LIBRARY_PATH"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(m_dir.path());
    process.start(program, arguments);
    Outcome outcome;
    outcome.finished = process.waitForFinished(kStepTimeoutMs);
    if (!outcome.finished)
        process.kill();
    process.waitForFinished();
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.output = QString::fromLocal8Bit(process.readAll());
    return outcome;
}

Outcome TestInstall::Configure(const QString& source, const QString& binary,
                               const QStringList& extra) const
{
    QStringList arguments{QStringLiteral("-S"),
                          source,
                          QStringLiteral("-B"),
                          binary,
                          QStringLiteral("-DCMAKE_PREFIX_PATH=") + m_prefix,
                          QStringLiteral("-DQt5_DIR=" KIV_QT5_DIR)};
    return Run(QStringLiteral(KIV_CMAKE_COMMAND), arguments + extra);
}

void TestInstall::initTestCase()
{
    TestMessageHandler::install();
    QVERIFY(m_dir.isValid());
    m_prefix = m_dir.filePath(QStringLiteral("prefix"));
    const Outcome install = Run(QStringLiteral(KIV_CMAKE_COMMAND),
                                {QStringLiteral("--install"), QStringLiteral(KIV_BUILD_DIR),
                                 QStringLiteral("--prefix"), m_prefix});
    QVERIFY2(install.finished && install.exitCode == 0, qPrintable(install.output));
}

void TestInstall::packageVersion_data()
{
    QTest::addColumn<QString>("requested");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("exact") << QStringLiteral("1.0.0") << true;
    QTest::newRow("major and minor") << QStringLiteral("1.0") << true;
    QTest::newRow("major only") << QStringLiteral("1") << true;
    QTest::newRow("any version") << QString() << true;
    QTest::newRow("newer minor") << QStringLiteral("1.1") << false;
    QTest::newRow("older major") << QStringLiteral("0.9") << false;
    QTest::newRow("newer major") << QStringLiteral("2.0") << false;
}

void TestInstall::packageVersion()
{
    QFETCH(QString, requested);
    QFETCH(bool, accepted);

    const QString binary = m_dir.filePath(QStringLiteral("probe-") + QTest::currentDataTag());
    const Outcome probe = Configure(QStringLiteral(KIV_SOURCE_DIR "/tests/package-probe"), binary,
                                    {QStringLiteral("-DKIV_REQUESTED_VERSION=") + requested});
    QVERIFY(probe.finished);
    QVERIFY2((probe.exitCode == 0) == accepted, qPrintable(probe.output));
    if (!accepted)
        QVERIFY2(probe.output.contains(QStringLiteral("version: 1.0.0")), qPrintable(probe.output));
}

void TestInstall::minimalHostShowsTheDialog()
{
    const QString binary = m_dir.filePath(QStringLiteral("minimal-host"));
    QStringList options{QStringLiteral("-DCMAKE_BUILD_TYPE=" KIV_BUILD_TYPE),
                        QStringLiteral("-DCMAKE_CXX_COMPILER=" KIV_CXX_COMPILER),
                        QStringLiteral("-DCMAKE_CXX_COMPILER_LAUNCHER=" KIV_CXX_LAUNCHER)};
    // A host links the module built with sanitizers only when it carries their runtime too.
    if (!QByteArray(KIV_SANITIZE_FLAGS).isEmpty())
        options << QStringLiteral("-DCMAKE_CXX_FLAGS=" KIV_SANITIZE_FLAGS)
                << QStringLiteral("-DCMAKE_EXE_LINKER_FLAGS=" KIV_SANITIZE_FLAGS);
    const Outcome configure =
        Configure(QStringLiteral(KIV_SOURCE_DIR "/examples/minimal-host"), binary, options);
    QVERIFY2(configure.finished && configure.exitCode == 0, qPrintable(configure.output));
    const Outcome build =
        Run(QStringLiteral(KIV_CMAKE_COMMAND), {QStringLiteral("--build"), binary});
    QVERIFY2(build.finished && build.exitCode == 0, qPrintable(build.output));

    const Outcome host =
        Run(QDir(binary).filePath(QStringLiteral("minimal-host")), {QStringLiteral("--check")});
    QVERIFY(host.finished);
    QVERIFY2(host.exitCode == 0, qPrintable(host.output));
    QVERIFY2(host.output.contains(QStringLiteral("feedback dialog shown")),
             qPrintable(host.output));
}

void TestInstall::installedProgramsStart_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("expected");

    // The host loads the module and the host libraries; the service and the capture program
    // sit beside it, where the host starts them from.
    QTest::newRow("feedback-host") << QStringLiteral("feedback-host") << QStringLiteral("--script");
    QTest::newRow("advisory-server")
        << QStringLiteral("advisory-server") << QStringLiteral("usage: advisory-server");
    QTest::newRow("capture program")
        << QStringLiteral("PalScreenShotExecutor.exe") << QStringLiteral("--region");
}

void TestInstall::installedProgramsStart()
{
    QFETCH(QString, program);
    QFETCH(QString, expected);

    const Outcome run =
        Run(QDir(m_prefix).filePath(QStringLiteral("bin/") + program), {QStringLiteral("--help")});
    QVERIFY(run.finished);
    QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    QVERIFY2(run.output.contains(expected), qPrintable(run.output));
}

void TestInstall::onlyTheFacadeHeadersAreInstalled()
{
    const QDir headers(QDir(m_prefix).filePath(QStringLiteral("include/KivConsult")));
    QCOMPARE(headers.entryList(QDir::Files, QDir::Name),
             QStringList({QStringLiteral("KivConsult.h"), QStringLiteral("KivConsultExport.h")}));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
