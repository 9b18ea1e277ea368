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
    void scale_data();
    void scale();
    void adaptersNotifiedOnChange();
    void adaptersChangedDuringNotification();
};

void tst_DpiTool::defaultFollowsPrimaryScreen()
{
    const double expected = QGuiApplication::primaryScreen()->logicalDotsPerInch() / 96.0;
    QCOMPARE(DpiTool::GetScaleFactor(), expected);
    DpiTool::SetScaleFactor(3.0);
    DpiTool::SetScaleFactor(-1.0);
    QCOMPARE(DpiTool::GetScaleFactor(), expected);
}

void tst_DpiTool::scale_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("150%") << 1.5 << QSize(532, 34) << QSize(798, 51);
    QTest::newRow("125%, halves round up") << 1.25 << QSize(2, 13) << QSize(3, 16);
    QTest::newRow("175%") << 1.75 << QSize(13, 0) << QSize(23, 0);
    QTest::newRow("200%, negative") << 2.0 << QSize(-5, 7) << QSize(-10, 14);
}

void tst_DpiTool::scale()
{
    QFETCH(double, factor);
    QFETCH(QSize, size);
    QFETCH(QSize, expected);

    DpiTool::SetScaleFactor(factor);
    QCOMPARE(DpiTool::ScaleDefault(size), expected);
    QCOMPARE(QSize(DpiTool::ScaleDefault(size.width()), DpiTool::ScaleDefault(size.height())),
             expected);
}

void tst_DpiTool::adaptersNotifiedOnChange()
{
    DpiTool::SetScaleFactor(1.0);
    CountingAdapter first;
    CountingAdapter unregistered(false);
    {
        // Would be called in freed memory if it stayed registered.
        CountingAdapter gone;
    }

    DpiTool::SetScaleFactor(1.5);
    QCOMPARE(first.calls, 1);
    QCOMPARE(unregistered.calls, 0);
    QCOMPARE(first.seenFactor, 1.5); // the new factor, already in place
    DpiTool::SetScaleFactor(1.5);    // no change
    QCOMPARE(first.calls, 1);
    DpiTool::SetScaleFactor(2.0);
    QCOMPARE(first.calls, 2);
}

void tst_DpiTool::adaptersChangedDuringNotification()
{
    DpiTool::SetScaleFactor(1.0);
    // Whichever of a and b is called first destroys the other; the creator adds one.
    auto a = std::make_unique<CountingAdapter>();
    auto b = std::make_unique<CountingAdapter>();
    a->onAdjust = [&]() { b.reset(); };
    b->onAdjust = [&]() { a.reset(); };
    std::unique_ptr<CountingAdapter> created;
    CountingAdapter creator;
    creator.onAdjust = [&]() {
        if (!created)
            created = std::make_unique<CountingAdapter>();
    };

    DpiTool::SetScaleFactor(1.5);
    QVERIFY(!a != !b);
    QCOMPARE((a ? a : b)->calls, 1);
    QVERIFY(created);
    // Built at the new scale already: not called for the change that created it.
    QCOMPARE(created->calls, 0);
    DpiTool::SetScaleFactor(2.0);
    QCOMPARE(created->calls, 1);
}

QTEST_MAIN(tst_DpiTool)
#include "tst_dpitool.moc"
