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
        if (onAdjust)
            onAdjust();
    }

    int calls = 0;
    std::function<void()> onAdjust;
};

} // namespace

class tst_DpiTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestMessageHandler::install(); }
    void cleanup() { DpiTool::SetScaleFactor(0); }

    void scale_data();
    void scale();
    void adapters();
};

void tst_DpiTool::scale_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("125%, halves round up") << 1.25 << QSize(2, 13) << QSize(3, 16);
    QTest::newRow("200%, negative") << 2.0 << QSize(-5, 7) << QSize(-10, 14);
    const double screen = QGuiApplication::primaryScreen()->logicalDotsPerInch() / 96.0;
    QTest::newRow("negative factor, the screen's")
        << -1.0 << QSize(100, 10) << QSize(qRound(100 * screen), qRound(10 * screen));
}

void tst_DpiTool::scale()
{
    QFETCH(double, factor);
    QFETCH(QSize, size);
    QFETCH(QSize, expected);

    DpiTool::SetScaleFactor(3.0);
    DpiTool::SetScaleFactor(factor);
    QCOMPARE(DpiTool::ScaleDefault(size), expected);
    QCOMPARE(QSize(DpiTool::ScaleDefault(size.width()), DpiTool::ScaleDefault(size.height())),
             expected);
}

void tst_DpiTool::adapters()
{
    DpiTool::SetScaleFactor(1.0);
    CountingAdapter unregistered(false);
    CountingAdapter(); // gone at once: would be called in freed memory if it stayed registered
    // Whichever of a and b is called first destroys the other; the creator adds one.
    auto a = std::make_unique<CountingAdapter>();
    auto b = std::make_unique<CountingAdapter>();
    a->onAdjust = [&]() { b.reset(); };
    b->onAdjust = [&]() { a.reset(); };
    std::unique_ptr<CountingAdapter> created;
    CountingAdapter creator;
    double seenFactor = 0.0;
    creator.onAdjust = [&]() {
        seenFactor = DpiTool::GetScaleFactor();
        if (!created)
            created = std::make_unique<CountingAdapter>();
    };

    DpiTool::SetScaleFactor(1.5);
    QCOMPARE(unregistered.calls, 0);
    QCOMPARE(creator.calls, 1);
    QCOMPARE(seenFactor, 1.5); // the new factor, already in place
    QVERIFY(!a != !b);
    QCOMPARE((a ? a : b)->calls, 1);
    // Built at the new scale already: not called for the change that created it.
    QCOMPARE(created ? created->calls : -1, 0);
    DpiTool::SetScaleFactor(1.5); // no change
    QCOMPARE(creator.calls, 1);
    DpiTool::SetScaleFactor(2.0);
    QCOMPARE(creator.calls, 2);
    QCOMPARE(created->calls, 1);
}

QTEST_MAIN(tst_DpiTool)
#include "tst_dpitool.moc"
