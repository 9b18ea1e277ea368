#pragma once

#include "zorbaseui_export.h"

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QPalette>
#include <QString>
#include <QStringList>

// The host's skins ("light", the default, and "dark"). Each skin is a table of named colour
// roles ("window", "text", "placeholder", "accent", ...); the host's style sheet refers to
// the roles, and is written out once per skin. The current skin is the whole application's
// look: its style sheet and palette are installed on the application, so every window of the
// host and of the modules it loads is parsed and restyled once, not per window.
class ZORBASEUI_EXPORT ZorSkin : public QObject
{
    Q_OBJECT
public:
    // Announces skin changes (for windows that draw something themselves, and menus).
    static ZorSkin* Instance();

    static QStringList SkinNames();
    static QString CurrentSkin();

    // A role's colour in a skin; invalid for an unknown role or skin.
    static QColor Color(const QString& role, const QString& skin = CurrentSkin());
    // The application palette of a skin: plain Qt widgets, and the text and placeholder
    // colours of line and text edits, follow it.
    static QPalette Palette(const QString& skin);
    // The host's style sheet written with the skin's colours and icons; empty for an unknown
    // skin.
    static QString StyleSheet(const QString& skin);
    // An icon of the current skin by its file name without suffix ("arrow_down"), loaded once.
    static QIcon Icon(const QString& name);

    // Makes the current skin the application's look if it is not yet; afterwards a call costs
    // a comparison.
    static void Install();

    // The host's skin broadcast: switches the application to the skin and calls ChangeSkin
    // on every open window that implements IChangeSkinBase. False, and nothing changes, for
    // an unknown skin.
    static bool ChangeSkin(const QString& skin);

signals:
    void SigSkinChanged(const QString& skin);

private:
    explicit ZorSkin(QObject* parent = nullptr);
};
