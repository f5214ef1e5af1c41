#include "app/pages.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QTabBar>
#include <QThread>
#include <algorithm>
#include <initializer_list>
#include <tuple>

#include "app/control_ids.h"
#include "app/core/folder_text.h"
#include "app/message_boxes.h"
#include "app/paths.h"
#include "app/settings.h"
#include "app/skin/buttons.h"
#include "app/skin/layout.h"
#include "app/skin/links.h"
#include "app/skin/pictures.h"
#include "app/skin/skin.h"
#include "app/skin/slider.h"
#include "info/mpeg_info.h"

namespace {

constexpr int FADE_MIN = 0;
constexpr int FADE_MAX = 60;

template <typename Widget>
Widget* named(Widget* widget, int id) {
    widget->setObjectName(id_name(id));
    return widget;
}

QFont info_font() {
    // Tahoma where the machine has it; else a face narrow enough for the header lines.
    return font_for_cell_height({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                                 QStringLiteral("Arial")},
                                13, 560);
}

// A page painted with its picture and cut to the picture's outline, whose green is transparent.
void skin_page(QWidget* page, int templateId, int pictureId) {
    auto* skin = new SkinnedDialog(page, templateId);
    if (skin->setBackground(pictureId) && skin->makeRegionFromBackground(qRgb(0, 255, 0))) {
        skin->applyRegion();
    }
}

// Edit boxes drawn flat on the pages: white, a thin border, the accent while focused.
QString edit_style(const QColor& text) {
    return QStringLiteral(
               "QLineEdit { background: white; color: %1; border: 1px solid #b5c4da;"
               " border-radius: 4px; padding: 0 5px; selection-background-color: #3d8bfd;"
               " selection-color: white; }"
               "QLineEdit:focus { border-color: #3d8bfd; }"
               "QLineEdit:read-only:focus { border-color: #b5c4da; }")
        .arg(text.name());
}

// Tab and Shift+Tab within a page, in the order given (the order it reads in): Qt's own chain
// follows the order the controls were made in, and reordering it does not survive compound
// controls such as a number box. Past either end the focus leaves the page for the control
// before or after it in the window. False when the focus is not on one of the page's controls.
bool step_focus(QWidget* page, const std::vector<QWidget*>& order, bool next) {
    const QWidget* focused = QApplication::focusWidget();
    const auto at = std::find_if(order.begin(), order.end(), [focused](const QWidget* w) {
        return w == focused || w->isAncestorOf(focused);
    });
    if (focused == nullptr || at == order.end()) {
        return false;
    }
    auto takes = [](const QWidget* w) {
        return w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) != 0;
    };
    const Qt::FocusReason reason = next ? Qt::TabFocusReason : Qt::BacktabFocusReason;
    const auto index = static_cast<std::ptrdiff_t>(at - order.begin());
    const auto count = static_cast<std::ptrdiff_t>(order.size());
    for (std::ptrdiff_t i = index + (next ? 1 : -1); i >= 0 && i < count; i += next ? 1 : -1) {
        QWidget* candidate = order[static_cast<std::size_t>(i)];
        if (takes(candidate)) {
            candidate->setFocus(reason);
            return true;
        }
    }
    QWidget* w = page;
    do {
        w = next ? w->nextInFocusChain() : w->previousInFocusChain();
        if (w != page && !page->isAncestorOf(w) && takes(w) && w->focusProxy() == nullptr) {
            w->setFocus(reason);
            return true;
        }
    } while (w != page);
    return false;
}

// A caption laid over the page keeps the desktop's font while it fits its box, and gives up
// size until it does: the page cannot grow with a larger desktop font.
void fit_caption(QLabel* caption) {
    QFont font = caption->font();
    const int room = caption->contentsRect().width() - 2;
    auto wide = [&] { return QFontMetrics(font).horizontalAdvance(caption->text()) > room; };
    while (wide()) {
        if (font.pixelSize() > 0) {
            if (font.pixelSize() <= 7) {
                break;
            }
            font.setPixelSize(font.pixelSize() - 1);
        } else {
            if (font.pointSizeF() <= 5.5) {
                break;
            }
            font.setPointSizeF(font.pointSizeF() - 0.5);
        }
    }
    caption->setFont(font);
}

// A caption-less bitmap button at its place on the page; its words are in its pictures.
template <class Button>
Button* picture_button(Button* button, int id, const pictures::Triple& faces, layout::Box box,
                       const QString& name) {
    button->setObjectName(id_name(id));
    button->SetSkin(faces);
    button->setGeometry(rect_of(box));
    button->setAccessibleName(name);
    return button;
}

// The words of the bitmap buttons are in their pictures, so their access keys go on as
// shortcuts (a screen reader announces them with the name) and into the tooltips.
void give_keys(std::initializer_list<std::pair<QAbstractButton*, QKeyCombination>> keys) {
    for (const auto& [button, key] : keys) {
        button->setShortcut(QKeySequence(key));
        const QString shown = QKeySequence(key).toString(QKeySequence::NativeText);
        button->setToolTip(
            button->toolTip().isEmpty()
                ? button->accessibleName() + QStringLiteral(" (") + shown + QLatin1Char(')')
                : button->toolTip() + QStringLiteral(" (") + shown + QLatin1Char(')'));
    }
}

// The captions of boxes are painted in the page's picture: their access keys move the focus.
void focus_key(QWidget* target, QKeyCombination key) {
    auto* shortcut = new QShortcut(QKeySequence(key), target);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, target, [target] {
        if (target->isVisible()) {
            target->setFocus(Qt::ShortcutFocusReason);
        }
    });
}

// Tag texts arrive as UTF-8, whichever encoding the tag holds them in.
QString tag_text(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void BoxFolderSink::warn(const std::string& text) {
    boxes_.tell(parent_, core_text(text), QMessageBox::Warning);
}

bool BoxFolderSink::ask(const std::string& text) {
    return boxes_.ask(parent_, core_text(text));
}

QString resolve_folder(const QString& typed, const QString& current) {
    const FolderTextBase base{current.isEmpty() ? std::string() : path_bytes(current),
                              path_bytes(QDir::homePath())};
    return path_text(resolve_folder_text(path_bytes(typed), base));
}

FolderBrowser::FolderBrowser(MessageBoxes& boxes, const QString& startFolder, bool offerToCreate,
                             QWidget* parent)
    : QFileDialog(parent), boxes_(boxes), offerToCreate_(offerToCreate) {
    // The accept hook below needs Qt's own dialog; a desktop's dialog would bypass it.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setOption(QFileDialog::ShowDirsOnly, true);
    setFileMode(QFileDialog::Directory);
    setAcceptMode(QFileDialog::AcceptOpen);
    setWindowTitle(tr("Browse for Folder"));
    setLabelText(QFileDialog::LookIn, tr("Please select a Folder"));
    setDirectory(!startFolder.isEmpty() && QFileInfo(startFolder).isDir() ? startFolder
                                                                          : QDir::currentPath());

    // Qt disables its OK button for a folder that does not exist yet; such a folder is what the
    // offer to create is for, so OK stays available. These run after Qt's own handlers.
    auto enableOk = [this] {
        if (QPushButton* ok = okButton()) {
            ok->setEnabled(true);
        }
    };
    if (QLineEdit* edit = pathEdit()) {
        connect(edit, &QLineEdit::textChanged, this, enableOk);
    }
    connect(this, &QFileDialog::directoryEntered, this, enableOk);
    connect(this, &QFileDialog::currentChanged, this, enableOk);
    enableOk();
}

QLineEdit* FolderBrowser::pathEdit() const {
    return findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

QPushButton* FolderBrowser::okButton() const {
    auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    return buttons != nullptr ? buttons->button(QDialogButtonBox::Open) : nullptr;
}

int FolderBrowser::run() {
    return exec() == QDialog::Accepted && !acceptedPath_.isEmpty() ? 1 : -1;
}

QString FolderBrowser::chosenPath() const {
    const QString typed = pathEdit() != nullptr ? pathEdit()->text() : QString();
    const QString shown = directory().absolutePath();
    if (typed.isEmpty()) {
        return shown;
    }
    // A folder picked in the view shows as its bare name, and it need not lie in the folder
    // shown (Qt also selects what an absolute path names); Qt knows its full path.
    const QStringList picked = selectedFiles();
    const bool fromHome = typed == QLatin1String("~") || typed.startsWith(QLatin1String("~/"));
    if (!fromHome && !QDir::isAbsolutePath(typed) && picked.size() == 1 &&
        QFileInfo(picked.first()).fileName() == typed) {
        return picked.first();
    }
    return resolve_folder(typed, shown);
}

void FolderBrowser::accept() {
    const QString path = chosenPath();
    BoxFolderSink sink(boxes_, this);
    if (check_output_folder(path_bytes(path), offerToCreate_, sink) == FOLDER_OK) {
        acceptedPath_ = path;
        // Qt's own accept would refuse a folder that was merely checked, not created.
        QDialog::accept();
        return;
    }
    if (QLineEdit* edit = pathEdit()) {
        edit->setFocus();
    }
}

OutputPage::OutputPage(MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent),
      boxes_(boxes),
      folderEdit_(named(new QLineEdit(this), ids::OUTPUT_FOLDER)),
      openFolderBox_(picture_button(new SkinCheckBox(this), ids::OPEN_FOLDER_WHEN_DONE,
                                    pictures::OPEN_FOLDER_BOX, layout::OPEN_FOLDER_BOX,
                                    tr("Open output folder after decoding"))),
      exitBox_(picture_button(new SkinCheckBox(this), ids::EXIT_WHEN_DONE,
                              pictures::EXIT_WHEN_DONE_BOX, layout::EXIT_WHEN_DONE_BOX,
                              tr("Exit when done decoding"))) {
    // "Output options" and "Output folder:" are painted in the page's picture.
    skin_page(this, 129, pictures::OUTPUT_PAGE);
    folderEdit_->setGeometry(rect_of(layout::OUTPUT_FOLDER_EDIT));
    folderEdit_->setStyleSheet(edit_style(QColor(28, 39, 64)));
    auto* browse = picture_button(new SkinButton(this), ids::BROWSE, pictures::BROWSE,
                                  layout::BROWSE_BUTTON, tr("..."));
    browse->SetToolTipText(tr("Choose Output Folder"));
    auto* decode =
        picture_button(new SkinButton(this), ids::DECODE_SELECTED, pictures::DECODE_SELECTED,
                       layout::DECODE_SELECTED_BUTTON, tr("Decode"));
    decode->SetToolTipText(tr("Decode Selected Files"));
    auto* decodeAll = picture_button(new SkinButton(this), ids::DECODE_ALL, pictures::DECODE_ALL,
                                     layout::DECODE_ALL_BUTTON, tr("Decode All"));
    decodeAll->SetToolTipText(tr("Decode All Files"));
    decode_ = decode;
    decodeAll_ = decodeAll;
    for (QPushButton* button : {browse, decode, decodeAll}) {
        button->setAutoDefault(false);
    }
    give_keys({{browse, Qt::ALT | Qt::Key_B},
               {openFolderBox_, Qt::ALT | Qt::Key_N},
               {exitBox_, Qt::ALT | Qt::Key_W}});
    folderEdit_->setAccessibleName(tr("Output folder"));
    focus_key(folderEdit_, Qt::ALT | Qt::Key_U);
    // Enter in the box starts the run, as the page's main button would.
    connect(folderEdit_, &QLineEdit::returnPressed, this, &OutputPage::decodeAllRequested);

    folderEdit_->setText(read_setting(SETTING_OUTPUT_PATH, lastChosenFolder_));
    connect(browse, &QPushButton::clicked, this, &OutputPage::browse);
    connect(decode, &QPushButton::clicked, this, &OutputPage::decodeSelectedRequested);
    connect(decodeAll, &QPushButton::clicked, this, &OutputPage::decodeAllRequested);
    addLibraryChoices();
    // Tab walks the page as it reads: the folder row, the boxes from top to bottom, then the
    // two buttons at its foot.
    tabOrder_ = {folderEdit_,
                 browse,
                 openFolderBox_,
                 exitBox_,
                 keepFoldersBox_,
                 existingButtons_[0],
                 existingButtons_[1],
                 existingButtons_[2],
                 decode,
                 decodeAll};
}

bool OutputPage::focusNextPrevChild(bool next) {
    return step_focus(this, tabOrder_, next) || QWidget::focusNextPrevChild(next);
}

namespace {

constexpr std::array<const char*, 3> EXISTING_SETTING_TEXTS = {"overwrite", "skip", "rename"};
constexpr std::array<ExistingPolicy, 3> EXISTING_POLICIES = {
    ExistingPolicy::Overwrite, ExistingPolicy::Skip, ExistingPolicy::Rename};

}  // namespace

void OutputPage::addLibraryChoices() {
    // "If the WAV file exists:" is painted in the page's picture.
    keepFoldersBox_ =
        picture_button(new SkinCheckBox(this), ids::KEEP_FOLDERS, pictures::KEEP_FOLDERS_BOX,
                       layout::KEEP_FOLDERS_BOX, tr("Keep folder structure"));
    keepFoldersBox_->setToolTip(
        tr("Files of an added folder go to the output folder under that folder's name and "
           "their own subfolders"));
    keepFoldersBox_->setChecked(read_setting(SETTING_KEEP_FOLDERS) == QLatin1String("1"));
    connect(keepFoldersBox_, &QCheckBox::toggled, this, [this](bool on) {
        write_setting(SETTING_KEEP_FOLDERS, on ? QStringLiteral("1") : QStringLiteral("0"));
        Q_EMIT keepFoldersChanged(on);
    });

    const std::array<std::tuple<int, pictures::Triple, layout::Box, QString>, 3> choices = {{
        {ids::EXISTING_OVERWRITE, pictures::EXISTING_OVERWRITE_BOX, layout::EXISTING_OVERWRITE_BOX,
         tr("Overwrite")},
        {ids::EXISTING_SKIP, pictures::EXISTING_SKIP_BOX, layout::EXISTING_SKIP_BOX, tr("Skip")},
        {ids::EXISTING_RENAME, pictures::EXISTING_RENAME_BOX, layout::EXISTING_RENAME_BOX,
         tr("Keep both")},
    }};
    const QString stored = read_setting(SETTING_EXISTING_FILES);
    std::size_t chosen = 0;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        const auto& [id, faces, box, name] = choices[i];
        existingButtons_[i] = picture_button(new SkinRadioButton(this), id, faces, box, name);
        if (stored == QLatin1String(EXISTING_SETTING_TEXTS[i])) {
            chosen = i;
        }
    }
    existingButtons_[1]->setToolTip(
        tr("Leave the WAV file as it is and do not decode the file; a cancelled file's partial "
           "WAV file is removed, so a later run finishes the rest"));
    existingButtons_[2]->setToolTip(tr("Write the new WAV file as \"name (2).wav\""));
    existingButtons_[chosen]->setChecked(true);
    give_keys({{keepFoldersBox_, Qt::ALT | Qt::Key_K},
               {existingButtons_[0], Qt::ALT | Qt::Key_V},
               {existingButtons_[1], Qt::ALT | Qt::Key_S},
               {existingButtons_[2], Qt::ALT | Qt::Key_H}});
    for (std::size_t i = 0; i < existingButtons_.size(); ++i) {
        connect(existingButtons_[i], &QRadioButton::toggled, this, [i](bool on) {
            if (on) {
                write_setting(SETTING_EXISTING_FILES,
                              QString::fromLatin1(EXISTING_SETTING_TEXTS[i]));
            }
        });
    }
}

void OutputPage::setDecodeEnabled(bool enabled) {
    decode_->setEnabled(enabled);
    decodeAll_->setEnabled(enabled);
}

void OutputPage::giveDecodeKeys(QWidget* window) {
    // On the window rather than on the buttons, so that they work from every page; a button's
    // own key would work only while its page shows.
    const std::pair<QPushButton*, QKeyCombination> keys[] = {{decode_, Qt::ALT | Qt::Key_E},
                                                             {decodeAll_, Qt::ALT | Qt::Key_L}};
    for (const auto& [button, key] : keys) {
        auto* shortcut = new QShortcut(QKeySequence(key), window);
        connect(shortcut, &QShortcut::activated, button, [button = button] {
            if (button->isEnabled()) {
                button->click();
            }
        });
        button->setToolTip(button->toolTip() + QStringLiteral(" (") +
                           QKeySequence(key).toString(QKeySequence::NativeText) + QLatin1Char(')'));
        button->setAccessibleDescription(QKeySequence(key).toString(QKeySequence::NativeText));
    }
}

bool OutputPage::keepFolders() const {
    return keepFoldersBox_->isChecked();
}

ExistingPolicy OutputPage::existingPolicy() const {
    for (std::size_t i = 0; i < existingButtons_.size(); ++i) {
        if (existingButtons_[i]->isChecked()) {
            return EXISTING_POLICIES[i];
        }
    }
    return ExistingPolicy::Overwrite;
}

QString OutputPage::outputFolder() const {
    return folderEdit_->text();
}

bool OutputPage::openFolderWhenDone() const {
    return openFolderBox_->isChecked();
}

bool OutputPage::exitWhenDone() const {
    return exitBox_->isChecked();
}

void OutputPage::browse() {
    // The browser starts from the stored folder, not from whatever is typed in the box.
    const QString start = read_setting(SETTING_OUTPUT_PATH, lastChosenFolder_);
    FolderBrowser browser(boxes_, start, true, window());
    if (browser.run() != 1) {
        return;
    }
    folderEdit_->setText(browser.acceptedPath());
    lastChosenFolder_ = browser.acceptedPath();
    write_setting(SETTING_OUTPUT_PATH, lastChosenFolder_);
}

OptionsPage::OptionsPage(MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent),
      boxes_(boxes),
      eightBit_(picture_button(new SkinRadioButton(this), ids::BITS_8, pictures::BITS_8,
                               layout::BITS_8_BUTTON, tr("8 - bit (low)"))),
      normalize_(picture_button(new SkinCheckBox(this), ids::NORMALIZE, pictures::NORMALIZE,
                                layout::NORMALIZE_BOX, tr("Normalize"))),
      skipSilence_(picture_button(new SkinCheckBox(this), ids::SKIP_SILENCE, pictures::SKIP_SILENCE,
                                  layout::SKIP_SILENCE_BOX,
                                  tr("Delete leading and trailing silence"))),
      exactLength_(picture_button(new SkinCheckBox(this), ids::EXACT_LENGTH, pictures::EXACT_LENGTH,
                                  layout::EXACT_LENGTH_BOX, tr("Exact length"))),
      copyTags_(picture_button(new SkinCheckBox(this), ids::COPY_TAGS, pictures::COPY_TAGS,
                               layout::COPY_TAGS_BOX, tr("Copy tags into the WAV"))),
      fadeInSlider_(named(new SkinSlider(Qt::Horizontal, this), ids::FADE_IN_SLIDER)),
      fadeOutSlider_(named(new SkinSlider(Qt::Horizontal, this), ids::FADE_OUT_SLIDER)),
      fadeInEdit_(named(new QLineEdit(this), ids::FADE_IN_EDIT)),
      fadeOutEdit_(named(new QLineEdit(this), ids::FADE_OUT_EDIT)),
      filesAtOnce_(named(new QSpinBox(this), ids::FILES_AT_ONCE)) {
    // "Quality select", "Effects", "Fade in" and "Fade out" are painted in the page's picture.
    skin_page(this, 131, pictures::OPTIONS_PAGE);
    sixteenBit_ = picture_button(new SkinRadioButton(this), ids::BITS_16, pictures::BITS_16,
                                 layout::BITS_16_BUTTON, tr("16 - bit (CD)"));
    sixteenBit_->setChecked(true);

    const std::array<std::tuple<QSlider*, int, layout::Box>, 2> sliders = {
        {{fadeInSlider_, ids::FADE_IN_SLIDER, layout::FADE_IN_SLIDER},
         {fadeOutSlider_, ids::FADE_OUT_SLIDER, layout::FADE_OUT_SLIDER}}};
    for (const auto& [slider, id, box] : sliders) {
        auto* skinned = static_cast<SkinSlider*>(slider);
        skinned->setControlId(id);
        skinned->setRange(FADE_MIN, FADE_MAX);
        skinned->SetPos(0);
        skinned->SetChannelPictures(pictures::SLIDER_CHANNEL, pictures::SLIDER_ACTIVE_CHANNEL);
        skinned->SetThumbPictures(pictures::SLIDER_THUMB, pictures::SLIDER_THUMB_PRESSED);
        skinned->setGeometry(rect_of(box));
        connect(skinned, &SkinSlider::thumbMoving, this, &OptionsPage::sliderNotified);
        connect(skinned, &SkinSlider::thumbMoved, this, &OptionsPage::sliderNotified);
    }
    for (auto [edit, box] : {std::pair{fadeInEdit_, layout::FADE_IN_EDIT},
                             std::pair{fadeOutEdit_, layout::FADE_OUT_EDIT}}) {
        edit->setGeometry(rect_of(box));
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        edit->setToolTip(tr("Seconds, 0 to 60"));
        edit->setStyleSheet(edit_style(QColor(28, 39, 64)));
    }
    writeFadeBoxes();
    give_keys({{sixteenBit_, Qt::ALT | Qt::Key_1},
               {eightBit_, Qt::ALT | Qt::Key_8},
               {exactLength_, Qt::ALT | Qt::Key_G},
               {copyTags_, Qt::ALT | Qt::Key_Y},
               {normalize_, Qt::ALT | Qt::Key_N},
               {skipSilence_, Qt::ALT | Qt::Key_S}});
    fadeInSlider_->setAccessibleName(tr("Fade in, seconds"));
    fadeOutSlider_->setAccessibleName(tr("Fade out, seconds"));
    fadeInEdit_->setAccessibleName(tr("Fade in, seconds"));
    fadeOutEdit_->setAccessibleName(tr("Fade out, seconds"));
    focus_key(fadeInEdit_, Qt::ALT | Qt::Key_F);
    focus_key(fadeOutEdit_, Qt::ALT | Qt::Key_U);

    exactLength_->setChecked(read_switch_setting(SETTING_EXACT_LENGTH));
    copyTags_->setChecked(read_switch_setting(SETTING_COPY_TAGS));
    for (QCheckBox* box : {exactLength_, copyTags_}) {
        connect(box, &QCheckBox::toggled, this, &OptionsPage::saveSettings);
    }
    connect(exactLength_, &QCheckBox::toggled, this, &OptionsPage::exactLengthChanged);

    // A number box, not a second slider: the useful values are few and the row is short.
    auto* caption = new QLabel(tr("Files at once"), this);
    caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    caption->setGeometry(rect_of(layout::FILES_AT_ONCE_LINE));
    caption->setStyleSheet(QStringLiteral("QLabel { color: #1c2740; }"));
    filesAtOnce_->setGeometry(rect_of(layout::FILES_AT_ONCE_EDIT));
    filesAtOnce_->setRange(1, layout::FILES_AT_ONCE_MAXIMUM);
    filesAtOnce_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    filesAtOnce_->setButtonSymbols(QAbstractSpinBox::NoButtons);
    filesAtOnce_->setAccessibleName(tr("Files at once"));
    filesAtOnce_->setToolTip(tr("Files decoded at the same time, 1 to %1; 1 decodes one after "
                                "another in the program itself (Alt+J)")
                                 .arg(layout::FILES_AT_ONCE_MAXIMUM));
    filesAtOnce_->setStyleSheet(
        edit_style(QColor(28, 39, 64))
            .replace(QStringLiteral("QLineEdit"), QStringLiteral("QSpinBox")));
    const int processors =
        std::clamp(QThread::idealThreadCount(), 1, layout::FILES_AT_ONCE_MAXIMUM);
    bool known = false;
    const int remembered = read_setting(SETTING_FILES_AT_ONCE).toInt(&known);
    filesAtOnce_->setValue(known ? remembered : processors);
    // Remembered only once chosen, so that an unchosen default follows the machine.
    connect(filesAtOnce_, &QSpinBox::valueChanged, this,
            [](int value) { write_setting(SETTING_FILES_AT_ONCE, QString::number(value)); });
    fit_caption(caption);
    // Every letter of its caption is some other control's key already.
    focus_key(filesAtOnce_, Qt::ALT | Qt::Key_J);

    // Checked when the editing ends (Enter, or the focus leaving), not on every keystroke:
    // a box on its way to a number ("-", empty) is not an error yet.
    connect(fadeInEdit_, &QLineEdit::editingFinished, this, &OptionsPage::fadeInEdited);
    connect(fadeOutEdit_, &QLineEdit::editingFinished, this, &OptionsPage::fadeOutEdited);
    addOutputFormatChoice();
    addLoudnessControls();
    // Tab walks the page as it reads, row by row and left to right: the bit depths, the
    // exact-length row with its number box, the tags row, the album box on the caption row,
    // the normalize row with the loudness box and its target, silence, then each fade's
    // slider and its box.
    // The output format stands first, on the caption row above the bit depth.
    tabOrder_ = {outputFormat_, sixteenBit_, eightBit_,       exactLength_,
                 filesAtOnce_,  copyTags_,   replayGain_,     album_,
                 normalize_,    loudness_,   loudnessTarget_, skipSilence_,
                 fadeInSlider_, fadeInEdit_, fadeOutSlider_,  fadeOutEdit_};
}

// Drawn over the free ends of three rows, since the page's picture has no room for rows of
// their own: the loudness box beside "Normalize" (they exclude each other), the album box on
// the "Effects" caption row, the tags box beside "Copy tags into the WAV". The full captions
// are their names and tooltips.
void OptionsPage::addLoudnessControls() {
    const QString text = QStringLiteral("QCheckBox, QLabel { color: #1c2740; }");
    auto box = [this, &text](const char* name, const QString& caption, const QString& full,
                             QRect place) {
        auto* check = new QCheckBox(caption, this);
        check->setObjectName(QString::fromLatin1(name));
        check->setAccessibleName(full);
        check->setToolTip(full);
        check->setStyleSheet(text);
        check->setGeometry(place);
        return check;
    };
    loudness_ = box("loudness", tr("Loudness to"), tr("Normalize loudness to -18 LUFS"),
                    QRect(112, 130, 102, 22));
    loudnessTarget_ = new QSpinBox(this);
    loudnessTarget_->setObjectName(QStringLiteral("loudnessTarget"));
    loudnessTarget_->setRange(-70, 0);
    loudnessTarget_->setValue(-18);
    loudnessTarget_->setSuffix(QString());
    loudnessTarget_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    loudnessTarget_->setButtonSymbols(QAbstractSpinBox::NoButtons);
    loudnessTarget_->setAccessibleName(tr("Loudness target, LUFS"));
    loudnessTarget_->setToolTip(
        tr("-18 is the ReplayGain 2.0 reference, -23 EBU R128 "
           "broadcast, -14 common for streaming"));
    loudnessTarget_->setStyleSheet(
        edit_style(QColor(28, 39, 64))
            .replace(QStringLiteral("QLineEdit"), QStringLiteral("QSpinBox")));
    loudnessTarget_->setGeometry(QRect(216, 130, 38, 22));
    auto* unit = new QLabel(tr("LUFS"), this);
    unit->setStyleSheet(text);
    unit->setGeometry(QRect(258, 130, 36, 22));
    album_ = box("album", tr("Same gain for the album"), tr("Same gain for the whole album"),
                 QRect(112, 110, 182, 20));
    replayGain_ =
        box("replayGain", tr("ReplayGain"), tr("Write ReplayGain tags"), QRect(200, 76, 94, 22));
    connect(loudnessTarget_, &QSpinBox::valueChanged, this, [this](int value) {
        loudness_->setAccessibleName(tr("Normalize loudness to %1 LUFS").arg(value));
        loudness_->setToolTip(loudness_->accessibleName());
    });
    // The peak normalizer rewrites the samples after the loudness was measured.
    for (QCheckBox* measured : {loudness_, replayGain_}) {
        connect(measured, &QCheckBox::toggled, this, [this](bool on) {
            if (on) {
                normalize_->setChecked(false);
            }
        });
    }
    connect(normalize_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) {
            loudness_->setChecked(false);
            replayGain_->setChecked(false);
        }
    });
}

namespace {

// The choice shares a row with a check box, so the shown name is cut with an ellipsis where
// it does not fit; the list that opens shows each name whole.
class EllipsisComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const QRect text = style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                   QStyle::SC_ComboBoxEditField, this);
        option.currentText =
            fontMetrics().elidedText(option.currentText, Qt::ElideRight, text.width());
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
};

}  // namespace

void OptionsPage::addOutputFormatChoice() {
    // The data of each entry is its setting's value; the order is OutputFormat's.
    outputFormat_ = named(new EllipsisComboBox(this), ids::OUTPUT_FORMAT);
    outputFormat_->addItem(tr("As the MP3"), QStringLiteral("mp3"));
    outputFormat_->addItem(tr("CD audio (44.1 kHz, 16-bit, stereo)"), QStringLiteral("cd"));
    outputFormat_->addItem(tr("48 kHz (video)"), QStringLiteral("video48"));
    outputFormat_->setGeometry(rect_of(layout::OUTPUT_FORMAT_CHOICE));
    outputFormat_->view()->setMinimumWidth(outputFormat_->view()->sizeHintForColumn(0) + 8);
    outputFormat_->setAccessibleName(tr("Output format"));
    outputFormat_->setToolTip(
        tr("Output format: as the MP3 (its own rate and channels), CD "
           "audio for a burner (44.1 kHz, 16-bit, stereo, exact length) "
           "or 48 kHz for a video project (Alt+4)"));
    const int remembered =
        outputFormat_->findData(read_setting(SETTING_OUTPUT_FORMAT, QStringLiteral("mp3")));
    outputFormat_->setCurrentIndex(remembered < 0 ? 0 : remembered);
    connect(outputFormat_, &QComboBox::currentIndexChanged, this, [this] {
        write_setting(SETTING_OUTPUT_FORMAT, outputFormat_->currentData().toString());
        followOutputFormat();
    });
    focus_key(outputFormat_, Qt::ALT | Qt::Key_4);
    followOutputFormat();
}

void OptionsPage::followOutputFormat() {
    const bool cd = outputFormat_->currentIndex() == static_cast<int>(OutputFormat::CdAudio);
    if (cd == formatFixesBoxes_) {
        return;
    }
    const std::array<QAbstractButton*, 3> fixed = {sixteenBit_, eightBit_, exactLength_};
    if (cd) {
        exactLengthChosen_ = exactLength_->isChecked();
        eightBitChosen_ = eightBit_->isChecked();
        for (std::size_t i = 0; i < fixed.size(); ++i) {
            ownToolTips_[i] = fixed[i]->toolTip();
        }
    }
    // Disabled first, so that the ticks below are not taken for the user's choice.
    formatFixesBoxes_ = cd;
    for (QAbstractButton* button : fixed) {
        button->setEnabled(!cd);
    }
    exactLength_->setChecked(cd || exactLengthChosen_);
    (cd || !eightBitChosen_ ? sixteenBit_ : eightBit_)->setChecked(true);
    const QString why = tr("CD audio is always 16-bit, of exact length");
    for (std::size_t i = 0; i < fixed.size(); ++i) {
        fixed[i]->setToolTip(cd ? ownToolTips_[i] + QLatin1Char('\n') + why : ownToolTips_[i]);
    }
}

bool OptionsPage::focusNextPrevChild(bool next) {
    return step_focus(this, tabOrder_, next) || QWidget::focusNextPrevChild(next);
}

BatchOptions OptionsPage::batchOptions(const std::string& outputFolder) const {
    BatchOptions options;
    options.outputFolder = outputFolder;
    options.eightBit = eightBit_->isChecked();
    options.normalize = normalize_->isChecked();
    options.skipSilence = skipSilence_->isChecked();
    options.fadeIn = fadeIn_;
    options.fadeOut = fadeOut_;
    options.exactLength = exactLength_->isChecked();
    options.copyTags = copyTags_->isChecked();
    options.outputFormat = static_cast<OutputFormat>(outputFormat_->currentIndex());
    options.loudness = loudness_->isChecked();
    options.targetLufs = loudnessTarget_->value();
    options.album = album_->isChecked();
    options.replayGain = replayGain_->isChecked();
    return options;
}

void OptionsPage::saveSettings() const {
    write_switch_setting(SETTING_EXACT_LENGTH,
                         formatFixesBoxes_ ? exactLengthChosen_ : exactLength_->isChecked());
    write_switch_setting(SETTING_COPY_TAGS, copyTags_->isChecked());
}

int OptionsPage::filesAtOnce() const {
    return filesAtOnce_->value();
}

bool OptionsPage::readFadeBoxes() {
    const std::array<std::pair<QLineEdit*, int*>, 2> boxes = {
        {{fadeInEdit_, &fadeIn_}, {fadeOutEdit_, &fadeOut_}}};
    for (const auto& [edit, field] : boxes) {
        bool isNumber = false;
        const int value = edit->text().trimmed().toInt(&isNumber, 10);
        if (!isNumber) {
            boxes_.tell(this, tr("Please enter an integer."), QMessageBox::Warning);
            return false;
        }
        // An out-of-range number is kept before it is refused; the slider then clamps it.
        *field = value;
        if (value < FADE_MIN || value > FADE_MAX) {
            boxes_.tell(
                this, tr("Please enter an integer between %1 and %2.").arg(FADE_MIN).arg(FADE_MAX),
                QMessageBox::Warning);
            return false;
        }
    }
    return true;
}

void OptionsPage::fadeBoxEdited(QSlider* slider, int& field) {
    // A message box takes the focus from the box, which ends its editing once more.
    if (checkingBoxes_) {
        return;
    }
    checkingBoxes_ = true;
    readFadeBoxes();
    checkingBoxes_ = false;
    {
        // Placing the slider is not a user's move: it must not come back as one.
        const QSignalBlocker quiet(slider);
        slider->setValue(std::clamp(field, FADE_MIN, FADE_MAX));
    }
    field = slider->value();
    writeFadeBoxes();
}

void OptionsPage::fadeInEdited() {
    fadeBoxEdited(fadeInSlider_, fadeIn_);
}

void OptionsPage::fadeOutEdited() {
    fadeBoxEdited(fadeOutSlider_, fadeOut_);
}

void OptionsPage::sliderNotified(int controlId, int position) {
    if (controlId == ids::FADE_IN_SLIDER) {
        fadeIn_ = position;
    } else if (controlId == ids::FADE_OUT_SLIDER) {
        fadeOut_ = position;
    }
    writeFadeBoxes();
}

void OptionsPage::writeFadeBoxes() {
    // Only changed texts are written, so a box that already agrees raises no new edit.
    const QString in = QString::number(fadeIn_);
    if (fadeInEdit_->text() != in) {
        fadeInEdit_->setText(in);
    }
    const QString out = QString::number(fadeOut_);
    if (fadeOutEdit_->text() != out) {
        fadeOutEdit_->setText(out);
    }
}

InfoPage::InfoPage(QWidget* parent)
    : QWidget(parent),
      prompt_(named(new GradientStatic(QString(), this), ids::INFO_PROMPT)),
      headerLines_{},
      title_(named(new QLineEdit(this), ids::TAG_TITLE)),
      track_(named(new QLineEdit(this), ids::TAG_TRACK)),
      artist_(named(new QLineEdit(this), ids::TAG_ARTIST)),
      year_(named(new QLineEdit(this), ids::TAG_YEAR)),
      album_(named(new QLineEdit(this), ids::TAG_ALBUM)),
      genre_(named(new QLineEdit(this), ids::TAG_GENRE)),
      comment_(named(new QLineEdit(this), ids::TAG_COMMENT)) {
    // The group captions and the field captions are painted in the page's picture.
    skin_page(this, 130, pictures::INFO_PAGE);
    const QFont font = info_font();
    const QColor pageColour(226, 235, 246);
    auto* prompt = static_cast<GradientStatic*>(prompt_);
    prompt->setColours(pageColour, pageColour, QColor(32, 32, 32));
    prompt->setFont(font);
    prompt->setGeometry(rect_of(layout::INFO_PROMPT));
    for (std::size_t i = 0; i < headerLines_.size(); ++i) {
        auto* line =
            named(new GradientStatic(QString(), this), ids::INFO_LINE_FIRST + static_cast<int>(i));
        line->setColours(pageColour, pageColour, QColor(64, 64, 64));
        line->setFont(font);
        layout::Box box = layout::INFO_LINE_FIRST;
        box.y += static_cast<int>(i) * box.height;
        line->setGeometry(rect_of(box));
        headerLines_[i] = line;
    }

    const std::pair<QLineEdit*, layout::Box> fields[] = {
        {title_, layout::TAG_TITLE},    {track_, layout::TAG_TRACK}, {artist_, layout::TAG_ARTIST},
        {year_, layout::TAG_YEAR},      {album_, layout::TAG_ALBUM}, {genre_, layout::TAG_GENRE},
        {comment_, layout::TAG_COMMENT}};
    for (const auto& [field, box] : fields) {
        field->setReadOnly(true);
        field->setFont(font);
        field->setStyleSheet(edit_style(QColor(219, 31, 31)));
        field->setFocusPolicy(Qt::ClickFocus);
        field->setGeometry(rect_of(box));
    }

    showFields(cleared_info_fields());
}

bool OptionsPage::exactLength() const {
    return exactLength_->isChecked();
}

void InfoPage::showFile(const std::string& path, bool exactLength) {
    InfoFields fields = info_fields_for(path, exactLength);
    // Without a frame the header lines would show a record of zeros as if it were a stream.
    MpegInfo first;
    reset(&first);
    if (!read_first_frame(&first, path.c_str()) || first.layer == 0 || first.sampleRate == 0) {
        fields.headerLines = {};
        fields.headerLines[0] = tr("no MPEG audio found").toStdString();
    }
    showFields(fields);
}

void InfoPage::clearInfo() {
    showFields(cleared_info_fields());
}

void InfoPage::showFields(const InfoFields& fields) {
    // A shown file leaves the prompt's row free; it carries the play length, with the LAME
    // tag's delay and padding when it has them.
    prompt_->setText(
        QString::fromStdString(fields.prompt.empty() ? fields.gapLine : fields.prompt));
    for (std::size_t i = 0; i < headerLines_.size(); ++i) {
        headerLines_[i]->setText(QString::fromStdString(fields.headerLines[i]));
    }
    const std::pair<QLineEdit*, QString> values[] = {
        // Track 0 is no track: an untagged file shows an empty box, not a red "0".
        {title_, tag_text(fields.tag.title)},
        {track_, fields.tag.track > 0 ? QString::number(fields.tag.track) : QString()},
        {artist_, tag_text(fields.tag.artist)},
        {year_, tag_text(fields.tag.year)},
        {album_, tag_text(fields.tag.album)},
        {genre_, tag_text(fields.tag.genreName)},
        {comment_, tag_text(fields.tag.comment)},
    };
    for (const auto& [field, text] : values) {
        field->setText(text);
        field->setCursorPosition(0);  // a long text shows its start
        field->setToolTip(text);      // and the whole of it on hovering
    }
}

PageTabs::PageTabs(MessageBoxes& boxes, QWidget* parent)
    : QTabWidget(parent),
      output_(new OutputPage(boxes)),
      info_(new InfoPage),
      options_(new OptionsPage(boxes)) {
    setObjectName(id_name(ids::PAGE_TABS));
    // Flat tabs over the window's own background; the current one takes the page colour, so
    // that it runs into its page.
    setDocumentMode(true);
    tabBar()->setDrawBase(false);
    tabBar()->setExpanding(false);
    tabBar()->setStyleSheet(
        QStringLiteral("QTabBar::tab { background: #343746; color: #b9bfd0; border: none;"
                       " border-top-left-radius: 7px; border-top-right-radius: 7px;"
                       " min-width: %1px; max-width: %1px; height: %2px; padding: 0;"
                       " margin-right: 3px; font-weight: 600; }"
                       "QTabBar::tab:hover { background: #41455a; color: white; }"
                       "QTabBar::tab:selected { background: #e2ebf6; color: #1d3358; }"
                       // the keyboard's place: the current tab, outlined in the accent
                       "QTabBar::tab:focus { border: 2px solid #3d8bfd; border-bottom: none; }")
            .arg(layout::TAB_WIDTH)
            .arg(layout::TAB_BAR_HEIGHT));
    addTab(output_, tr("&Output"));
    addTab(info_, tr("&Info"));
    addTab(options_, tr("O&ptions"));
    setCurrentIndex(0);
}
