#include "app/filelist.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <algorithm>

#include "app/control_ids.h"
#include "app/paths.h"
#include "app/skin/layout.h"

namespace {

std::vector<std::string> local_paths(const QMimeData* mime) {
    std::vector<std::string> paths;
    if (mime == nullptr || !mime->hasUrls()) {
        return paths;
    }
    const QList<QUrl> urls = mime->urls();
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) {
            paths.push_back(path_bytes(url.toLocalFile()));
        }
    }
    return paths;
}

}  // namespace

FileListModel::FileListModel(const FileList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const FileRow& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case 0:
                    return path_text(row.name);
                case 1:
                    return QString::fromStdString(row.sizeText);
                default:
                    return path_text(row.folder);
            }
        case Qt::ToolTipRole:
            return path_text(row.folder + row.name);
        case Qt::TextAlignmentRole:
            return index.column() == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                       : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

void FileListModel::rowAppended(int index) {
    beginInsertRows(QModelIndex(), index, index);
    rows_.insert(rows_.begin() + index, list_.row(index));
    endInsertRows();
}

void FileListModel::rowRemoved(int index) {
    beginRemoveRows(QModelIndex(), index, index);
    rows_.erase(rows_.begin() + index);
    endRemoveRows();
}

void FileListModel::rowsCleared() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

FileListCtrl::FileListCtrl(QWidget* parent)
    : QTableView(parent), model_(new FileListModel(list_, this)) {
    setObjectName(id_name(ids::FILE_LIST));
    list_.setObserver(model_);
    setModel(model_);
    hideColumn(2);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setSectionsMovable(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setSortingEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);

    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(14);
    font.setWeight(static_cast<QFont::Weight>(550));
    setFont(font);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 4);

    // White text needs the dark ground the list is drawn on.
    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(38, 46, 62));
    colours.setColor(QPalette::Text, Qt::white);
    colours.setColor(QPalette::Highlight, QColor(72, 112, 170));
    colours.setColor(QPalette::HighlightedText, Qt::white);
    // The selection stays visible while another control has the focus.
    colours.setColor(QPalette::Inactive, QPalette::Highlight, QColor(72, 112, 170));
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::white);
    setPalette(colours);
}

std::vector<int> FileListCtrl::selectedRowIndices() const {
    std::vector<int> rows;
    const QModelIndexList selected = selectionModel()->selectedRows();
    rows.reserve(static_cast<std::size_t>(selected.size()));
    for (const QModelIndex& index : selected) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void FileListCtrl::addRowToSelection(int index) {
    if (index < 0 || index >= model_->rowCount()) {
        return;
    }
    const QModelIndex at = model_->index(index, 0);
    selectionModel()->select(at, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(at, QItemSelectionModel::NoUpdate);
}

void FileListCtrl::applySelection(const SelectionAfterRemove& selection) {
    QItemSelection rows;
    for (int index : selection.selected) {
        rows.select(model_->index(index, 0), model_->index(index, 2));
    }
    selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
    if (selection.mark >= 0 && selection.mark < model_->rowCount()) {
        selectionModel()->setCurrentIndex(model_->index(selection.mark, 0),
                                          QItemSelectionModel::NoUpdate);
    }
}

void FileListCtrl::selectAllRows() {
    const int count = model_->rowCount();
    if (count == 0) {
        return;
    }
    selectionModel()->select(QItemSelection(model_->index(0, 0), model_->index(count - 1, 2)),
                             QItemSelectionModel::Select);
}

void FileListCtrl::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::SelectAll)) {
        event->accept();
        Q_EMIT selectAllRequested();
        return;
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        event->accept();
        Q_EMIT removeRequested();
        return;
    }
    switch (event->key()) {
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_End:
        case Qt::Key_Home:
        case Qt::Key_Up:
        case Qt::Key_Down:
            keyboardNavigation_ = true;
            break;
        default:
            break;
    }
    QTableView::keyPressEvent(event);
}

// A click counts when the button comes up (a click below the rows clears the selection only
// then); a right click counts at once, since its menu takes the release.
void FileListCtrl::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    if (event->button() == Qt::RightButton) {
        Q_EMIT rowsClicked();
    }
}

void FileListCtrl::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        Q_EMIT rowsClicked();
    }
}

void FileListCtrl::selectionChanged(const QItemSelection& selected,
                                    const QItemSelection& deselected) {
    QTableView::selectionChanged(selected, deselected);
    if (keyboardNavigation_ && selectionModel()->hasSelection()) {
        keyboardNavigation_ = false;
        Q_EMIT keyboardMoved();
    }
}

void FileListCtrl::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    const int width = viewport()->width();
    // The size column takes what its widest text needs ("999.99 MB" and the cell's margins),
    // at least a fifth of the list; the name takes the rest.
    const int sizeWidth =
        std::max(static_cast<int>(width * 0.2),
                 fontMetrics().horizontalAdvance(QStringLiteral("999.99 MB")) + 12);
    setColumnWidth(1, sizeWidth);
    setColumnWidth(0, std::max(0, width - sizeWidth - 2));
}

void FileListCtrl::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(viewport());
        painter.setPen(QPen(QColor(static_cast<QRgb>(layout::ACCENT_COLOUR)), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(viewport()->rect()).adjusted(1, 1, -1, -1));
    }
}

void FileListCtrl::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    viewport()->update();
}

void FileListCtrl::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    viewport()->update();
}

void FileListCtrl::dragEnterEvent(QDragEnterEvent* event) {
    if (local_paths(event->mimeData()).empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FileListCtrl::dragMoveEvent(QDragMoveEvent* event) {
    if (local_paths(event->mimeData()).empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FileListCtrl::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = local_paths(event->mimeData());
    if (paths.empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    list_.dropPaths(paths);
    Q_EMIT pathsDropped();
}
