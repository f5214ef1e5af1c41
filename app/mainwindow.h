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
class QLabel;

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
    // The signal that ended the program (SIGTERM, SIGHUP), 0 when none did.
    int terminatedBy() const { return terminatedBy_; }
    // Where Add Files opens: the last input folder, else the user's music folder or home.
    QString addFilesFolder() const;

public Q_SLOTS:
    void addFiles();
    // What Add Files does with the dialog's answer, in the dialog's order.
    void addChosenFiles(const QStringList& paths);
    void addFolder();
    // Files and folders named on the command line, of this copy or of a later one: added as a
    // drop adds them (a folder with the files in it, a link as what it points to). During a
    // run they wait for its end, since the run reports on the rows as they were.
    void addGivenPaths(const QByteArrayList& paths);
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
    // Ctrl+Tab / Ctrl+PageDown: the next page; Ctrl+Shift+Tab / Ctrl+PageUp: the one before.
    void switchPage(int step);
    // A termination signal: a run stops like Cancel and the window closes after it; without a
    // run, open dialogs and menus are dismissed and the window closes now.
    void terminate(int signalNumber);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // A close from the window manager during a run: Cancel, then the close once it stopped.
    void closeEvent(QCloseEvent* event) override;

private:
    // The remembered place when it is on a screen, else the middle of the main screen.
    void placeOnScreen();
    QMenu* buildMainMenu();
    QMenu* buildListMenu();
    // One notice for the files the last addition refused, if any.
    void tellRefusals();
    // The count line follows the rows; the list takes the whole box while it has none.
    void showCount();

    MessageBoxes& boxes_;
    std::unique_ptr<FileListReporter> reporter_;
    FileListCtrl* list_;
    PageTabs* tabs_;
    BatchDriver* batch_;
    QMenu* listMenu_;
    QCheckBox* alwaysOnTop_;
    QLabel* countLine_;
    QAction* retryFailed_ = nullptr;
    QString lastInputFolder_;
    QByteArrayList waitingPaths_;  // given during a run
    int terminatedBy_ = 0;
    bool placed_ = false;  // shown at least once: its place is worth remembering
};

// The About dialog: the program's name and version, links to its home and download pages and
// its feedback address, and a Close button, on a picture of its own.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(MessageBoxes& boxes, QWidget* parent = nullptr);

protected:
    // F1 opens the introduction page.
    void keyPressEvent(QKeyEvent* event) override;

private:
    MessageBoxes& boxes_;
};
