// The file list on screen: a table model that follows the core's rows, and the view that
// takes drops, keys and clicks and hands them to the main window.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <vector>

#include "app/core/file_list.h"

// Mirrors the rows, so that the model always answers from the state the view was told about
// (the core changes its rows before it reports the change).
class FileListModel : public QAbstractTableModel, public RowObserver {
    Q_OBJECT
public:
    explicit FileListModel(const FileList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void rowAppended(int index) override;
    void rowRemoved(int index) override;
    void rowsCleared() override;

private:
    const FileList& list_;
    std::vector<FileRow> rows_;
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
    FileList list_;
    FileListModel* model_;  // a child: it outlives the view's own teardown
    bool keyboardNavigation_ = false;
};
