#include "app/filelist.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
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

// The last folder of a path that ends in '/', with its slash.
std::string last_folder(const std::string& folder) {
    const std::size_t end = folder.size() > 1 ? folder.size() - 1 : 0;
    const std::size_t slash = end > 0 ? folder.rfind('/', end - 1) : std::string::npos;
    return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

}  // namespace

std::string row_place(const FileRow& row) {
    if (!row.root.empty() && row.folder.size() > row.root.size() &&
        row.folder.compare(0, row.root.size(), row.root) == 0) {
        return row.folder.substr(row.root.size()) + row.name;
    }
    return last_folder(row.folder) + row.name;
}

FileListModel::FileListModel(const FileList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const FileRow& row = rows_[static_cast<std::size_t>(index.row())];
    const FileStatus& status = statuses_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case 0:
                    return path_text(row.name);
                case 1:
                    return QString::fromStdString(row.sizeText);
                case STATUS_COLUMN:
                    return statusShown_ ? path_text(status_text(status)) : QString();
                default:
                    return path_text(row.folder);
            }
        case Qt::ToolTipRole: {
            // Its place first, so that rows of the same name (every album's "01 - Intro")
            // tell apart at a glance; then the whole path. The reason and the engine's lines
            // may name other files: bytes shown as paths.
            const std::string where = row_place(row) + "\n" + row.folder + row.name;
            return statusShown_ ? path_text(where + "\n" + status_details(status))
                                : path_text(where);
        }
        case STATE_ROLE:
            return static_cast<int>(status.state);
        case PER_MILLE_ROLE:
            return status.perMille;
        case Qt::TextAlignmentRole:
            return index.column() == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                       : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

void FileListModel::setStatus(int row, FileStatus status) {
    if (row < 0 || row >= rowCount()) {
        return;
    }
    statuses_[static_cast<std::size_t>(row)] = std::move(status);
    Q_EMIT dataChanged(index(row, 0), index(row, STATUS_COLUMN));
}

void FileListModel::setStatusShown(bool shown) {
    if (shown == statusShown_) {
        return;
    }
    statusShown_ = shown;
    Q_EMIT statusShownChanged(shown);
    if (!rows_.empty()) {
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, STATUS_COLUMN));
    }
}

std::uint64_t FileListModel::totalBytes() const {
    std::uint64_t total = 0;
    for (const FileRow& row : rows_) {
        total += row.size;
    }
    return total;
}

void FileListModel::rowAppended(int index) {
    beginInsertRows(QModelIndex(), index, index);
    rows_.insert(rows_.begin() + index, list_.row(index));
    statuses_.insert(statuses_.begin() + index, FileStatus{});
    endInsertRows();
}

void FileListModel::rowRemoved(int index) {
    beginRemoveRows(QModelIndex(), index, index);
    rows_.erase(rows_.begin() + index);
    statuses_.erase(statuses_.begin() + index);
    endRemoveRows();
}

void FileListModel::rowsCleared() {
    beginResetModel();
    rows_.clear();
    statuses_.clear();
    endResetModel();
    // A new list starts as the first did: one line per row until its first run.
    setStatusShown(false);
}

namespace {

// Light enough to read on the list's dark ground, and told apart without their words.
QColor state_colour(FileState state) {
    switch (state) {
        case FileState::Waiting:
        case FileState::Measured:
        case FileState::NotStarted:
            return {150, 156, 176};
        case FileState::Measuring:
        case FileState::Decoding:
            return {120, 176, 255};
        case FileState::Done:
            return {118, 206, 142};
        case FileState::Stopped:
        case FileState::Skipped:
            return {232, 192, 104};
        case FileState::Failed:
            return {248, 118, 118};
        case FileState::Refused:
            return {236, 140, 210};
    }
    return {255, 255, 255};
}

}  // namespace

void FileListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const auto* model = qobject_cast<const FileListModel*>(index.model());
    if (model == nullptr || !model->statusShown()) {
        SkinnedListDelegate::paint(painter, option, index);
        return;
    }
    if (option.state & QStyle::State_Selected) {
        painter->fillRect(option.rect, list_selected_colour());
    }
    QStyleOptionViewItem name = option;
    name.rect.setHeight(nameLineHeight_);
    SkinnedListDelegate::paint(painter, name, index);
    if (index.column() != 0) {
        return;
    }
    const auto state = static_cast<FileState>(index.data(FileListModel::STATE_ROLE).toInt());
    const QModelIndex statusIndex = index.siblingAtColumn(FileListModel::STATUS_COLUMN);
    const auto* view = qobject_cast<const FileListCtrl*>(option.widget);
    const QFont font = view != nullptr ? view->statusFont() : option.font;
    // Lined up with the name, which the style draws a few pixels in.
    const QRect line = option.rect.adjusted(4, nameLineHeight_ - 2, -4, 0);
    painter->save();
    painter->setFont(font);
    painter->setPen(state_colour(state));
    const QString text =
        QFontMetrics(font).elidedText(statusIndex.data().toString(), Qt::ElideRight, line.width());
    painter->drawText(line, Qt::AlignLeft | Qt::AlignTop, text);
    if (state == FileState::Decoding) {
        const int perMille = index.data(FileListModel::PER_MILLE_ROLE).toInt();
        const QRect groove(line.left(), option.rect.bottom() - 2, line.width(), 2);
        painter->fillRect(groove, QColor(58, 61, 77));
        painter->fillRect(
            QRect(groove.left(), groove.top(), groove.width() * perMille / 1000, groove.height()),
            state_colour(state));
    }
    painter->restore();
}

FileListCtrl::FileListCtrl(QWidget* parent)
    : QTableView(parent), model_(new FileListModel(list_, this)) {
    setObjectName(id_name(ids::FILE_LIST));
    list_.setObserver(model_);
    setModel(model_);
    hideColumn(2);
    hideColumn(FileListModel::STATUS_COLUMN);  // drawn under the name, see FileListDelegate
    connect(model_, &FileListModel::statusShownChanged, this, &FileListCtrl::fitRowsToStatuses);
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
        rows.select(model_->index(index, 0), model_->index(index, FileListModel::STATUS_COLUMN));
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
    selectionModel()->select(
        QItemSelection(model_->index(0, 0), model_->index(count - 1, FileListModel::STATUS_COLUMN)),
        QItemSelectionModel::Select);
}

QFont FileListCtrl::statusFont() const {
    QFont small = font();
    small.setPixelSize(std::max(9, font().pixelSize() - 2));
    small.setWeight(QFont::Normal);
    return small;
}

void FileListCtrl::showStatuses(bool shown) {
    model_->setStatusShown(shown);
}

void FileListCtrl::fitRowsToStatuses(bool shown) {
    if (delegate_ == nullptr) {
        // Over the skinned delegate the list was given: the same look, and the status line.
        delegate_ = new FileListDelegate(this);
        setItemDelegate(delegate_);
    }
    if (nameLineHeight_ == 0) {
        nameLineHeight_ = verticalHeader()->defaultSectionSize();
    }
    delegate_->setNameLineHeight(nameLineHeight_);
    const int statusLine = QFontMetrics(statusFont()).height() + 4;
    verticalHeader()->setDefaultSectionSize(shown ? nameLineHeight_ + statusLine : nameLineHeight_);
    viewport()->update();
}

QModelIndex FileListCtrl::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const int rows = model_->rowCount();
    if (rows > 0 && (action == MoveHome || action == MoveEnd)) {
        return model_->index(action == MoveHome ? 0 : rows - 1, 0);
    }
    return QTableView::moveCursor(action, modifiers);
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
