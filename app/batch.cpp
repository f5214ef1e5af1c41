#include "app/batch.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "app/core/folder_check.h"
#include "app/filelist.h"
#include "app/pages.h"
#include "app/startup.h"

namespace {

// A progress control clamps a position into its range, where QProgressBar would ignore it; and
// an empty range (a batch of files under 1 KiB) shows as an empty bar, not as a busy one.
void show_bar(QProgressBar* bar, int lower, int upper, int position) {
    if (upper <= lower) {
        bar->setRange(0, 1);
        bar->setValue(0);
        return;
    }
    bar->setRange(lower, upper);
    bar->setValue(std::clamp(position, lower, upper));
}

}  // namespace

DecodeProgressDialog::DecodeProgressDialog(QWidget* parent)
    : QDialog(parent),
      fileBar_(new QProgressBar),
      batchBar_(new QProgressBar),
      fileLine_(new QLabel),
      countLine_(new QLabel) {
    setWindowTitle(tr("Pelmora"));
    fileBar_->setObjectName(id_name(ids::FILE_BAR));
    batchBar_->setObjectName(id_name(ids::BATCH_BAR));
    fileLine_->setObjectName(id_name(ids::FILE_LINE));
    countLine_->setObjectName(id_name(ids::COUNT_LINE));
    for (QProgressBar* bar : {fileBar_, batchBar_}) {
        bar->setRange(0, 100);
        bar->setValue(0);
    }
    for (QLabel* line : {fileLine_, countLine_}) {
        line->setMinimumHeight(line->fontMetrics().height());
        line->setTextFormat(Qt::PlainText);
    }
    auto* cancel = new QPushButton(tr("Cancel"));
    cancel->setObjectName(id_name(ids::CANCEL));
    cancel->setToolTip(tr("Cancel Decoding"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &DecodeProgressDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fileLine_);
    layout->addWidget(fileBar_);
    layout->addSpacing(6);
    layout->addWidget(countLine_);
    layout->addWidget(batchBar_);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    setMinimumWidth(400);
}

// The step only serves a control's step-it command, which a run never gives.
void DecodeProgressDialog::setFileBar(int lower, int upper, int /*step*/, int position) {
    show_bar(fileBar_, lower, upper, position);
}

void DecodeProgressDialog::setBatchBar(int lower, int upper, int /*step*/, int position) {
    show_bar(batchBar_, lower, upper, position);
}

void DecodeProgressDialog::setFileLine(const QString& name) {
    fileLine_->setText(name);
}

void DecodeProgressDialog::setCountLine(const QString& text) {
    countLine_->setText(text);
}

void DecodeProgressDialog::reject() {
    request_cancel(batch_state());
}

void SignalProgressSink::setFileBar(int lower, int upper, int step, int position) {
    Q_EMIT fileBarChanged(lower, upper, step, position);
}

void SignalProgressSink::setBatchBar(int lower, int upper, int step, int position) {
    Q_EMIT batchBarChanged(lower, upper, step, position);
}

void SignalProgressSink::setFileLine(const std::string& name) {
    Q_EMIT fileLineChanged(path_text(name));
}

void SignalProgressSink::setCountLine(const std::string& text) {
    Q_EMIT countLineChanged(QString::fromStdString(text));
}

BatchWorker::BatchWorker(std::vector<BatchFile> files, BatchOptions options, QObject* parent)
    : QThread(parent), files_(std::move(files)), options_(std::move(options)) {}

void BatchWorker::run() {
    result_ = run_batch(files_, options_);
}

BatchDriver::BatchDriver(QWidget* window, FileListCtrl& list, OutputPage& output,
                         OptionsPage& options, MessageBoxes& boxes)
    : QObject(window),
      window_(window),
      list_(list),
      output_(output),
      options_(options),
      boxes_(boxes) {
    connect(&output_, &OutputPage::decodeAllRequested, this, &BatchDriver::startDecodeAll);
    connect(&output_, &OutputPage::decodeSelectedRequested, this,
            &BatchDriver::startDecodeSelected);
}

void BatchDriver::startDecodeAll() {
    start(false);
}

void BatchDriver::startDecodeSelected() {
    start(true);
}

void BatchDriver::start(bool selectedOnly) {
    const FileList& rows = list_.fileList();
    if (rows.rowCount() == 0) {
        return;
    }
    std::vector<int> chosen;
    if (selectedOnly) {
        chosen = list_.selectedRowIndices();
        if (chosen.empty()) {
            boxes_.tell(window_, tr("Select the files to decode!"), QMessageBox::Warning);
            return;
        }
    } else {
        for (int i = 0; i < rows.rowCount(); ++i) {
            chosen.push_back(i);
        }
    }

    const QString folder = output_.outputFolder();
    BoxFolderSink sink(boxes_, window_);
    if (check_output_folder(path_bytes(folder), true, sink) != FOLDER_OK) {
        return;
    }
    write_setting(SETTING_OUTPUT_PATH, folder);

    BatchState& state = batch_state();
    state.stopRequested = 0;
    state.batchTotalKiB = 0;
    state.lastFileTotalKiB = 0;
    state.completedKiB = 0;

    // The run works on copies: the worker must not read the list or the pages.
    std::vector<BatchFile> files;
    std::vector<std::string> paths;
    files.reserve(chosen.size());
    paths.reserve(chosen.size());
    for (int index : chosen) {
        const FileRow& row = rows.row(index);
        files.push_back(BatchFile{row.name, row.folder});
        paths.push_back(row.folder + row.name);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    state.batchTotalKiB = scan_batch_size(paths, state);
    QApplication::restoreOverrideCursor();

    runProgressDialog(files, options_.batchOptions(path_bytes(folder)), folder);
}

void BatchDriver::runProgressDialog(const std::vector<BatchFile>& files,
                                    const BatchOptions& options, const QString& folder) {
    BatchState& state = batch_state();
    state.stopRequested = 0;
    state.cancelRequested = 0;

    DecodeProgressDialog dialog(window_);
    SignalProgressSink sink;
    connect(&sink, &SignalProgressSink::fileBarChanged, &dialog, &DecodeProgressDialog::setFileBar,
            Qt::QueuedConnection);
    connect(&sink, &SignalProgressSink::batchBarChanged, &dialog,
            &DecodeProgressDialog::setBatchBar, Qt::QueuedConnection);
    connect(&sink, &SignalProgressSink::fileLineChanged, &dialog,
            &DecodeProgressDialog::setFileLine, Qt::QueuedConnection);
    connect(&sink, &SignalProgressSink::countLineChanged, &dialog,
            &DecodeProgressDialog::setCountLine, Qt::QueuedConnection);

    BatchWorker worker(files, options);
    // Queued as well: the dialog ends only after every progress update before it was shown.
    connect(
        &worker, &QThread::finished, &dialog,
        [&] {
            worker.wait();
            dialog.done(finish_batch(worker.result(), state, output_.exitWhenDone()).dialogResult);
        },
        Qt::QueuedConnection);

    state.progress = &sink;
    worker.start();
    dialog.exec();
    worker.wait();
    state.progress = nullptr;

    const bool exitWhenDone = output_.exitWhenDone();
    const BatchEnd end = finish_batch(worker.result(), state, exitWhenDone);
    if (!end.message.empty()) {
        const bool failures = end.dialogResult != 2 && !worker.result().failed.empty();
        boxes_.tell(window_, core_text(end.message),
                    failures ? QMessageBox::Warning : QMessageBox::Information);
    }
    if (end.openFolder) {
        openOutputFolder(folder);
    }
    if (exit_after_run(state, exitWhenDone)) {
        openOutputFolder(folder);
        state.stopRequested = 1;
        Q_EMIT exitRequested();
    }
}

void BatchDriver::openOutputFolder(const QString& folder) {
    if (output_.openFolderWhenDone()) {
        // Whether a file manager came up is not examined.
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    }
}
