#include "app/pages.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "app/startup.h"

namespace {

constexpr int FADE_MIN = 0;
constexpr int FADE_MAX = 60;

template <typename Widget>
Widget* named(Widget* widget, int id) {
    widget->setObjectName(id_name(id));
    return widget;
}

QFont info_font() {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(13);
    font.setWeight(static_cast<QFont::Weight>(560));
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// Tag texts arrive as id3lib stores ISO-8859-1 frames: one byte per character.
QString tag_text(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void BoxFolderSink::warn(const std::string& text) {
    boxes_.tell(parent_, core_text(text), QMessageBox::Warning);
}

bool BoxFolderSink::ask(const std::string& text) {
    return boxes_.ask(parent_, core_text(text));
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
    if (typed == QLatin1String("~") || typed.startsWith(QLatin1String("~/"))) {
        return QDir::homePath() + typed.mid(1);
    }
    if (QDir::isAbsolutePath(typed)) {
        return typed;  // as typed: a malformed path must reach the check unchanged
    }
    // A folder picked in the view shows as its bare name, and it need not lie in the folder
    // shown (Qt also selects what an absolute path names); Qt knows its full path.
    const QStringList picked = selectedFiles();
    if (picked.size() == 1 && QFileInfo(picked.first()).fileName() == typed) {
        return picked.first();
    }
    return shown.endsWith(QLatin1Char('/')) ? shown + typed : shown + QLatin1Char('/') + typed;
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
      folderEdit_(named(new QLineEdit, ids::OUTPUT_FOLDER)),
      openFolderBox_(named(new QCheckBox(tr("Open output folder after decoding")),
                           ids::OPEN_FOLDER_WHEN_DONE)),
      exitBox_(named(new QCheckBox(tr("Exit when done decoding")), ids::EXIT_WHEN_DONE)) {
    auto* browse = named(new QPushButton(tr("...")), ids::BROWSE);
    browse->setToolTip(tr("Choose Output Folder"));
    browse->setFixedWidth(36);
    auto* decode = named(new QPushButton(tr("Decode")), ids::DECODE_SELECTED);
    decode->setToolTip(tr("Decode Selected Files"));
    auto* decodeAll = named(new QPushButton(tr("Decode All")), ids::DECODE_ALL);
    decodeAll->setToolTip(tr("Decode All Files"));
    for (QPushButton* button : {browse, decode, decodeAll}) {
        button->setAutoDefault(false);
    }

    auto* group = new QGroupBox(tr("Output options"));
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(tr("Output folder:")), 0, 0, 1, 2);
    grid->addWidget(folderEdit_, 1, 0);
    grid->addWidget(browse, 1, 1);
    grid->addWidget(openFolderBox_, 2, 0, 1, 2);
    grid->addWidget(exitBox_, 3, 0, 1, 2);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(decode);
    buttons->addWidget(decodeAll);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch();
    layout->addLayout(buttons);

    folderEdit_->setText(read_setting(SETTING_OUTPUT_PATH, lastChosenFolder_));
    connect(browse, &QPushButton::clicked, this, &OutputPage::browse);
    connect(decode, &QPushButton::clicked, this, &OutputPage::decodeSelectedRequested);
    connect(decodeAll, &QPushButton::clicked, this, &OutputPage::decodeAllRequested);
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
      eightBit_(named(new QRadioButton(tr("8 - bit (low)")), ids::BITS_8)),
      normalize_(named(new QCheckBox(tr("Normalize")), ids::NORMALIZE)),
      skipSilence_(
          named(new QCheckBox(tr("Delete leading and trailing silence")), ids::SKIP_SILENCE)),
      fadeInSlider_(named(new QSlider(Qt::Horizontal), ids::FADE_IN_SLIDER)),
      fadeOutSlider_(named(new QSlider(Qt::Horizontal), ids::FADE_OUT_SLIDER)),
      fadeInEdit_(named(new QLineEdit, ids::FADE_IN_EDIT)),
      fadeOutEdit_(named(new QLineEdit, ids::FADE_OUT_EDIT)) {
    auto* sixteenBit = named(new QRadioButton(tr("16 - bit (CD)")), ids::BITS_16);
    sixteenBit->setChecked(true);

    auto* quality = new QGroupBox(tr("Quality select"));
    auto* qualityLayout = new QHBoxLayout(quality);
    qualityLayout->addWidget(sixteenBit);
    qualityLayout->addWidget(eightBit_);
    qualityLayout->addStretch();

    auto* effects = new QGroupBox(tr("Effects"));
    auto* grid = new QGridLayout(effects);
    grid->addWidget(normalize_, 0, 0, 1, 3);
    grid->addWidget(skipSilence_, 1, 0, 1, 3);
    grid->addWidget(new QLabel(tr("Fade in")), 2, 0);
    grid->addWidget(fadeInSlider_, 2, 1);
    grid->addWidget(fadeInEdit_, 2, 2);
    grid->addWidget(new QLabel(tr("Fade out")), 3, 0);
    grid->addWidget(fadeOutSlider_, 3, 1);
    grid->addWidget(fadeOutEdit_, 3, 2);
    grid->setColumnStretch(1, 1);

    for (QSlider* slider : {fadeInSlider_, fadeOutSlider_}) {
        slider->setRange(FADE_MIN, FADE_MAX);
        slider->setValue(0);
        slider->setPageStep(5);
    }
    for (QLineEdit* edit : {fadeInEdit_, fadeOutEdit_}) {
        edit->setFixedWidth(48);
        edit->setAlignment(Qt::AlignRight);
        edit->setToolTip(tr("Seconds, 0 to 60"));
    }
    writeFadeBoxes();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(quality);
    layout->addWidget(effects);
    layout->addStretch();

    connect(fadeInEdit_, &QLineEdit::textChanged, this, &OptionsPage::fadeInEdited);
    connect(fadeOutEdit_, &QLineEdit::textChanged, this, &OptionsPage::fadeOutEdited);
    connect(fadeInSlider_, &QSlider::valueChanged, this, &OptionsPage::sliderMoved);
    connect(fadeOutSlider_, &QSlider::valueChanged, this, &OptionsPage::sliderMoved);
}

BatchOptions OptionsPage::batchOptions(const std::string& outputFolder) const {
    BatchOptions options;
    options.outputFolder = outputFolder;
    options.eightBit = eightBit_->isChecked();
    options.normalize = normalize_->isChecked();
    options.skipSilence = skipSilence_->isChecked();
    options.fadeIn = fadeIn_;
    options.fadeOut = fadeOut_;
    return options;
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
    readFadeBoxes();
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

void OptionsPage::sliderMoved(int position) {
    if (sender() == fadeInSlider_) {
        fadeIn_ = position;
    } else {
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
      prompt_(named(new QLabel, ids::INFO_PROMPT)),
      headerLines_{},
      title_(named(new QLineEdit, ids::TAG_TITLE)),
      track_(named(new QLineEdit, ids::TAG_TRACK)),
      artist_(named(new QLineEdit, ids::TAG_ARTIST)),
      year_(named(new QLineEdit, ids::TAG_YEAR)),
      album_(named(new QLineEdit, ids::TAG_ALBUM)),
      genre_(named(new QLineEdit, ids::TAG_GENRE)),
      comment_(named(new QLineEdit, ids::TAG_COMMENT)) {
    const QFont font = info_font();
    const QColor pageColour(226, 235, 246);
    QPalette page = palette();
    page.setColor(QPalette::Window, pageColour);
    setPalette(page);
    setAutoFillBackground(true);

    auto* mpeg = new QGroupBox(tr("Mpeg Info"));
    auto* mpegLayout = new QVBoxLayout(mpeg);
    mpegLayout->setSpacing(2);
    QPalette promptColours = palette();
    promptColours.setColor(QPalette::WindowText, QColor(32, 32, 32));
    prompt_->setPalette(promptColours);
    prompt_->setFont(font);
    prompt_->setMinimumHeight(QFontMetrics(font).height());
    mpegLayout->addWidget(prompt_);
    QPalette lineColours = palette();
    lineColours.setColor(QPalette::WindowText, QColor(64, 64, 64));
    for (std::size_t i = 0; i < headerLines_.size(); ++i) {
        QLabel* line = named(new QLabel, ids::INFO_LINE_FIRST + static_cast<int>(i));
        line->setPalette(lineColours);
        line->setFont(font);
        line->setMinimumHeight(QFontMetrics(font).height());
        line->setTextInteractionFlags(Qt::TextSelectableByMouse);
        headerLines_[i] = line;
        mpegLayout->addWidget(line);
    }

    QPalette fieldColours = palette();
    fieldColours.setColor(QPalette::Base, Qt::white);
    fieldColours.setColor(QPalette::Text, QColor(219, 31, 31));
    for (QLineEdit* field : {title_, track_, artist_, year_, album_, genre_, comment_}) {
        field->setReadOnly(true);
        field->setFrame(false);
        field->setFont(font);
        field->setPalette(fieldColours);
        field->setFocusPolicy(Qt::ClickFocus);
    }
    track_->setFixedWidth(48);
    year_->setFixedWidth(64);

    auto* tag = new QGroupBox(tr("ID3 Tag"));
    auto* grid = new QGridLayout(tag);
    grid->setVerticalSpacing(4);
    grid->addWidget(new QLabel(tr("Title")), 0, 0);
    grid->addWidget(title_, 0, 1, 1, 3);
    grid->addWidget(new QLabel(tr("Artist")), 1, 0);
    grid->addWidget(artist_, 1, 1, 1, 3);
    grid->addWidget(new QLabel(tr("Album")), 2, 0);
    grid->addWidget(album_, 2, 1, 1, 3);
    grid->addWidget(new QLabel(tr("Year")), 3, 0);
    grid->addWidget(year_, 3, 1);
    grid->addWidget(new QLabel(tr("Track #")), 3, 2, Qt::AlignRight);
    grid->addWidget(track_, 3, 3, Qt::AlignLeft);
    grid->addWidget(new QLabel(tr("Genre")), 4, 0);
    grid->addWidget(genre_, 4, 1, 1, 3);
    grid->addWidget(new QLabel(tr("Comment")), 5, 0);
    grid->addWidget(comment_, 5, 1, 1, 3);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(mpeg);
    layout->addWidget(tag);
    layout->addStretch();

    showFields(cleared_info_fields());
}

void InfoPage::showFile(const std::string& path) {
    showFields(info_fields_for(path));
}

void InfoPage::clearInfo() {
    std::fputs("In clear id3 info\n", stdout);
    std::fflush(stdout);
    showFields(cleared_info_fields());
}

void InfoPage::showFields(const InfoFields& fields) {
    prompt_->setText(QString::fromStdString(fields.prompt));
    for (std::size_t i = 0; i < headerLines_.size(); ++i) {
        headerLines_[i]->setText(QString::fromStdString(fields.headerLines[i]));
    }
    const std::pair<QLineEdit*, QString> values[] = {
        {title_, tag_text(fields.tag.title)},     {track_, QString::number(fields.tag.track)},
        {artist_, tag_text(fields.tag.artist)},   {year_, tag_text(fields.tag.year)},
        {album_, tag_text(fields.tag.album)},     {genre_, tag_text(fields.tag.genreName)},
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
    addTab(output_, tr("Output"));
    addTab(info_, tr("Info"));
    addTab(options_, tr("Options"));
    setCurrentIndex(0);
}
