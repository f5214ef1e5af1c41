#include "app/mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <cerrno>
#include <cstring>
#include <memory>

#include "app/batch.h"
#include "app/filelist.h"
#include "app/pages.h"
#include "app/startup.h"

namespace {

// Names already in the list are skipped silently; a file that cannot be opened is reported.
class BoxFileListReporter : public FileListReporter {
public:
    BoxFileListReporter(MessageBoxes& boxes, QWidget* parent) : boxes_(boxes), parent_(parent) {}

    void duplicate(const std::string& /*path*/, const std::string& /*listedPath*/) override {}

    void fileError(const std::string& path, const std::string& message) override {
        const QString shown = path_text(path);
        const QString text =
            message == std::strerror(EACCES)
                ? MainWindow::tr("Access to %1 was denied.").arg(shown)
                : MainWindow::tr("An unexpected error occurred while accessing %1.\n\n%2")
                      .arg(shown, core_text(message));
        boxes_.tell(parent_, text, QMessageBox::Warning);
    }

private:
    MessageBoxes& boxes_;
    QWidget* parent_;
};

QAction* command(QMenu* menu, int id, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setObjectName(id_name(id));
    return action;
}

}  // namespace

MainWindow::MainWindow(MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      boxes_(boxes),
      list_(new FileListCtrl),
      tabs_(new PageTabs(boxes)),
      batch_(nullptr),
      listMenu_(nullptr),
      alwaysOnTop_(new QCheckBox(tr("Always On Top"))) {
    setWindowTitle(tr("Pelmora"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("pelmora")));
    setSizeGripEnabled(true);

    reporter_ = std::make_unique<BoxFileListReporter>(boxes_, this);
    list_->fileList().setReporter(reporter_.get());
    list_->fileList().setDropSettings(ACCEPT_FILES | ACCEPT_FOLDERS | FILTER_BY_EXTENSION,
                                      {".mp3"});

    auto button = [this](int id, const QString& text, const QString& tip) {
        auto* b = new QPushButton(text);
        b->setObjectName(id_name(id));
        b->setToolTip(tip);
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* addFilesButton = button(ids::ADD_FILES, tr("Add Files"), tr("Add Files"));
    QPushButton* addFolderButton = button(ids::ADD_FOLDER, tr("Add Folder"), tr("Add Folder"));
    QPushButton* removeButton = button(ids::REMOVE_SELECTION, tr("Remove"), tr("Remove Selection"));
    QPushButton* clearButton = button(ids::CLEAR_ALL, tr("Clear All"), tr("Clear All"));
    QPushButton* exitButton = button(ids::EXIT, tr("Exit"), tr("Exit"));
    alwaysOnTop_->setObjectName(id_name(ids::ALWAYS_ON_TOP));
    alwaysOnTop_->setToolTip(tr("Always On Top"));

    auto toolButton = [this](int id, const QString& tip) {
        auto* b = new QToolButton;
        b->setObjectName(id_name(id));
        b->setToolTip(tip);
        b->setAutoRaise(true);
        return b;
    };
    QToolButton* menuButton = toolButton(ids::MAIN_MENU, tr("Main menu"));
    menuButton->setText(tr("Menu"));
    menuButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    menuButton->setPopupMode(QToolButton::InstantPopup);
    menuButton->setMenu(buildMainMenu());
    QToolButton* minimizeButton = toolButton(ids::MINIMIZE, tr("Minimize"));
    minimizeButton->setIcon(style()->standardIcon(QStyle::SP_TitleBarMinButton));
    QToolButton* closeButton = toolButton(ids::CLOSE, tr("Close"));
    closeButton->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    listMenu_ = buildListMenu();

    auto* top = new QHBoxLayout;
    top->addStretch();
    top->addWidget(menuButton);
    top->addWidget(minimizeButton);
    top->addWidget(closeButton);

    auto* middle = new QHBoxLayout;
    middle->addWidget(list_, 5);
    middle->addWidget(tabs_, 4);

    auto* bottom = new QHBoxLayout;
    for (QPushButton* b : {addFilesButton, addFolderButton, removeButton, clearButton}) {
        bottom->addWidget(b);
    }
    bottom->addStretch();
    bottom->addWidget(alwaysOnTop_);
    bottom->addWidget(exitButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);
    resize(880, 500);

    connect(addFilesButton, &QPushButton::clicked, this, &MainWindow::addFiles);
    connect(addFolderButton, &QPushButton::clicked, this, &MainWindow::addFolder);
    connect(removeButton, &QPushButton::clicked, this, &MainWindow::removeSelection);
    connect(clearButton, &QPushButton::clicked, this, &MainWindow::clearAll);
    connect(exitButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(closeButton, &QToolButton::clicked, this, &QDialog::accept);
    connect(minimizeButton, &QToolButton::clicked, this, &QWidget::showMinimized);
    connect(alwaysOnTop_, &QCheckBox::toggled, this, &MainWindow::setAlwaysOnTop);

    connect(list_, &FileListCtrl::rowsClicked, this, &MainWindow::refreshInfo);
    connect(list_, &FileListCtrl::keyboardMoved, this, &MainWindow::refreshInfo);
    connect(list_, &FileListCtrl::removeRequested, this, &MainWindow::removeSelection);
    connect(list_, &FileListCtrl::selectAllRequested, this, &MainWindow::selectAll);
    connect(list_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showListMenu(list_->viewport()->mapToGlobal(at)); });

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &MainWindow::showHelp);
    // Window managers usually take Alt+F4 themselves; this covers those that pass it on.
    auto* closeKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
    connect(closeKey, &QShortcut::activated, this, &QWidget::close);

    batch_ = new BatchDriver(this, *list_, *tabs_->outputPage(), *tabs_->optionsPage(), boxes_);
    connect(batch_, &BatchDriver::exitRequested, this, &QDialog::accept);

    lastInputFolder_ = read_setting(SETTING_LAST_INPUT_PATH, lastInputFolder_);
}

MainWindow::~MainWindow() {
    write_setting(SETTING_LAST_INPUT_PATH, lastInputFolder_);
}

QMenu* MainWindow::buildMainMenu() {
    auto* menu = new QMenu(this);
    menu->setObjectName(id_name(ids::MENU_MAIN));
    connect(command(menu, ids::CMD_HELP, tr("&Help\t F1")), &QAction::triggered, this,
            &MainWindow::showHelp);
    connect(command(menu, ids::CMD_ABOUT, tr("&About Pelmora...")), &QAction::triggered, this,
            &MainWindow::showAbout);
    menu->addSeparator();
    connect(command(menu, ids::CMD_MINIMIZE, tr("Mi&nimize")), &QAction::triggered, this,
            &QWidget::showMinimized);
    connect(command(menu, ids::CMD_EXIT, tr("E&xit\t Alt+F4")), &QAction::triggered, this,
            &QDialog::accept);
    return menu;
}

QMenu* MainWindow::buildListMenu() {
    auto* menu = new QMenu(this);
    menu->setObjectName(id_name(ids::MENU_LIST));
    connect(command(menu, ids::CMD_ADD_FILES, tr("Add Files")), &QAction::triggered, this,
            &MainWindow::addFiles);
    connect(command(menu, ids::CMD_ADD_DIR, tr("Add Dir")), &QAction::triggered, this,
            &MainWindow::addFolder);
    connect(command(menu, ids::CMD_DELETE, tr("Delete")), &QAction::triggered, this,
            &MainWindow::removeSelection);
    connect(command(menu, ids::CMD_CLEAR_ALL, tr("Clear All")), &QAction::triggered, this,
            &MainWindow::clearAll);
    menu->addSeparator();
    connect(command(menu, ids::CMD_SELECT_ALL, tr("Select All")), &QAction::triggered, this,
            &MainWindow::selectAll);
    return menu;
}

void MainWindow::addFiles() {
    const QStringList paths = QFileDialog::getOpenFileNames(this, tr("Add Files"), lastInputFolder_,
                                                            tr("mp3 Files (*.mp3)"));
    if (!paths.isEmpty()) {
        addChosenFiles(paths);
    }
}

void MainWindow::addChosenFiles(const QStringList& paths) {
    if (paths.isEmpty()) {
        return;
    }
    const bool wasEmpty = list_->fileList().rowCount() == 0;
    for (const QString& path : paths) {
        list_->fileList().addPath(path_bytes(path));
    }
    if (wasEmpty) {
        selectRow(0);
    }
    // One file: the dialog reopens on that file; several: on their folder.
    lastInputFolder_ = paths.size() == 1 ? paths.first() : QFileInfo(paths.first()).absolutePath();
}

void MainWindow::addFolder() {
    FolderBrowser browser(boxes_, read_setting(SETTING_PATH), false, this);
    const bool wasEmpty = list_->fileList().rowCount() == 0;
    if (browser.run() == 1) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        list_->fileList().addPath(path_bytes(browser.acceptedPath()));
        write_setting(SETTING_PATH, browser.acceptedPath());
        QApplication::restoreOverrideCursor();
    }
    if (wasEmpty) {
        selectRow(0);
    }
}

void MainWindow::removeSelection() {
    const std::vector<int> selected = list_->selectedRowIndices();
    if (selected.empty()) {
        return;
    }
    list_->applySelection(list_->fileList().removeRows(selected));
    refreshInfo();
}

void MainWindow::clearAll() {
    list_->fileList().clear();
    refreshInfo();
}

void MainWindow::selectAll() {
    list_->selectAllRows();
}

void MainWindow::selectRow(int index) {
    list_->addRowToSelection(index);
    refreshInfo();
}

void MainWindow::refreshInfo() {
    const std::vector<int> selected = list_->selectedRowIndices();
    if (selected.empty()) {
        tabs_->infoPage()->clearInfo();
        return;
    }
    tabs_->infoPage()->showFile(list_->fileList().inputPath(selected.front()));
}

void MainWindow::setAlwaysOnTop(bool on) {
    // Changing a shown widget's flags recreates its window, and hiding a dialog ends its modal
    // loop, which would end the program; the platform window takes the hint directly instead.
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    overrideWindowFlags(flags);
    if (QWindow* handle = windowHandle()) {
        handle->setFlags(flags);
    }
    if (alwaysOnTop_->isChecked() != on) {
        alwaysOnTop_->setChecked(on);
    }
}

void MainWindow::showHelp() {
    open_help_page(QString::fromLatin1(HELP_GENERAL_PAGE));
}

void MainWindow::showAbout() {
    open_help_page(QString::fromLatin1(HELP_INTRODUCTION_PAGE));
}

void MainWindow::showListMenu(const QPoint& position) {
    listMenu_->exec(position);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Escape would cancel the dialog, and with it the program.
    if (event->matches(QKeySequence::Cancel) || event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    // Presses that no control took land here: the whole surface moves the window.
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr &&
        windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}
