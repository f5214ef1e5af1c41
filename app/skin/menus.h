// Flat owner-drawn menus with the program's own menu-character lookup.
#pragma once

#include <QMenu>
#include <QProxyStyle>
#include <QStringList>

// For a popup menu: the index of the first item whose lower-cased text contains "&" followed
// by the typed character, lower-cased; -1 (default handling) otherwise.
int FindKeyboardShortcut(const QStringList& itemTexts, QChar typed, bool popup);

// v + k * (255 - v) and v - k * v on each channel, k from 0 to 1.
QColor lighten(const QColor& colour, double k);
QColor darken(const QColor& colour, double k);

// Draws the items of BCMenus: an image column at the left where an item has an image or a check,
// the selected item as a framed rectangle with a lightened fill (flat), or with raised edges (the
// older look).
class MenuItemStyle : public QProxyStyle {
    Q_OBJECT
public:
    MenuItemStyle();

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override;
};

class BCMenu : public QMenu {
    Q_OBJECT
public:
    enum DrawMode { Flat, Raised };

    explicit BCMenu(QWidget* parent = nullptr);

    // Class-wide: one mode for systems with the newer visual style, one for older ones. This
    // platform always counts as the newer.
    static void SetMenuDrawMode(DrawMode newerLook, DrawMode olderLook);
    static DrawMode drawMode();

    static constexpr int IMAGE_COLUMN = 26;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
