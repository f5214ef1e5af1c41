// The three tab pages (output folder and decode buttons, file information, options), the tab
// control that owns them, and the folder browser behind "...".
#pragma once

#include <QFileDialog>
#include <QTabWidget>
#include <QWidget>
#include <array>
#include <string>
#include <vector>

#include "app/core/batch.h"
#include "app/core/folder_check.h"
#include "info/tag_info.h"

class MessageBoxes;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;

// check_output_folder's messages and question, shown in message boxes over a window.
class BoxFolderSink : public FolderMessageSink {
public:
    BoxFolderSink(MessageBoxes& boxes, QWidget* parent) : boxes_(boxes), parent_(parent) {}
    void warn(const std::string& text) override;
    bool ask(const std::string& text) override;

private:
    MessageBoxes& boxes_;
    QWidget* parent_;
};

// The folder a typed text names (resolve_folder_text): "~" is the home folder; a relative
// text is taken from current, or, without one, left for the folder check to refuse.
QString resolve_folder(const QString& typed, const QString& current = QString());

// A folder chooser whose OK runs the typed or shown path through check_output_folder and
// stays open on any answer but FOLDER_OK.
class FolderBrowser : public QFileDialog {
    Q_OBJECT
public:
    FolderBrowser(MessageBoxes& boxes, const QString& startFolder, bool offerToCreate,
                  QWidget* parent = nullptr);

    // 1 when a folder was accepted, -1 otherwise.
    int run();
    QString acceptedPath() const { return acceptedPath_; }
    // The path OK would check: the typed text, relative to the folder shown; the folder shown
    // when nothing is typed.
    QString chosenPath() const;
    QLineEdit* pathEdit() const;
    QPushButton* okButton() const;

public Q_SLOTS:
    void accept() override;

private:
    MessageBoxes& boxes_;
    bool offerToCreate_;
    QString acceptedPath_;
};

class OutputPage : public QWidget {
    Q_OBJECT
public:
    OutputPage(MessageBoxes& boxes, QWidget* parent = nullptr);

    QString outputFolder() const;
    bool openFolderWhenDone() const;
    bool exitWhenDone() const;
    bool keepFolders() const;
    ExistingPolicy existingPolicy() const;
    // Decode and Decode All (and their keys) work only while the list has rows.
    void setDecodeEnabled(bool enabled);
    // Alt+E and Alt+L for Decode and Decode All, on window, so that they work from every page.
    void giveDecodeKeys(QWidget* window);

Q_SIGNALS:
    void decodeSelectedRequested();
    void decodeAllRequested();
    void keepFoldersChanged(bool keepFolders);

public Q_SLOTS:
    void browse();

protected:
    bool focusNextPrevChild(bool next) override;

private:
    // The library choices, as the settings last stored them; each change is stored.
    void addLibraryChoices();

    MessageBoxes& boxes_;
    QString lastChosenFolder_;
    QLineEdit* folderEdit_;
    QCheckBox* openFolderBox_;
    QCheckBox* exitBox_;
    QCheckBox* keepFoldersBox_ = nullptr;
    QPushButton* decode_;
    QPushButton* decodeAll_;
    std::vector<QWidget*> tabOrder_;
    std::array<QRadioButton*, 3> existingButtons_{};  // overwrite, skip, rename
};

class OptionsPage : public QWidget {
    Q_OBJECT
public:
    OptionsPage(MessageBoxes& boxes, QWidget* parent = nullptr);

    int fadeIn() const { return fadeIn_; }
    int fadeOut() const { return fadeOut_; }
    // The page as a run sees it; the output folder is the output page's.
    BatchOptions batchOptions(const std::string& outputFolder) const;
    // Stores the switches the window remembers across starts.
    void saveSettings() const;
    bool exactLength() const;
    // 1 decodes in this process, one file after another; more use that many worker processes.
    int filesAtOnce() const;

Q_SIGNALS:
    void exactLengthChanged(bool exactLength);

protected:
    bool focusNextPrevChild(bool next) override;

private Q_SLOTS:
    void fadeInEdited();
    void fadeOutEdited();
    // Either notification of a slider: while its thumb is dragged, and after a drag or a key.
    void sliderNotified(int controlId, int position);

private:
    // Reads both boxes until the first that fails, with its message; false on a failure.
    bool readFadeBoxes();
    void fadeBoxEdited(QSlider* slider, int& field);
    void writeFadeBoxes();
    void addOutputFormatChoice();
    // CD audio fixes the bit depth and exact length: their buttons show it, disabled, and
    // the user's own choices come back with another format.
    void followOutputFormat();
    // Loudness: the target box, the album and ReplayGain boxes; the loudness box and the peak
    // normalizer clear each other.
    void addLoudnessControls();

    MessageBoxes& boxes_;
    bool checkingBoxes_ = false;
    int fadeIn_ = 0;
    int fadeOut_ = 0;
    QRadioButton* sixteenBit_ = nullptr;
    QRadioButton* eightBit_;
    QCheckBox* normalize_;
    QCheckBox* skipSilence_;
    QCheckBox* exactLength_;
    QCheckBox* copyTags_;
    QCheckBox* loudness_ = nullptr;  // "Normalize loudness to [-18] LUFS"
    QSpinBox* loudnessTarget_ = nullptr;
    QCheckBox* album_ = nullptr;       // "Same gain for the whole album"
    QCheckBox* replayGain_ = nullptr;  // "Write ReplayGain tags"
    QSlider* fadeInSlider_;
    QSlider* fadeOutSlider_;
    QLineEdit* fadeInEdit_;
    QLineEdit* fadeOutEdit_;
    QSpinBox* filesAtOnce_;
    QComboBox* outputFormat_ = nullptr;
    bool formatFixesBoxes_ = false;
    bool exactLengthChosen_ = false;
    bool eightBitChosen_ = false;
    std::array<QString, 3> ownToolTips_;  // 16-bit, 8-bit, exact length
    std::vector<QWidget*> tabOrder_;
};

class InfoPage : public QWidget {
    Q_OBJECT
public:
    explicit InfoPage(QWidget* parent = nullptr);

    // The first selected file's header lines and tag fields.
    // exactLength: the play length as an exact-length decode plays the file.
    void showFile(const std::string& path, bool exactLength);
    // No file selected: the prompt and empty fields.
    void clearInfo();

private:
    void showFields(const InfoFields& fields);

    QLabel* prompt_;
    std::array<QLabel*, 4> headerLines_;
    QLineEdit* title_;
    QLineEdit* track_;
    QLineEdit* artist_;
    QLineEdit* year_;
    QLineEdit* album_;
    QLineEdit* genre_;
    QLineEdit* comment_;
};

class PageTabs : public QTabWidget {
    Q_OBJECT
public:
    PageTabs(MessageBoxes& boxes, QWidget* parent = nullptr);

    OutputPage* outputPage() const { return output_; }
    InfoPage* infoPage() const { return info_; }
    OptionsPage* optionsPage() const { return options_; }

private:
    OutputPage* output_;
    InfoPage* info_;
    OptionsPage* options_;
};
