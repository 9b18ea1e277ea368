// Design sizes at the screen scale, and the adapters that follow a change of scale.

#include "DpiTool.h"
#include "IDpiAdapter.h"
#include "TestMessageHandler.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <functional>
#include <memory>

namespace {

class CountingAdapter : public IDpiAdapter
{
public:
    explicit CountingAdapter(bool bRegister = true) : IDpiAdapter(bRegister) {}

    void AdjustForDpi() override
    {
        ++calls;
        seenFactor = DpiTool::GetScaleFactor();
        if (onAdjust)
            onAdjust();
    }

    int calls = 0;
    double seenFactor = 0.0;
    std::function<void()> onAdjust;
};

} // namespace

class tst_DpiTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestMessageHandler::install(); }
    void cleanup() { DpiTool::SetScaleFactor(0); }

    void defaultFollowsPrimaryScreen();
    void scaleInt_data();
    void scaleInt();
    void scaleSize_data();
    void scaleSize();
    void adaptersNotifiedOnChange();
    void adapterDestroyedBeforeChange();
    void adapterDestroyedDuringNotification();
    void adapterCreatedDuringNotification();
};

void tst_DpiTool::defaultFollowsPrimaryScreen()
{
    const double expected = QGuiApplication::primaryScreen()->logicalDotsPerInch() / 96.0;
    QCOMPARE(DpiTool::GetScaleFactor(), expected);
    DpiTool::SetScaleFactor(3.0);
    DpiTool::SetScaleFactor(-1.0);
    QCOMPARE(DpiTool::GetScaleFactor(), expected);
}

void tst_DpiTool::scaleInt_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("100%") << 1.0 << 64 << 64;
    QTest::newRow("150%") << 1.5 << 64 << 96;
    QTest::newRow("125% rounds half up") << 1.25 << 2 << 3;
    QTest::newRow("125% rounds down") << 1.25 << 13 << 16;
    QTest::newRow("175% rounds up") << 1.75 << 13 << 23;
    QTest::newRow("200% zero") << 2.0 << 0 << 0;
    QTest::newRow("200% negative") << 2.0 << -5 << -10;
}

void tst_DpiTool::scaleInt()
{
    QFETCH(double, factor);
    QFETCH(int, value);
    QFETCH(int, expected);

    DpiTool::SetScaleFactor(factor);
    QCOMPARE(DpiTool::ScaleDefault(value), expected);
}

void tst_DpiTool::scaleSize_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("100%") << 1.0 << QSize(64, 64) << QSize(64, 64);
    QTest::newRow("150%, each side") << 1.5 << QSize(532, 34) << QSize(798, 51);
    QTest::newRow("125%, rounded per side") << 1.25 << QSize(2, 13) << QSize(3, 16);
}

void tst_DpiTool::scaleSize()
{
    QFETCH(double, factor);
    QFETCH(QSize, size);
    QFETCH(QSize, expected);

    DpiTool::SetScaleFactor(factor);
    QCOMPARE(DpiTool::ScaleDefault(size), expected);
}

void tst_DpiTool::adaptersNotifiedOnChange()
{
    DpiTool::SetScaleFactor(1.0);
    CountingAdapter first;
    CountingAdapter second;
    CountingAdapter unregistered(false);

    DpiTool::SetScaleFactor(1.5);
    QCOMPARE(first.calls, 1);
    QCOMPARE(second.calls, 1);
    QCOMPARE(unregistered.calls, 0);
    // Adapters see the new factor when they are called.
    QCOMPARE(first.seenFactor, 1.5);

    // The same factor again is no change.
    DpiTool::SetScaleFactor(1.5);
    QCOMPARE(first.calls, 1);

    DpiTool::SetScaleFactor(2.0);
    QCOMPARE(first.calls, 2);
    QCOMPARE(second.calls, 2);
}

void tst_DpiTool::adapterDestroyedBeforeChange()
{
    DpiTool::SetScaleFactor(1.0);
    CountingAdapter survivor;
    auto gone = std::make_unique<CountingAdapter>();
    gone.reset();

    // Would call into freed memory if the destroyed adapter were still registered.
    DpiTool::SetScaleFactor(1.25);
    QCOMPARE(survivor.calls, 1);
}

void tst_DpiTool::adapterDestroyedDuringNotification()
{
    DpiTool::SetScaleFactor(1.0);
    // Whichever of the two is called first destroys the other.
    auto a = std::make_unique<CountingAdapter>();
    auto b = std::make_unique<CountingAdapter>();
    int calls = 0;
    a->onAdjust = [&]() {
        ++calls;
        b.reset();
    };
    b->onAdjust = [&]() {
        ++calls;
        a.reset();
    };

    DpiTool::SetScaleFactor(1.5);
    QCOMPARE(calls, 1);
    QVERIFY(!a != !b);
}

void tst_DpiTool::adapterCreatedDuringNotification()
{
    DpiTool::SetScaleFactor(1.0);
    std::unique_ptr<CountingAdapter> created;
    CountingAdapter creator;
    creator.onAdjust = [&]() {
        if (!created)
            created = std::make_unique<CountingAdapter>();
    };

    DpiTool::SetScaleFactor(1.5);
    QVERIFY(created);
    // Built at the new scale already: not called for the change that created it.
    QCOMPARE(created->calls, 0);

    DpiTool::SetScaleFactor(2.0);
    QCOMPARE(created->calls, 1);
}

QTEST_MAIN(tst_DpiTool)
#include "tst_dpitool.moc"
