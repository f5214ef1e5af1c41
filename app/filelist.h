// The file list on screen: a table model that follows the core's rows, and the view that
// takes drops, keys and clicks and hands them to the main window.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <vector>

#include "app/core/file_list.h"
#include "app/core/file_status.h"
#include "app/skin/list.h"

// Where a row's file lies, told briefly: its folder below the folder it was added from (the
// added folder's own name when it lies there directly), else its parent folder's name; then
// its name. "Album A/01 - Intro.mp3".
std::string row_place(const FileRow& row);

// Mirrors the rows, so that the model always answers from the state the view was told about
// (the core changes its rows before it reports the change). Each row carries the status of its
// last run in STATUS_COLUMN; the statuses are shown once a run has begun, until Clear All.
class FileListModel : public QAbstractTableModel, public RowObserver {
    Q_OBJECT
public:
    static constexpr int STATUS_COLUMN = 3;
    // Of any column: the row's FileState as an int, for the delegate's colour; the per mille.
    static constexpr int STATE_ROLE = Qt::UserRole + 1;
    static constexpr int PER_MILLE_ROLE = Qt::UserRole + 2;

    explicit FileListModel(const FileList& list, QObject* parent = nullptr);

    void setStatus(int row, FileStatus status);
    const FileStatus& status(int row) const { return statuses_[static_cast<std::size_t>(row)]; }
    const std::vector<FileStatus>& statuses() const { return statuses_; }
    void setStatusShown(bool shown);
    bool statusShown() const { return statusShown_; }
    std::uint64_t totalBytes() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void rowAppended(int index) override;
    void rowRemoved(int index) override;
    void rowsCleared() override;

Q_SIGNALS:
    void statusShownChanged(bool shown);

private:
    const FileList& list_;
    std::vector<FileRow> rows_;
    std::vector<FileStatus> statuses_;
    bool statusShown_ = false;
};

// The skinned rows, and once statuses are shown a second, smaller line under the name with the
// row's status in its colour (and a thin bar while it decodes): the list is too narrow for a
// third column of text beside the name and the size.
class FileListDelegate : public SkinnedListDelegate {
    Q_OBJECT
public:
    using SkinnedListDelegate::SkinnedListDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // The height of the name line; the status line takes the rest of the row.
    void setNameLineHeight(int height) { nameLineHeight_ = height; }

private:
    int nameLineHeight_ = 20;
};

class FileListCtrl : public QTableView {
    Q_OBJECT
public:
    explicit FileListCtrl(QWidget* parent = nullptr);

    FileList& fileList() { return list_; }
    const FileList& fileList() const { return list_; }

    // Indices of the selected rows, increasing.
    std::vector<int> selectedRowIndices() const;
    // Adds a row to the selection and makes it the selection mark.
    void addRowToSelection(int index);
    // Replaces the selection after a removal.
    void applySelection(const SelectionAfterRemove& selection);
    void selectAllRows();

    FileListModel& listModel() { return *model_; }
    const FileListModel& listModel() const { return *model_; }
    // Two lines per row while statuses are shown, one otherwise.
    void showStatuses(bool shown);
    QFont statusFont() const;

Q_SIGNALS:
    // A click or right click, after the selection followed it.
    void rowsClicked();
    // A navigation key moved the selection.
    void keyboardMoved();
    void removeRequested();
    void selectAllRequested();
    // A drop has been handed to the list (what it refused is known now).
    void pathsDropped();

protected:
    // Home and End go to the first and the last row (a table would go to the row's first and
    // last column); with Shift they extend the selection as the other moves do.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    void resizeEvent(QResizeEvent* event) override;
    // The rows, then a ring in the accent colour while the list has the keyboard focus.
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void fitRowsToStatuses(bool shown);
    FileList list_;
    FileListModel* model_;  // a child: it outlives the view's own teardown
    FileListDelegate* delegate_ = nullptr;
    bool keyboardNavigation_ = false;
    int nameLineHeight_ = 0;  // the row height without a status line
};
