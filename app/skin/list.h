// The dark list: its colours, selected rows drawn the same with or without focus, the background
// picture while the list is empty, and the narrow scroll bar with its arrow pictures.
#pragma once

#include <QColor>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QStyledItemDelegate>

class QAbstractItemView;

// The colours the list's pictures are drawn over (see layout.h).
QColor list_background_colour();
QColor list_selected_colour();
QColor list_text_colour();  // white

// Rows in the list's colours: white text, the selected colour behind selected rows.
class SkinnedListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

// Puts the look on a view that already has its model, and keeps it there; owned by the view.
class SkinnedList : public QObject {
    Q_OBJECT
public:
    static constexpr int SCROLL_BAR_WIDTH = 13;

    explicit SkinnedList(QAbstractItemView* view);

    // The picture shown while the list has no rows; a null one shows nothing.
    void setEmptyPicture(const QPixmap& picture);
    bool showsEmptyPicture() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractItemView* view_;
    QPointer<QWidget> viewport_;  // the model may announce a reset after the viewport is gone
    QPixmap empty_;
};
