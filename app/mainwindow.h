// The program's one window: the file list, the three pages, the list and window commands, and
// the two menus. It ends the program when it closes.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "app/core/file_list.h"

class BatchDriver;
class FileListCtrl;
class MessageBoxes;
class PageTabs;
class QMenu;
class QCheckBox;

class MainWindow : public QDialog {
    Q_OBJECT
public:
    explicit MainWindow(MessageBoxes& boxes, QWidget* parent = nullptr);
    // Stores the last input folder.
    ~MainWindow() override;

    FileListCtrl* fileListCtrl() const { return list_; }
    PageTabs* pageTabs() const { return tabs_; }
    BatchDriver* batchDriver() const { return batch_; }
    QString lastInputFolder() const { return lastInputFolder_; }

public Q_SLOTS:
    void addFiles();
    // What Add Files does with the dialog's answer, in the dialog's order.
    void addChosenFiles(const QStringList& paths);
    void addFolder();
    void removeSelection();
    void clearAll();
    void selectAll();
    // Adds the row to the selection, makes it the mark, and refreshes the info page.
    void selectRow(int index);
    // The info page from the first selected row, or cleared when none is selected.
    void refreshInfo();
    void setAlwaysOnTop(bool on);
    void showHelp();
    void showAbout();
    void showListMenu(const QPoint& position);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QMenu* buildMainMenu();
    QMenu* buildListMenu();

    MessageBoxes& boxes_;
    std::unique_ptr<FileListReporter> reporter_;
    FileListCtrl* list_;
    PageTabs* tabs_;
    BatchDriver* batch_;
    QMenu* listMenu_;
    QCheckBox* alwaysOnTop_;
    QString lastInputFolder_;
};

// The About dialog: the program's name and version, links to its home and download pages and
// its feedback address, and a Close button, on a picture of its own.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

protected:
    // F1 opens the introduction page.
    void keyPressEvent(QKeyEvent* event) override;
};
