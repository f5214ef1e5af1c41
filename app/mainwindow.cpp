#include "app/mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QTabBar>
#include <QUrl>
#include <QWindow>
#include <cerrno>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/batch.h"
#include "app/control_ids.h"
#include "app/core/end_report.h"
#include "app/core/file_status.h"
#include "app/core/system_message.h"
#include "app/filelist.h"
#include "app/help.h"
#include "app/message_boxes.h"
#include "app/pages.h"
#include "app/paths.h"
#include "app/settings.h"
#include "app/skin/buttons.h"
#include "app/skin/layout.h"
#include "app/skin/links.h"
#include "app/skin/list.h"
#include "app/skin/menus.h"
#include "app/skin/pictures.h"
#include "app/skin/skin.h"
#include "app/window_place.h"

namespace {}  // namespace

// Names already in the list are gathered and told once the addition is over; a file that cannot
// be opened is reported at once.
class BoxFileListReporter : public FileListReporter {
public:
    BoxFileListReporter(MessageBoxes& boxes, QWidget* parent) : boxes_(boxes), parent_(parent) {}

    void duplicate(const std::string& path, const std::string& listedPath) override {
        refused.push_back({path, listedPath});
    }

    void fileError(const std::string& path, const std::string& message) override {
        const QString shown = path_text(path);
        const QString text =
            message == errno_message(EACCES)
                ? MainWindow::tr("Access to %1 was denied.").arg(shown)
                : MainWindow::tr("An unexpected error occurred while accessing %1.\n\n%2")
                      .arg(shown, core_text(message));
        boxes_.tell(parent_, text, QMessageBox::Warning);
    }

    std::vector<ReportRow> refused;  // (path, listed path)

private:
    MessageBoxes& boxes_;
    QWidget* parent_;
};

namespace {

QAction* command(QMenu* menu, int id, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setObjectName(id_name(id));
    return action;
}

}  // namespace

MainWindow::MainWindow(MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint),
      boxes_(boxes),
      list_(new FileListCtrl(this)),
      tabs_(new PageTabs(boxes, this)),
      batch_(nullptr),
      listMenu_(nullptr),
      alwaysOnTop_(new SkinCheckBox(this)),
      countLine_(new QLabel(this)) {
    setWindowTitle(tr("Pelmora"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("pelmora")));
    // The skin draws the whole window, its title and its buttons included, and cuts it to its
    // outline; outside the outline the window is transparent where the platform allows it.
    setFixedSize(layout::MAIN_WINDOW.width, layout::MAIN_WINDOW.height);
    setAttribute(Qt::WA_TranslucentBackground);
    auto* skin = new SkinnedDialog(this, 102);
    skin->setBackground(pictures::MAIN_BACKGROUND);
    skin->setDragFromSurface(true);
    if (ApplyRegionResource(this, pictures::MAIN_REGION,
                            [this](const QString& /*caption*/, const QString& text) {
                                boxes_.tell(this, text, QMessageBox::Warning);
                            }) == 1) {
        skin->setRegion(mask());
    }

    reporter_ = std::make_unique<BoxFileListReporter>(boxes_, this);
    list_->fileList().setReporter(reporter_.get());
    list_->fileList().setDropSettings(ACCEPT_FILES | ACCEPT_FOLDERS | FILTER_BY_EXTENSION,
                                      mpeg_audio_extensions());
    list_->setGeometry(rect_of(layout::FILE_LIST));
    // Arial where the machine has it, else a face about as narrow, for the size column.
    list_->setFont(font_for_cell_height({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                                         QStringLiteral("DejaVu Sans Condensed")},
                                        14, 550));
    new SkinnedList(list_);
    countLine_->setObjectName(id_name(ids::LIST_COUNT));
    countLine_->setTextFormat(Qt::PlainText);
    countLine_->setGeometry(rect_of(layout::LIST_COUNT_LINE));
    // A foot of the list: its ground, a hairline between, quieter text than the rows.
    countLine_->setStyleSheet(QStringLiteral("QLabel { background: #%1; color: #a4aac0;"
                                             " border-top: 1px solid #3a3d4e; padding-left: 6px; }")
                                  .arg(layout::LIST_COLOUR, 6, 16, QLatin1Char('0')));
    QFont countFont = list_->statusFont();
    countLine_->setFont(countFont);
    const QAbstractItemModel* rows = list_->model();
    connect(rows, &QAbstractItemModel::rowsInserted, this, &MainWindow::showCount);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &MainWindow::showCount);
    connect(rows, &QAbstractItemModel::modelReset, this, &MainWindow::showCount);
    showCount();
    tabs_->setGeometry(rect_of(layout::PAGE_TABS));

    // Caption-less bitmap buttons: their words are in their pictures.
    auto button = [this](int id, const pictures::Triple& faces, layout::Box box,
                         const QString& name, const QString& tip) {
        auto* b = new SkinButton(this);
        b->setObjectName(id_name(id));
        b->SetSkin(faces);
        b->SetToolTipText(tip);
        b->setAccessibleName(name);
        b->setAutoDefault(false);
        b->setGeometry(rect_of(box));
        return b;
    };
    QPushButton* addFilesButton =
        button(ids::ADD_FILES, pictures::ADD_FILES, layout::ADD_FILES_BUTTON, tr("Add Files"),
               tr("Add Files"));
    QPushButton* addFolderButton =
        button(ids::ADD_FOLDER, pictures::ADD_FOLDER, layout::ADD_FOLDER_BUTTON, tr("Add Folder"),
               tr("Add Folder"));
    QPushButton* removeButton = button(ids::REMOVE_SELECTION, pictures::REMOVE,
                                       layout::REMOVE_BUTTON, tr("Remove"), tr("Remove Selection"));
    QPushButton* clearButton = button(ids::CLEAR_ALL, pictures::CLEAR, layout::CLEAR_BUTTON,
                                      tr("Clear All"), tr("Clear All"));
    QPushButton* exitButton =
        button(ids::EXIT, pictures::EXIT, layout::EXIT_BUTTON, tr("Exit"), tr("Exit"));
    // The words are in the pictures, so the access keys go on as shortcuts (screen readers
    // announce them with the name).
    const std::pair<QAbstractButton*, QKeyCombination> keys[] = {
        {addFilesButton, Qt::ALT | Qt::Key_A}, {addFolderButton, Qt::ALT | Qt::Key_D},
        {removeButton, Qt::ALT | Qt::Key_R},   {clearButton, Qt::ALT | Qt::Key_C},
        {exitButton, Qt::ALT | Qt::Key_X},     {alwaysOnTop_, Qt::ALT | Qt::Key_T}};
    for (const auto& [b, key] : keys) {
        b->setShortcut(QKeySequence(key));
        b->setToolTip(b->toolTip() + QStringLiteral(" (") +
                      QKeySequence(key).toString(QKeySequence::NativeText) + QLatin1Char(')'));
    }
    auto* onTop = static_cast<SkinCheckBox*>(alwaysOnTop_);
    onTop->setObjectName(id_name(ids::ALWAYS_ON_TOP));
    onTop->SetSkin(pictures::ALWAYS_ON_TOP);
    onTop->SetToolTipText(tr("Always On Top"));
    onTop->setAccessibleName(tr("Always On Top"));
    onTop->setGeometry(rect_of(layout::ALWAYS_ON_TOP_BOX));

    auto menuButton = [this](int id, int picture, layout::Box box, const QString& tip) {
        auto* b = new MenuButton(this);
        b->setObjectName(id_name(id));
        b->SetBitmaps(picture, pictures::MENU_BUTTON_KEY);
        b->SetTooltipText(tip);
        b->setAccessibleName(tip);
        b->setGeometry(rect_of(box));
        return b;
    };
    MenuButton* mainMenuButton =
        menuButton(ids::MAIN_MENU, pictures::MAIN_MENU, layout::MAIN_MENU_BUTTON, tr("Main menu"));
    mainMenuButton->SetMenu(buildMainMenu());
    mainMenuButton->setShortcut(QKeySequence(Qt::ALT | Qt::Key_M));
    MenuButton* minimizeButton =
        menuButton(ids::MINIMIZE, pictures::MINIMIZE, layout::MINIMIZE_BUTTON, tr("Minimize"));
    MenuButton* closeButton =
        menuButton(ids::CLOSE, pictures::CLOSE, layout::CLOSE_BUTTON, tr("Close"));
    closeButton->setHoverColour(QColor(226, 64, 64, 210));
    listMenu_ = buildListMenu();

    connect(addFilesButton, &QPushButton::clicked, this, &MainWindow::addFiles);
    connect(addFolderButton, &QPushButton::clicked, this, &MainWindow::addFolder);
    connect(removeButton, &QPushButton::clicked, this, &MainWindow::removeSelection);
    connect(clearButton, &QPushButton::clicked, this, &MainWindow::clearAll);
    connect(exitButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(closeButton, &MenuButton::clicked, this, &QDialog::accept);
    connect(minimizeButton, &MenuButton::clicked, this, &QWidget::showMinimized);
    connect(alwaysOnTop_, &QCheckBox::toggled, this, &MainWindow::setAlwaysOnTop);

    connect(list_, &FileListCtrl::rowsClicked, this, &MainWindow::refreshInfo);
    connect(list_, &FileListCtrl::keyboardMoved, this, &MainWindow::refreshInfo);
    // The page's play length follows the switch.
    connect(tabs_->optionsPage(), &OptionsPage::exactLengthChanged, this, &MainWindow::refreshInfo);
    connect(list_, &FileListCtrl::removeRequested, this, &MainWindow::removeSelection);
    connect(list_, &FileListCtrl::selectAllRequested, this, &MainWindow::selectAll);
    connect(list_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showListMenu(list_->viewport()->mapToGlobal(at)); });

    connect(list_, &FileListCtrl::pathsDropped, this, &MainWindow::tellRefusals);
    list_->setTabKeyNavigation(false);  // Tab leaves the list for the next control
    // Bottom row first, then the pages, so that Tab walks the window as it reads.
    setTabOrder(list_, addFilesButton);
    setTabOrder(addFilesButton, addFolderButton);
    setTabOrder(addFolderButton, removeButton);
    setTabOrder(removeButton, clearButton);
    const std::pair<QKeyCombination, int> pageKeys[] = {
        {Qt::CTRL | Qt::Key_Tab, 1},
        {Qt::CTRL | Qt::Key_PageDown, 1},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, -1},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_Tab, -1},
        {Qt::CTRL | Qt::Key_PageUp, -1}};
    for (const auto& [key, step] : pageKeys) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, this, [this, step = step] { switchPage(step); });
    }

    auto* retry = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this);
    connect(retry, &QShortcut::activated, this, [this] { batch_->startRetryFailed(); });

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &MainWindow::showHelp);
    // Window managers usually take Alt+F4 themselves; this covers those that pass it on.
    auto* closeKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
    connect(closeKey, &QShortcut::activated, this, &QWidget::close);

    tabs_->outputPage()->giveDecodeKeys(this);
    batch_ = new BatchDriver(this, *list_, *tabs_->outputPage(), *tabs_->optionsPage(), boxes_);
    connect(batch_, &BatchDriver::runEnded, this, [this] {
        if (!waitingPaths_.isEmpty()) {
            addGivenPaths(std::exchange(waitingPaths_, {}));
        }
    });
    connect(batch_, &BatchDriver::exitRequested, this, [this](bool whenDone) {
        // Files handed over during the run are work the user gave after ticking the box: the
        // window stays for them (the run's end adds them).
        if (!whenDone || waitingPaths_.isEmpty()) {
            accept();
        }
    });

    lastInputFolder_ = read_setting(SETTING_LAST_INPUT_PATH, lastInputFolder_);
    placeOnScreen();
}

MainWindow::~MainWindow() {
    write_setting(SETTING_LAST_INPUT_PATH, lastInputFolder_);
    if (placed_) {
        write_setting(SETTING_WINDOW_POSITION, window_place_text(pos()));
    }
}

void MainWindow::placeOnScreen() {
    // Placed before it is first shown, so that the window manager is asked for this place
    // instead of choosing one it might not tell the window about.
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        screens.push_back(screen->availableGeometry());
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect primaryArea = primary != nullptr ? primary->availableGeometry() : QRect();
    move(window_place(size(), read_setting(SETTING_WINDOW_POSITION), screens, primaryArea));
}

void MainWindow::showEvent(QShowEvent* event) {
    placed_ = true;
    QDialog::showEvent(event);
}

QMenu* MainWindow::buildMainMenu() {
    auto* menu = new BCMenu(this);
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
    auto* menu = new BCMenu(this);
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
    retryFailed_ = command(menu, ids::CMD_RETRY_FAILED, tr("&Retry Failed\t Ctrl+R"));
    connect(retryFailed_, &QAction::triggered, this, [this] { batch_->startRetryFailed(); });
    return menu;
}

QString MainWindow::addFilesFolder() const {
    if (!lastInputFolder_.isEmpty()) {
        return lastInputFolder_;
    }
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return !music.isEmpty() && QFileInfo(music).isDir() ? music : QDir::homePath();
}

void MainWindow::addFiles() {
    const QStringList paths = QFileDialog::getOpenFileNames(
        this, tr("Add Files"), addFilesFolder(), tr("MPEG audio files (*.mp3 *.mp2 *.mp1 *.mpa)"));
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
    tellRefusals();
    // One file: the dialog reopens on that file; several: on their folder.
    lastInputFolder_ = paths.size() == 1 ? paths.first() : QFileInfo(paths.first()).absolutePath();
}

void MainWindow::addGivenPaths(const QByteArrayList& paths) {
    if (batch_->running()) {
        waitingPaths_ += paths;
        return;
    }
    // A drop only holds what exists and is skipped quietly when it is no MP3; a name typed or
    // handed over is told when it cannot be added.
    std::vector<std::string> accepted;
    std::vector<ReportRow> refused;
    for (const QByteArray& path : paths) {
        std::string bytes = path.toStdString();
        std::string reason = list_->fileList().namedPathRefusal(bytes);
        if (reason.empty()) {
            accepted.push_back(std::move(bytes));
        } else {
            refused.push_back({std::move(bytes), std::move(reason)});
        }
    }
    const bool wasEmpty = list_->fileList().rowCount() == 0;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    list_->fileList().dropPaths(accepted);
    QApplication::restoreOverrideCursor();
    if (wasEmpty && list_->fileList().rowCount() > 0) {
        selectRow(0);
    }
    tellRefusals();
    if (!refused.empty()) {
        boxes_.report(this, named_paths_report(refused), QMessageBox::Information);
    }
}

void MainWindow::addFolder() {
    QString start = read_setting(SETTING_PATH);
    if (start.isEmpty()) {
        start = lastInputFolder_.isEmpty() ? addFilesFolder() : QString();
    }
    FolderBrowser browser(boxes_, start, false, this);
    const bool wasEmpty = list_->fileList().rowCount() == 0;
    if (browser.run() == 1) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        list_->fileList().addPath(path_bytes(browser.acceptedPath()));
        write_setting(SETTING_PATH, browser.acceptedPath());
        QApplication::restoreOverrideCursor();
        tellRefusals();
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
    tabs_->infoPage()->showFile(list_->fileList().inputPath(selected.front()),
                                tabs_->optionsPage()->exactLength());
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

void MainWindow::tellRefusals() {
    auto* reporter = static_cast<BoxFileListReporter*>(reporter_.get());
    if (reporter->refused.empty()) {
        return;
    }
    const EndReport report = refusal_report(reporter->refused);
    reporter->refused.clear();
    boxes_.report(this, report, QMessageBox::Information);
}

void MainWindow::showCount() {
    const FileListModel& rows = list_->listModel();
    const int count = rows.rowCount();
    tabs_->outputPage()->setDecodeEnabled(count > 0);
    countLine_->setText(QString::fromStdString(
        list_count_text(static_cast<std::size_t>(count), rows.totalBytes())));
    countLine_->setVisible(count > 0);
    layout::Box box = layout::FILE_LIST;
    if (count > 0) {
        box.height -= layout::LIST_COUNT_HEIGHT;
    }
    list_->setGeometry(rect_of(box));
}

void MainWindow::switchPage(int step) {
    const int count = tabs_->count();
    tabs_->setCurrentIndex((tabs_->currentIndex() + step + count) % count);
    // The keys work from anywhere; the focus follows to the tabs only when it was there.
}

void MainWindow::terminate(int signalNumber) {
    terminatedBy_ = signalNumber;
    if (batch_->running()) {
        batch_->stopForTermination();  // the end of the run closes the window
        return;
    }
    if (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
    }
    // Innermost first: each dismissed dialog's loop returns to the one below it.
    QWidget* last = nullptr;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (dialog == nullptr || dialog == this || dialog == last) {
            break;
        }
        last = dialog;
        dialog->reject();
        dialog->hide();
    }
    done(QDialog::Rejected);
}

void MainWindow::showHelp() {
    const QString failure = open_help_page(QString::fromLatin1(HELP_GENERAL_PAGE));
    if (!failure.isEmpty()) {
        boxes_.tell(this, failure, QMessageBox::Warning);
    }
}

void MainWindow::showAbout() {
    AboutDialog about(boxes_, this);
    about.exec();
}

void MainWindow::showListMenu(const QPoint& position) {
    retryFailed_->setEnabled(!failed_rows(list_->listModel().statuses()).empty());
    listMenu_->exec(position);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (batch_->running()) {
        // Not forgotten: the run stops as Cancel stops it, and its end closes the window.
        event->ignore();
        batch_->stopForClose();
        return;
    }
    QDialog::closeEvent(event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Escape would cancel the dialog, and with it the program.
    if (event->matches(QKeySequence::Cancel) || event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

namespace {

// The maker's endpoints.
constexpr const char* HOME_PAGE = "https://pelmora.example.org/";
constexpr const char* DOWNLOAD_PAGE = "https://pelmora.example.org/download";
constexpr const char* FEEDBACK_ADDRESS = "mailto:feedback@pelmora.example.org";

QFont about_font() {
    return font_for_cell_height(
        {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")},
        15, QFont::Medium);
}

}  // namespace

AboutDialog::AboutDialog(MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), boxes_(boxes) {
    setWindowTitle(tr("About Pelmora"));
    setFixedSize(layout::ABOUT_DIALOG.width, layout::ABOUT_DIALOG.height);
    // Without a frame the window manager adds nothing, so the middle is exact; Qt's own
    // placement would leave room for a frame.
    if (parent != nullptr) {
        move(parent->window()->geometry().center() - rect().center());
    }
    setAttribute(Qt::WA_TranslucentBackground);
    auto* skin = new SkinnedDialog(this, 100);
    skin->setDragFromSurface(true);
    if (skin->setBackground(pictures::ABOUT_BACKGROUND) &&
        skin->makeRegionFromBackground(qRgb(0, 255, 0))) {
        skin->applyRegion();
    }

    const QFont font = about_font();
    const QFontMetrics metrics(font);
    const int lineHeight = 20;
    // Text lines on white; each piece starts where the one before it ended, so that a link
    // reads as part of its sentence.
    int x = layout::ABOUT_TEXT_X - GradientStatic::MARGIN;
    int y = layout::ABOUT_FIRST_LINE_Y;
    auto text = [&](const QString& words) {
        auto* line = new GradientStatic(words, this);
        line->setColours(Qt::white, Qt::white, Qt::black);
        line->setFont(font);
        const int width = GradientStatic::MARGIN + metrics.horizontalAdvance(words);
        line->setGeometry(x, y, width, lineHeight);
        x += width + metrics.horizontalAdvance(QLatin1Char(' ')) - GradientStatic::MARGIN;
        return line;
    };
    auto link = [&](const QString& words, const char* target) {
        auto* l = new CHyperLink(words, this);
        l->setFont(font);
        l->SetURL(QString::fromLatin1(target));
        l->setReporter([this](QWidget* over, const QString& failure) {
            boxes_.tell(over, failure, QMessageBox::Warning);
        });
        const int width = metrics.horizontalAdvance(words);
        l->setGeometry(x + GradientStatic::MARGIN, y + (lineHeight - metrics.height()) / 2, width,
                       metrics.height());
        x += width + metrics.horizontalAdvance(QLatin1Char(' '));
        return l;
    };
    auto newLine = [&] {
        x = layout::ABOUT_TEXT_X - GradientStatic::MARGIN;
        y += layout::ABOUT_LINE_HEIGHT;
    };
    text(tr("Version %1, made by").arg(QStringLiteral(PELMORA_VERSION)));
    link(tr("the Pelmora project"), HOME_PAGE);
    newLine();
    text(tr("Visit"));
    CHyperLink* updates = link(tr("pelmora.example.org"), DOWNLOAD_PAGE);
    text(tr("for updates."));
    updates->raise();  // over the margin of the words after it
    newLine();
    text(tr("Please send us your feedback to"));
    newLine();
    link(tr("feedback@pelmora.example.org"), FEEDBACK_ADDRESS);

    auto* close = new SkinButton(this);
    close->setObjectName(id_name(ids::ABOUT_CLOSE));
    close->SetSkin(pictures::ABOUT_CLOSE);
    close->SetToolTipText(tr("Close"));
    close->setAccessibleName(tr("Close"));
    close->setGeometry(rect_of(layout::ABOUT_CLOSE_BUTTON));
    close->setDefault(true);
    close->setShortcut(QKeySequence(Qt::ALT | Qt::Key_C));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        event->accept();
        const QString failure = open_help_page(QString::fromLatin1(HELP_INTRODUCTION_PAGE));
        if (!failure.isEmpty()) {
            boxes_.tell(this, failure, QMessageBox::Warning);
        }
        return;
    }
    QDialog::keyPressEvent(event);
}
