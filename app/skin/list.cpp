#include "app/skin/list.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include "app/skin/layout.h"
#include "app/skin/pictures.h"
#include "app/skin/skin.h"

QColor list_background_colour() {
    return QColor(static_cast<QRgb>(layout::LIST_COLOUR));
}

QColor list_selected_colour() {
    return QColor(static_cast<QRgb>(layout::LIST_SELECTED_COLOUR));
}

QColor list_text_colour() {
    return QColor(255, 255, 255);
}

void SkinnedListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QStyleOptionViewItem row = option;
    initStyleOption(&row, index);
    // Selected rows take the list's own colours whatever the focus; the style is then asked to
    // draw the row as not selected, so that it adds no highlight of its own.
    const bool selected = row.state & QStyle::State_Selected;
    row.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_MouseOver);
    if (selected) {
        painter->fillRect(option.rect, list_selected_colour());
    }
    row.palette.setColor(QPalette::Text, list_text_colour());
    row.backgroundBrush = Qt::NoBrush;
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : nullptr;
    if (style != nullptr) {
        style->drawControl(QStyle::CE_ItemViewItem, &row, painter, widget);
    } else {
        QStyledItemDelegate::paint(painter, row, index);
    }
}

SkinnedList::SkinnedList(QAbstractItemView* view)
    : QObject(view), view_(view), viewport_(view->viewport()) {
    QPalette palette = view->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, list_background_colour());
        palette.setColor(group, QPalette::Window, list_background_colour());
        palette.setColor(group, QPalette::Text, list_text_colour());
        palette.setColor(group, QPalette::Highlight, list_selected_colour());
        palette.setColor(group, QPalette::HighlightedText, list_text_colour());
    }
    view->setPalette(palette);
    view->setFrameShape(QFrame::NoFrame);
    view->setItemDelegate(new SkinnedListDelegate(view));
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->verticalScrollBar()->setStyleSheet(
        QStringLiteral(
            "QScrollBar:vertical { background: #2b2d3a; width: %1px; margin: 15px 0 15px 0;"
            " border: none; }"
            "QScrollBar::handle:vertical { background: #505469; min-height: 24px;"
            " border-radius: 4px; margin: 1px 2px; }"
            "QScrollBar::handle:vertical:hover { background: #62677f; }"
            "QScrollBar::handle:vertical:pressed { background: #3d8bfd; }"
            "QScrollBar[idle=\"true\"]::handle:vertical { background: none; }"
            "QScrollBar::sub-line:vertical { height: 15px; subcontrol-position: top;"
            " subcontrol-origin: margin; border: none; background: none;"
            " image: url(%2); }"
            "QScrollBar::add-line:vertical { height: 15px; subcontrol-position: bottom;"
            " subcontrol-origin: margin; border: none; background: none;"
            " image: url(%3); }"
            "QScrollBar::up-arrow:vertical, QScrollBar::down-arrow:vertical"
            " { width: 0; height: 0; background: none; }"
            "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
            .arg(SCROLL_BAR_WIDTH)
            .arg(skin_picture_path(pictures::LIST_ARROW_UP),
                 skin_picture_path(pictures::LIST_ARROW_DOWN)));
    // With nothing to scroll the handle would fill the whole groove; it is left out instead.
    QScrollBar* bar = view->verticalScrollBar();
    auto idle = [bar] {
        const bool nothing = bar->maximum() == bar->minimum();
        if (bar->property("idle").toBool() != nothing) {
            bar->setProperty("idle", nothing);
            bar->style()->unpolish(bar);
            bar->style()->polish(bar);
            bar->update();
        }
    };
    connect(bar, &QScrollBar::rangeChanged, this, idle);
    idle();
    setEmptyPicture(skin_pixmap(pictures::LIST_BACKGROUND));
    viewport_->installEventFilter(this);
    // Rows appearing or going change the whole viewport, not only the rows' part of it.
    if (QAbstractItemModel* model = view->model()) {
        auto repaint = [this] {
            if (viewport_ != nullptr) {
                viewport_->update();
            }
        };
        connect(model, &QAbstractItemModel::rowsInserted, this, repaint);
        connect(model, &QAbstractItemModel::rowsRemoved, this, repaint);
        connect(model, &QAbstractItemModel::modelReset, this, repaint);
    }
}

void SkinnedList::setEmptyPicture(const QPixmap& picture) {
    empty_ = picture;
    viewport_->update();
}

bool SkinnedList::showsEmptyPicture() const {
    const QAbstractItemModel* model = view_->model();
    return !empty_.isNull() && (model == nullptr || model->rowCount(view_->rootIndex()) == 0);
}

bool SkinnedList::eventFilter(QObject* watched, QEvent* event) {
    // The viewport has already been filled with the list colour; with no rows the picture goes
    // over it, and the view then paints its (absent) rows.
    // While the view is torn down its parts go one by one: compare before asking it anything.
    if (watched == viewport_ && event->type() == QEvent::Paint && showsEmptyPicture()) {
        QPainter painter(viewport_);
        painter.drawPixmap(0, 0, empty_);
    }
    return false;
}
