#include "app/skin/menus.h"

#include <qdrawutil.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionMenuItem>
#include <algorithm>

namespace {

// Class-wide, as the menus of one program share one look.
BCMenu::DrawMode newerLookMode = BCMenu::Flat;
BCMenu::DrawMode olderLookMode = BCMenu::Flat;

constexpr int kSeparatorHeight = 7;
constexpr int kItemHeight = 24;
constexpr int kTextGap = 10;
constexpr int kShortcutGap = 28;
constexpr int kRightGap = 16;

int channel(double v) {
    return std::clamp(static_cast<int>(v), 0, 255);
}

MenuItemStyle* shared_style() {
    // Owned by the application, so that it outlives every menu that uses it.
    static MenuItemStyle* style = [] {
        auto* s = new MenuItemStyle;
        s->setParent(qApp);
        return s;
    }();
    return style;
}

// The image column only where some item has an image or a check mark to put in it; a menu
// of words alone would show an empty grey strip.
int image_column(const QWidget* widget) {
    if (const auto* menu = qobject_cast<const QMenu*>(widget)) {
        const QList<QAction*> items = menu->actions();
        const bool used = std::any_of(items.begin(), items.end(), [](const QAction* a) {
            return !a->icon().isNull() || a->isCheckable();
        });
        if (!used) {
            return 0;
        }
    }
    return BCMenu::IMAGE_COLUMN;
}

}  // namespace

int FindKeyboardShortcut(const QStringList& itemTexts, QChar typed, bool popup) {
    if (!popup) {
        return -1;
    }
    const QString wanted = (QStringLiteral("&") + typed).toLower();
    for (qsizetype i = 0; i < itemTexts.size(); ++i) {
        if (itemTexts.at(i).toLower().contains(wanted)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QColor lighten(const QColor& colour, double k) {
    return QColor(channel(colour.red() + k * (255 - colour.red())),
                  channel(colour.green() + k * (255 - colour.green())),
                  channel(colour.blue() + k * (255 - colour.blue())));
}

QColor darken(const QColor& colour, double k) {
    return QColor(channel(colour.red() - k * colour.red()),
                  channel(colour.green() - k * colour.green()),
                  channel(colour.blue() - k * colour.blue()));
}

MenuItemStyle::MenuItemStyle() : QProxyStyle(QStringLiteral("Fusion")) {}

int MenuItemStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                               const QWidget* widget) const {
    switch (metric) {
        case PM_MenuPanelWidth:
            return 1;
        case PM_MenuHMargin:
        case PM_MenuVMargin:
            return 2;
        case PM_SmallIconSize:
            return 16;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

int MenuItemStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                             QStyleHintReturn* returnData) const {
    if (hint == SH_Menu_FlashTriggeredItem || hint == SH_Menu_FadeOutOnHide) {
        return 0;
    }
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

QSize MenuItemStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                      const QSize& size, const QWidget* widget) const {
    if (type != CT_MenuItem) {
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (item == nullptr) {
        return size;
    }
    if (item->menuItemType == QStyleOptionMenuItem::Separator) {
        return QSize(image_column(widget) + kTextGap, kSeparatorHeight);
    }
    const QFontMetrics metrics(item->font);
    QString text = item->text;
    QString shortcut;
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab >= 0) {
        shortcut = text.mid(tab + 1).trimmed();
        text.truncate(tab);
    }
    int width = image_column(widget) + kTextGap + metrics.horizontalAdvance(text) + kRightGap;
    if (!shortcut.isEmpty()) {
        width += kShortcutGap + metrics.horizontalAdvance(shortcut);
    }
    return QSize(width, std::max(kItemHeight, metrics.height() + 8));
}

void MenuItemStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                  QPainter* painter, const QWidget* widget) const {
    if (element == PE_FrameMenu || element == PE_PanelMenu) {
        const QColor face = option->palette.color(QPalette::Window);
        if (element == PE_PanelMenu) {
            painter->fillRect(option->rect, face);
        }
        painter->setPen(darken(face, 0.32));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void MenuItemStyle::drawControl(ControlElement element, const QStyleOption* option,
                                QPainter* painter, const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element == CE_MenuEmptyArea) {
        painter->fillRect(option->rect, option->palette.color(QPalette::Window));
        return;
    }
    if (element != CE_MenuItem || item == nullptr) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    const QPalette& palette = item->palette;
    const QColor face = palette.color(QPalette::Window);
    const QColor highlight = palette.color(QPalette::Highlight);
    const QRect r = item->rect;
    const bool flat = BCMenu::drawMode() == BCMenu::Flat;
    painter->save();
    painter->fillRect(r, face);
    // the image column, a shade darker than the menu, where the menu has one
    const QRect column(r.left(), r.top(), image_column(widget), r.height());
    if (column.width() > 0) {
        painter->fillRect(column, darken(face, 0.045));
    }

    if (item->menuItemType == QStyleOptionMenuItem::Separator) {
        const int y = r.center().y();
        painter->setPen(darken(face, 0.16));
        painter->drawLine(column.right() + kTextGap, y, r.right() - 4, y);
        painter->restore();
        return;
    }

    const bool enabled = item->state & State_Enabled;
    const bool selected = enabled && (item->state & State_Selected);
    if (selected) {
        const QRect band = r.adjusted(2, 1, -2, -1);
        if (flat) {
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setPen(highlight);
            painter->setBrush(lighten(highlight, 0.82));
            painter->drawRoundedRect(QRectF(band).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
            painter->setRenderHint(QPainter::Antialiasing, false);
        } else {
            qDrawShadePanel(painter, band, palette, false, 1, nullptr);
        }
    }
    if (item->checkType != QStyleOptionMenuItem::NotCheckable && item->checked) {
        QStyleOptionMenuItem check = *item;
        check.rect = column.adjusted(4, 4, -4, -4);
        QProxyStyle::drawPrimitive(PE_IndicatorMenuCheckMark, &check, painter, widget);
    }

    QString text = item->text;
    QString shortcut;
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab >= 0) {
        shortcut = text.mid(tab + 1).trimmed();
        text.truncate(tab);
    }
    const QColor ink = enabled ? palette.color(QPalette::WindowText)
                               : palette.color(QPalette::Disabled, QPalette::WindowText);
    const QRect textRect = r.adjusted(column.width() + kTextGap, 0, -kRightGap, 0);
    painter->setFont(item->font);
    painter->setPen(selected && flat ? darken(highlight, 0.45) : ink);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, text);
    if (!shortcut.isEmpty()) {
        painter->setPen(selected && flat ? darken(highlight, 0.3) : lighten(ink, 0.35));
        painter->drawText(textRect, Qt::AlignRight | Qt::AlignVCenter, shortcut);
    }
    painter->restore();
}

BCMenu::BCMenu(QWidget* parent) : QMenu(parent) {
    setStyle(shared_style());
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(250, 251, 253));
    p.setColor(QPalette::WindowText, QColor(28, 34, 48));
    p.setColor(QPalette::Highlight, QColor(61, 139, 253));
    setPalette(p);
}

void BCMenu::SetMenuDrawMode(DrawMode newerLook, DrawMode olderLook) {
    newerLookMode = newerLook;
    olderLookMode = olderLook;
}

BCMenu::DrawMode BCMenu::drawMode() {
    return newerLookMode;
}

void BCMenu::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
    if (plain && typed.size() == 1 && typed.at(0).isPrint() && !typed.at(0).isSpace()) {
        const QList<QAction*> items = actions();
        QStringList texts;
        for (const QAction* a : items) {
            texts.push_back(a->isSeparator() ? QString() : a->text());
        }
        const int found = FindKeyboardShortcut(texts, typed.at(0), true);
        if (found >= 0 && items.at(found)->isEnabled()) {
            // Executing it as Return would: exec() then answers with this item.
            setActiveAction(items.at(found));
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QMenu::keyPressEvent(&enter);
            event->accept();
            return;
        }
    }
    QMenu::keyPressEvent(event);
}
