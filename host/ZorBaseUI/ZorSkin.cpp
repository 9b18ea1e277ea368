#include "ZorSkin.h"

#include "IChangeSkinBase.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QRegularExpression>
#include <QWidget>

namespace {

const QStringList& Skins()
{
    static const QStringList skins{QStringLiteral("light"), QStringLiteral("dark")};
    return skins;
}

// Every colour of the host's look, per skin. Text on its usual background keeps a contrast
// of at least 4.5:1 ("hint" and "errorText" too), placeholders at least 3:1 against "field"
// and at most half the contrast of typed text; disabled colours are exempt.
struct RoleColours
{
    const char* role;
    const char* light;
    const char* dark;
};
constexpr RoleColours kRoles[] = {
    {"window", "#ffffff", "#1e1f22"},
    {"field", "#ffffff", "#26282c"},
    {"frame", "#dee0e3", "#3a3d42"},
    {"divider", "#eff0f1", "#2e3034"},
    {"hover", "#f2f3f5", "#303338"},
    {"pressed", "#e5e6eb", "#3a3d42"},
    {"text", "#1f2329", "#e6e8eb"},
    {"hint", "#646a73", "#9ba0a8"},
    {"placeholder", "#868c95", "#80868e"},
    {"textDisabled", "#bbbfc4", "#5f636a"},
    {"disabledBackground", "#f5f6f7", "#232528"},
    {"border", "#d0d3d6", "#4a4e55"},
    {"borderHover", "#8fb0ff", "#5b7fd6"},
    {"selection", "#cfdcff", "#34497a"},
    {"accent", "#2860e6", "#2f5fd8"},
    {"accentHover", "#3a6cf0", "#3b6be0"},
    {"accentPressed", "#1f4fc4", "#2550b8"},
    {"accentDisabled", "#a9c1ff", "#2c3a5c"},
    {"accentSoft", "#ebf0ff", "#263559"},
    {"accentFaint", "#f7f9ff", "#23262e"},
    {"accentText", "#2860e6", "#7aa2ff"},
    {"accentTextHover", "#1f4fc4", "#9dbbff"},
    {"onAccent", "#ffffff", "#ffffff"},
    {"error", "#f54a45", "#f0605b"},
    {"errorText", "#d7322c", "#ff7b76"},
    {"errorSoft", "#feeeed", "#3d2223"},
    {"errorBorder", "#f9a7a4", "#8a3b39"},
    {"successSoft", "#e8f8f2", "#1d3a30"},
    {"successBorder", "#7fdbb6", "#2f7a5b"},
    {"danger", "#d7322c", "#c8322c"},
    {"dangerHover", "#c43530", "#b52d28"},
    {"dangerPressed", "#b92a25", "#a82924"},
    {"overlay", "#6e000000", "#8c000000"},
    {"overlayHover", "#aa000000", "#b4000000"},
    {"overlayPressed", "#d2000000", "#d2000000"},
};

// The dark skin's icons are the light ones redrawn in its "text", "hint" and "textDisabled"
// colours; icons without a dark variant (coloured or white ones) serve both.
QString IconDirectory(const QString& skin)
{
    return skin == QLatin1String("dark") ? QStringLiteral(":/zorbaseui/images/dark")
                                         : QStringLiteral(":/zorbaseui/images");
}

QString& Current()
{
    static QString skin = Skins().first();
    return skin;
}

QString CssColour(const QColor& colour)
{
    if (colour.alpha() == 255)
        return colour.name();
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alpha());
}

QString WriteStyleSheet(const QString& skin)
{
    QFile file(QStringLiteral(":/zorbaseui/zorbaseui.qss"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QString source = QString::fromUtf8(file.readAll());

    static const QRegularExpression token(QStringLiteral("@([A-Za-z]+)"));
    QString sheet;
    sheet.reserve(source.size() + source.size() / 4);
    int done = 0;
    QRegularExpressionMatchIterator it = token.globalMatch(source);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString name = match.captured(1);
        QString value;
        if (name == QLatin1String("icons")) {
            value = IconDirectory(skin);
        } else {
            const QColor colour = ZorSkin::Color(name, skin);
            if (!colour.isValid()) {
                qWarning("zorbaseui.qss: unknown colour role @%s", qPrintable(name));
                continue;
            }
            value = CssColour(colour);
        }
        sheet += source.midRef(done, match.capturedStart() - done);
        sheet += value;
        done = match.capturedEnd();
    }
    sheet += source.midRef(done);
    return sheet;
}

} // namespace

ZorSkin::ZorSkin(QObject* parent) : QObject(parent)
{}

ZorSkin* ZorSkin::Instance()
{
    static ZorSkin skin;
    return &skin;
}

QStringList ZorSkin::SkinNames()
{
    return Skins();
}

QString ZorSkin::CurrentSkin()
{
    return Current();
}

QColor ZorSkin::Color(const QString& role, const QString& skin)
{
    const int index = Skins().indexOf(skin);
    if (index < 0)
        return QColor();
    for (const RoleColours& entry : kRoles) {
        if (role == QLatin1String(entry.role))
            return QColor(QLatin1String(index == 0 ? entry.light : entry.dark));
    }
    return QColor();
}

QPalette ZorSkin::Palette(const QString& skin)
{
    const auto colour = [&skin](const char* role) { return Color(QLatin1String(role), skin); };
    // Bevel shades (light, mid, dark, shadow) derived from the button and window colours.
    QPalette palette(colour("field"), colour("window"));
    const QPair<QPalette::ColorRole, const char*> roles[] = {
        {QPalette::Window, "window"},
        {QPalette::WindowText, "text"},
        {QPalette::Base, "field"},
        {QPalette::AlternateBase, "hover"},
        {QPalette::Text, "text"},
        {QPalette::PlaceholderText, "placeholder"},
        {QPalette::Button, "field"},
        {QPalette::ButtonText, "text"},
        {QPalette::BrightText, "onAccent"},
        {QPalette::Highlight, "accent"},
        {QPalette::HighlightedText, "onAccent"},
        {QPalette::ToolTipBase, "field"},
        {QPalette::ToolTipText, "text"},
        {QPalette::Link, "accentText"},
        {QPalette::LinkVisited, "accentText"},
    };
    for (const auto& role : roles)
        palette.setColor(role.first, colour(role.second));
    for (QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::PlaceholderText})
        palette.setColor(QPalette::Disabled, role, colour("textDisabled"));
    return palette;
}

QString ZorSkin::StyleSheet(const QString& skin)
{
    if (!Skins().contains(skin))
        return QString();
    // Written once per skin and process.
    static QHash<QString, QString> sheets;
    auto it = sheets.find(skin);
    if (it == sheets.end())
        it = sheets.insert(skin, WriteStyleSheet(skin));
    return it.value();
}

QIcon ZorSkin::Icon(const QString& name)
{
    static QHash<QString, QIcon> icons;
    QString path = QStringLiteral("%1/%2.png").arg(IconDirectory(CurrentSkin()), name);
    auto it = icons.find(path);
    if (it != icons.end())
        return it.value();
    if (!QFile::exists(path))
        path = QStringLiteral("%1/%2.png").arg(IconDirectory(Skins().first()), name);
    return icons.insert(path, QIcon(path)).value();
}

void ZorSkin::Install()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    const QString sheet = StyleSheet(CurrentSkin());
    if (app->styleSheet() == sheet)
        return;
    // The palette first: the style sheet's repolish then starts from the skin's palette.
    QApplication::setPalette(Palette(CurrentSkin()));
    app->setStyleSheet(sheet);
}

bool ZorSkin::ChangeSkin(const QString& skin)
{
    if (!Skins().contains(skin))
        return false;
    if (skin == Current()) {
        Install();
        return true;
    }
    Current() = skin;
    Install();
    emit Instance()->SigSkinChanged(skin);

    // A window's own ChangeSkin may close others; only those still open are told.
    QList<QPointer<QWidget>> windows;
    for (QWidget* window : QApplication::topLevelWidgets())
        windows << window;
    for (const QPointer<QWidget>& window : qAsConst(windows)) {
        if (auto* skinnable = dynamic_cast<IChangeSkinBase*>(window.data()))
            skinnable->ChangeSkin(skin);
    }
    return true;
}
