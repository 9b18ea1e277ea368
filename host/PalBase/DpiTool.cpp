#include "DpiTool.h"

#include "DpiAdapterRegistry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtMath>

namespace {

// 0 while the host has not chosen a factor: the primary screen decides.
double g_factor = 0.0;

double ScreenFactor()
{
    const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                                ? QGuiApplication::primaryScreen()
                                : nullptr;
    if (!screen)
        return 1.0;
    const double dpi = screen->logicalDotsPerInch();
    return dpi > 0.0 ? dpi / 96.0 : 1.0;
}

} // namespace

int DpiTool::ScaleDefault(int value)
{
    return qRound(value * GetScaleFactor());
}

QSize DpiTool::ScaleDefault(const QSize& size)
{
    return QSize(ScaleDefault(size.width()), ScaleDefault(size.height()));
}

double DpiTool::GetScaleFactor()
{
    return g_factor > 0.0 ? g_factor : ScreenFactor();
}

void DpiTool::SetScaleFactor(double factor)
{
    const double before = GetScaleFactor();
    g_factor = factor > 0.0 ? factor : 0.0;
    if (!qFuzzyCompare(before, GetScaleFactor()))
        DpiAdapterRegistry::NotifyAll();
}
