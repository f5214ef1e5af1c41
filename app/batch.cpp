#include "app/batch.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <optional>

#include "app/control_ids.h"
#include "app/core/album_loudness.h"
#include "app/core/end_report.h"
#include "app/core/file_status.h"
#include "app/core/folder_check.h"
#include "app/core/run_progress.h"
#include "app/core/worker_pool.h"
#include "app/filelist.h"
#include "app/message_boxes.h"
#include "app/pages.h"
#include "app/paths.h"
#include "app/run_hold.h"
#include "app/settings.h"
#include "app/skin/buttons.h"
#include "app/skin/layout.h"
#include "app/skin/pictures.h"
#include "app/skin/progress.h"
#include "app/skin/skin.h"

DecodeProgressDialog::DecodeProgressDialog(QWidget* parent)
    : QDialog(parent),
      fileBar_(new SkinProgressBar(this)),
      batchBar_(new SkinProgressBar(this)),
      fileLine_(new QLabel(this)),
      countLine_(new QLabel(this)),
      timeLine_(new QLabel(this)) {
    setWindowTitle(tr("Pelmora"));
    // No picture of its own: the skin's dark colour, and the surface drags the window.
    auto* skin = new SkinnedDialog(this, 143);
    skin->setDragFromSurface(true);
    const QColor background(static_cast<QRgb>(layout::PROGRESS_COLOUR));
    QPalette colours = palette();
    colours.setColor(QPalette::Window, background);
    colours.setColor(QPalette::WindowText, QColor(226, 230, 240));
    setPalette(colours);
    setAutoFillBackground(true);
    setFixedSize(layout::PROGRESS_DIALOG.width, layout::PROGRESS_DIALOG.height);

    fileBar_->setObjectName(id_name(ids::FILE_BAR));
    batchBar_->setObjectName(id_name(ids::BATCH_BAR));
    fileLine_->setObjectName(id_name(ids::FILE_LINE));
    countLine_->setObjectName(id_name(ids::COUNT_LINE));
    timeLine_->setObjectName(id_name(ids::TIME_LINE));
    for (auto [bar, box] :
         {std::pair{fileBar_, layout::FILE_BAR}, std::pair{batchBar_, layout::BATCH_BAR}}) {
        bar->setFramed(true);
        bar->SetBitmap(pictures::BAR_FILL);
        bar->SetRange32(0, 100);
        bar->SetPos(0);
        bar->setGeometry(rect_of(box));
    }
    batchBar_->SetRange32(0, 1000);
    for (auto [line, box] :
         {std::pair{fileLine_, layout::FILE_LINE}, std::pair{countLine_, layout::COUNT_LINE},
          std::pair{timeLine_, layout::TIME_LINE}}) {
        line->setTextFormat(Qt::PlainText);
        line->setGeometry(rect_of(box));
    }
    QFont name = fileLine_->font();
    name.setBold(true);
    fileLine_->setFont(name);
    auto* cancel = new SkinButton(this);
    cancel->SetSkin(pictures::CANCEL);
    cancel->setObjectName(id_name(ids::CANCEL));
    cancel->SetToolTipText(tr("Cancel Decoding (Esc)"));
    cancel->setAccessibleName(tr("Cancel"));
    cancel->setShortcut(QKeySequence(Qt::ALT | Qt::Key_C));
    cancel->setAutoDefault(false);
    cancel->setGeometry(rect_of(layout::CANCEL_BUTTON));
    connect(cancel, &QPushButton::clicked, this, &DecodeProgressDialog::reject);

    clock_.start();
    auto* ticks = new QTimer(this);
    connect(ticks, &QTimer::timeout, this, &DecodeProgressDialog::showTimes);
    ticks->start(1000);
    showTimes();
}

void DecodeProgressDialog::setPlan(const std::vector<std::uint64_t>& sizes) {
    weights_ = batch_weights(sizes);
    current_ = -1;
    showBatchProgress();
}

void DecodeProgressDialog::setNames(const QStringList& names) {
    names_ = names;
    filePerMille_.assign(static_cast<std::size_t>(names.size()), -1);
}

void DecodeProgressDialog::showRunningFiles(int workers, const QStringList& names) {
    setNames(names);
    fileBar_->hide();
    fileLine_->hide();
    // The rows take the place of the file line and bar; what is below moves down by the rest.
    const int rows = std::max(workers, 1);
    const int grow = std::max(0, rows - 2) * layout::RUNNING_ROW_HEIGHT;
    for (QWidget* below : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (below->y() >= layout::COUNT_LINE.y) {
            below->move(below->x(), below->y() + grow);
        }
    }
    setFixedSize(layout::PROGRESS_DIALOG.width, layout::PROGRESS_DIALOG.height + grow);
    for (int i = 0; i < rows; ++i) {
        RunningRow row{new QLabel(this), new SkinProgressBar(this)};
        row.name->setObjectName(id_name(ids::RUNNING_FIRST + 2 * i));
        row.bar->setObjectName(id_name(ids::RUNNING_FIRST + 2 * i + 1));
        row.name->setTextFormat(Qt::PlainText);
        row.name->setFont(fileLine_->font());
        row.bar->setFramed(true);
        row.bar->SetBitmap(pictures::BAR_FILL);
        row.bar->SetRange32(0, 1000);
        row.bar->SetPos(0);
        const int dy = i * layout::RUNNING_ROW_HEIGHT;
        row.name->setGeometry(rect_of(layout::RUNNING_NAME).translated(0, dy));
        row.bar->setGeometry(rect_of(layout::RUNNING_BAR).translated(0, dy));
        row.name->show();
        row.bar->show();
        running_.push_back(row);
    }
}

int DecodeProgressDialog::runningRow(int index, bool take) {
    for (std::size_t i = 0; i < running_.size(); ++i) {
        if (running_[i].index == index) {
            return static_cast<int>(i);
        }
    }
    if (take) {
        for (std::size_t i = 0; i < running_.size(); ++i) {
            if (running_[i].index < 0) {
                running_[i].index = index;
                running_[i].perMille = 0;
                running_[i].measuring = false;
                return static_cast<int>(i);
            }
        }
    }
    return -1;
}

void DecodeProgressDialog::showRunningRow(int row) {
    RunningRow& shown = running_[static_cast<std::size_t>(row)];
    if (shown.index < 0) {
        shown.name->clear();
        shown.name->setToolTip(QString());
        shown.bar->SetPos(0);
        return;
    }
    const QString name = names_.value(shown.index);
    // The name gives way in its middle; the percentage (or what happens) always shows.
    const QString percent =
        shown.measuring ? tr("  measuring loudness") : tr("  %1%").arg(shown.perMille / 10);
    const QString text = name + percent;
    const QFontMetrics metrics = shown.name->fontMetrics();
    const int room = shown.name->width() - metrics.horizontalAdvance(percent);
    shown.name->setText(metrics.elidedText(name, Qt::ElideMiddle, room) + percent);
    shown.name->setToolTip(text);
    shown.bar->SetPos(shown.perMille);
}

void DecodeProgressDialog::fileStarted(int index) {
    if (index < 0 || index >= static_cast<int>(filePerMille_.size())) {
        return;
    }
    if (running_.empty()) {
        // One at a time: the files before it count whole in the batch bar.
        current_ = index;
        setFileLine(names_.value(index));
        setCountLine(
            QString::fromStdString(count_line(index + 1, static_cast<int>(names_.size()))));
        return;
    }
    filePerMille_[static_cast<std::size_t>(index)] = 0;
    started_ = std::max(started_, index + 1);
    setCountLine(QString::fromStdString(count_line(started_, static_cast<int>(names_.size()))));
    const int row = runningRow(index, true);
    if (row >= 0) {
        running_[static_cast<std::size_t>(row)].measuring = false;
        showRunningRow(row);
    }
    showBatchProgress();
}

void DecodeProgressDialog::setMeasuringText(const QString& text) {
    measuringText_ = text;
    setCountLine(text);
}

void DecodeProgressDialog::fileMeasuring(int index) {
    if (index < 0 || index >= static_cast<int>(names_.size())) {
        return;
    }
    if (running_.empty()) {
        // A measuring decode reports no progress: the file bar waits empty for the writing.
        setFileLine(names_.value(index));
        setFileBar(0, 1, 1, 0);
        setCountLine(measuringText_);
        return;
    }
    const int row = runningRow(index, true);
    if (row >= 0) {
        running_[static_cast<std::size_t>(row)].measuring = true;
        showRunningRow(row);
    }
}

void DecodeProgressDialog::fileMeasured(int index) {
    const int row = runningRow(index, false);
    if (row < 0 || !running_[static_cast<std::size_t>(row)].measuring) {
        return;
    }
    // The row is free for the next file; this one's writing takes a row when it starts.
    running_[static_cast<std::size_t>(row)].index = -1;
    running_[static_cast<std::size_t>(row)].measuring = false;
    showRunningRow(row);
}

void DecodeProgressDialog::fileMoved(int index, int totalKiB, int doneKiB) {
    if (running_.empty()) {
        setFileBar(0, totalKiB, totalKiB / 30, doneKiB);
        return;
    }
    fileProgress(index, running_per_mille(totalKiB, doneKiB));
}

void DecodeProgressDialog::fileProgress(int index, int perMille) {
    if (index < 0 || index >= static_cast<int>(filePerMille_.size())) {
        return;
    }
    filePerMille_[static_cast<std::size_t>(index)] = perMille;
    const int row = runningRow(index, true);
    if (row >= 0) {
        running_[static_cast<std::size_t>(row)].perMille = perMille;
        showRunningRow(row);
    }
    showBatchProgress();
}

void DecodeProgressDialog::fileEnded(int index) {
    if (index < 0 || index >= static_cast<int>(filePerMille_.size())) {
        return;
    }
    filePerMille_[static_cast<std::size_t>(index)] = 1000;
    // A file can end before the pool has reported it running.
    if (index + 1 > started_) {
        started_ = index + 1;
        setCountLine(QString::fromStdString(count_line(started_, static_cast<int>(names_.size()))));
    }
    const int row = runningRow(index, false);
    if (row >= 0) {
        running_[static_cast<std::size_t>(row)].index = -1;
        showRunningRow(row);
    }
    showBatchProgress();
}

void DecodeProgressDialog::setFileBar(int lower, int upper, int step, int position) {
    fileBar_->SetRange32(lower, upper);
    fileBar_->SetStep(step);
    fileBar_->SetPos(position);
    fileDone_ = position - lower;
    fileTotal_ = upper - lower;
    showBatchProgress();
}

void DecodeProgressDialog::setFileLine(const QString& name) {
    fileDone_ = 0;
    fileTotal_ = 0;
    fileName_ = name;
    fileLine_->setText(fileLine_->fontMetrics().elidedText(name, Qt::ElideMiddle,
                                                           fileLine_->contentsRect().width()));
    fileLine_->setToolTip(name);
    showBatchProgress();
}

void DecodeProgressDialog::showBatchProgress() {
    if (running_.empty()) {
        batchBar_->SetPos(batch_per_mille(weights_, std::max(current_, 0), fileDone_, fileTotal_));
        return;
    }
    // Files end out of order: each file's share of the weights, as far as it has come.
    std::uint64_t done = 0;
    for (std::size_t i = 0; i < filePerMille_.size() && i + 1 < weights_.size(); ++i) {
        if (filePerMille_[i] > 0) {
            const std::uint64_t weight = weights_[i + 1] - weights_[i];
            done += weight * static_cast<std::uint64_t>(filePerMille_[i]) / 1000;
        }
    }
    const std::uint64_t total = weights_.empty() ? 0 : weights_.back();
    batchBar_->SetPos(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
}

void DecodeProgressDialog::showTimes() {
    const std::int64_t elapsed = clock_.elapsed();
    const std::int64_t left = time_left_ms(elapsed, batchBar_->value());
    QString text = tr("Elapsed %1").arg(QString::fromStdString(clock_text(elapsed)));
    if (left >= 0) {
        // Rounded up: "0:00 left" while work remains would be a promise broken.
        text += tr(", about %1 left").arg(QString::fromStdString(clock_text(left + 999)));
    }
    timeLine_->setText(text);
}

void DecodeProgressDialog::setCountLine(const QString& text) {
    countLine_->setText(text);
}

void DecodeProgressDialog::reject() {
    if (run_ != nullptr) {
        request_cancel(*run_);
    }
}

void SignalRunObserver::started(std::size_t index) {
    Q_EMIT fileStartedAt(static_cast<int>(index));
}

void SignalRunObserver::measuring(std::size_t index) {
    Q_EMIT fileMeasuringAt(static_cast<int>(index));
}

void SignalRunObserver::measured(std::size_t index) {
    Q_EMIT fileMeasuredAt(static_cast<int>(index));
}

void SignalRunObserver::progressed(const RunProgress& progress) {
    for (const RunningFile& file : progress.running) {
        Q_EMIT fileMovedAt(static_cast<int>(file.index), file.totalKiB, file.doneKiB);
    }
}

void SignalRunObserver::ended(std::size_t index, const FileOutcome& outcome) {
    Q_EMIT fileEndedAt(static_cast<int>(index), outcome);
}

BatchWorker::BatchWorker(BatchState& state, RunObserver& observer, std::vector<BatchFile> files,
                         BatchOptions options, DecodeFunction decode, int filesAtOnce,
                         QObject* parent)
    : QThread(parent),
      state_(state),
      observer_(observer),
      files_(std::move(files)),
      options_(std::move(options)),
      decode_(std::move(decode)),
      filesAtOnce_(filesAtOnce) {}

void BatchWorker::run() {
    const RequestBuilder build = window_requests(options_);
    // The engine's own lines go with each file's status rather than to the terminal. One at a
    // time in this process: the dither runs on from file to file as it always has. The
    // processors the files at once share: as files end, the ones still running take up those
    // they free.
    PoolSettings settings{filesAtOnce_, true};
    settings.inProcess = filesAtOnce_ <= 1 || files_.size() <= 1;
    ProcessorTokens tokens{-1, -1, 0, nullptr};
    if (!settings.inProcess && processor_tokens_create(&tokens, QThread::idealThreadCount()) == 0) {
        settings.tokens = &tokens;
        settings.fileThreads = options_.threadsPerFile;
    }
    // "Same gain for the whole album": an album's files are written once all are measured.
    if (options_.album && (options_.loudness || options_.replayGain)) {
        result_ = run_album_files(state_, files_, keptAlbumFiles_, build, settings, observer_,
                                  output_decoder(options_, decode_));
    } else {
        result_ = run_worker_pool(state_, files_, build, settings, observer_,
                                  output_decoder(options_, decode_));
    }
    processor_tokens_close(&tokens);
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
    list_.fileList().setKeepFolders(output_.keepFolders());
    connect(&output_, &OutputPage::keepFoldersChanged, this,
            [this](bool on) { list_.fileList().setKeepFolders(on); });
}

void BatchDriver::startDecodeAll() {
    start(false);
}

void BatchDriver::startDecodeSelected() {
    start(true);
}

void BatchDriver::startRetryFailed() {
    const std::vector<int> failed = failed_rows(list_.listModel().statuses());
    if (!running_ && !failed.empty()) {
        startRows(failed);
    }
}

void BatchDriver::start(bool selectedOnly) {
    const FileList& rows = list_.fileList();
    if (running_ || rows.rowCount() == 0) {
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
    startRows(chosen);
}

void BatchDriver::startRows(const std::vector<int>& chosen) {
    const FileList& rows = list_.fileList();

    const QString folder = resolve_folder(output_.outputFolder());
    BoxFolderSink sink(boxes_, window_);
    if (check_output_folder(path_bytes(folder), true, sink) != FOLDER_OK) {
        return;
    }
    write_setting(SETTING_OUTPUT_PATH, folder);
    options_.saveSettings();

    // The run works on copies: the worker must not read the list or the pages.
    std::vector<BatchFile> files;
    files.reserve(chosen.size());
    for (int index : chosen) {
        const FileRow& row = rows.row(index);
        files.push_back(BatchFile{row.name, row.folder, row.root});
    }
    BatchOptions options = options_.batchOptions(path_bytes(folder));
    options.keepFolders = output_.keepFolders();
    options.existing = output_.existingPolicy();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::vector<PlannedFile> plan = plan_outputs(files, options, true);
    begin_batch(state_, files_to_decode(plan));
    QApplication::restoreOverrideCursor();

    running_ = true;
    runProgressDialog(plan, chosen, options, folder);
    running_ = false;
    Q_EMIT runEnded();
}

void BatchDriver::stopForClose() {
    stopForTermination();
}

void BatchDriver::stopForTermination() {
    if (running_) {
        terminating_ = true;
        request_cancel(state_);
    }
}

void BatchDriver::runProgressDialog(const std::vector<PlannedFile>& plan,
                                    const std::vector<int>& rows, const BatchOptions& options,
                                    const QString& folder) {
    BatchState& state = state_;
    // The dialog cannot be left while the run goes on, so the box cannot change meanwhile.
    const bool exitWhenDone = output_.exitWhenDone();
    DecodeProgressDialog dialog(window_);
    dialog.setRun(&state);
    const std::vector<BatchFile> files = files_to_decode(plan);
    std::vector<std::uint64_t> sizes;
    sizes.reserve(files.size());
    for (const BatchFile& file : files) {
        // A file that is gone now counts as empty; the run will say why it failed.
        const QFileInfo info(path_text(input_path(file)));
        sizes.push_back(info.isFile() ? static_cast<std::uint64_t>(info.size()) : 0);
    }
    dialog.setPlan(sizes);
    SignalRunObserver observer;
    qRegisterMetaType<FileOutcome>();
    QStringList names;
    for (const BatchFile& file : files) {
        names.push_back(path_text(file.name));
    }
    const int filesAtOnce = files.size() > 1 ? options_.filesAtOnce() : 1;
    if (filesAtOnce > 1) {
        dialog.showRunningFiles(std::min<int>(filesAtOnce, static_cast<int>(files.size())), names);
    } else {
        dialog.setNames(names);
    }
    const std::vector<BatchFile> keptAlbumFiles = kept_album_files(plan);
    // An album's files are written only once the whole album is measured: until the first
    // starts, the dialog says what the wait is for.
    if (options.album && (options.loudness || options.replayGain)) {
        const std::size_t measured = files.size() + keptAlbumFiles.size();
        dialog.setMeasuringText(
            measured == 1
                ? tr("Measuring the loudness of 1 file for the album gain...")
                : tr("Measuring the loudness of %1 files for the album gain...").arg(measured));
    }
    connect(&observer, &SignalRunObserver::fileStartedAt, &dialog,
            &DecodeProgressDialog::fileStarted, Qt::QueuedConnection);
    connect(&observer, &SignalRunObserver::fileMovedAt, &dialog, &DecodeProgressDialog::fileMoved,
            Qt::QueuedConnection);
    connect(&observer, &SignalRunObserver::fileMeasuringAt, &dialog,
            &DecodeProgressDialog::fileMeasuring, Qt::QueuedConnection);
    connect(&observer, &SignalRunObserver::fileMeasuredAt, &dialog,
            &DecodeProgressDialog::fileMeasured, Qt::QueuedConnection);
    connect(
        &observer, &SignalRunObserver::fileEndedAt, &dialog,
        [&dialog](int index, const FileOutcome&) { dialog.fileEnded(index); },
        Qt::QueuedConnection);

    // Every chosen row says now what the plan decided; the run's events then move the rows it
    // decodes, which it numbers in its own order.
    FileListModel& model = list_.listModel();
    std::vector<int> runRows;
    for (std::size_t i = 0; i < plan.size() && i < rows.size(); ++i) {
        model.setStatus(rows[i], planned_status(plan[i]));
        if (plan[i].action == PlanAction::Decode) {
            runRows.push_back(rows[i]);
        }
    }
    list_.showStatuses(true);
    auto rowOf = [runRows](int index) {
        return index >= 0 && static_cast<std::size_t>(index) < runRows.size()
                   ? runRows[static_cast<std::size_t>(index)]
                   : -1;
    };
    // A row whose file has begun a stage of its run: measuring, measured, then decoding.
    auto beginRow = [&model, rowOf](int index, FileState stage) {
        FileStatus status;
        status.state = stage;
        model.setStatus(rowOf(index), status);
    };
    connect(
        &observer, &SignalRunObserver::fileStartedAt, &dialog,
        [beginRow](int index) { beginRow(index, FileState::Decoding); }, Qt::QueuedConnection);
    connect(
        &observer, &SignalRunObserver::fileMeasuringAt, &dialog,
        [beginRow](int index) { beginRow(index, FileState::Measuring); }, Qt::QueuedConnection);
    connect(
        &observer, &SignalRunObserver::fileMeasuredAt, &dialog,
        [beginRow](int index) { beginRow(index, FileState::Measured); }, Qt::QueuedConnection);
    connect(
        &observer, &SignalRunObserver::fileMovedAt, &dialog,
        [&model, rowOf](int index, int totalKiB, int doneKiB) {
            const int row = rowOf(index);
            const int perMille = running_per_mille(totalKiB, doneKiB);
            if (row >= 0 && model.status(row).perMille / 10 != perMille / 10) {
                FileStatus status = model.status(row);
                status.state = FileState::Decoding;
                status.perMille = perMille;
                model.setStatus(row, std::move(status));
            }
        },
        Qt::QueuedConnection);
    connect(
        &observer, &SignalRunObserver::fileEndedAt, &dialog,
        [&model, rowOf](int index, const FileOutcome& outcome) {
            const int row = rowOf(index);
            if (row >= 0) {
                model.setStatus(row, ended_status(outcome, model.status(row).perMille));
            }
        },
        Qt::QueuedConnection);

    // The processors not taken by the other files at once decode each file.
    BatchOptions fileOptions = options;
    const int running = std::min<int>(filesAtOnce, static_cast<int>(files.size()));
    fileOptions.threadsPerFile = std::max(1, QThread::idealThreadCount() / std::max(1, running));
    BatchWorker worker(state, observer, files, fileOptions, decode_, filesAtOnce);
    worker.setKeptAlbumFiles(keptAlbumFiles);
    std::optional<BatchEnd> end;
    BatchResult result;
    auto finish = [&] {
        worker.wait();
        if (!end) {
            result = worker.result();
            add_plan_outcome(plan, result);  // skipped, and failed before decoding
            end = finish_batch(result, state, exitWhenDone);
        }
    };
    // Queued as well: the dialog ends only after every progress update before it was shown.
    connect(
        &worker, &QThread::finished, &dialog,
        [&] {
            finish();
            dialog.done(end->dialogResult);
        },
        Qt::QueuedConnection);

    worker.start();
    run_beside(window_, dialog);
    finish();

    if (terminating_) {
        // The program is asked to end: no message waits for an answer, no folder opens.
        terminating_ = false;
        Q_EMIT exitRequested(false);
        return;
    }
    if (!end->message.empty()) {
        boxes_.report(window_, counted_end_report(result, *end),
                      end->failures ? QMessageBox::Warning : QMessageBox::Information);
    }
    if (end->openFolder) {
        openOutputFolder(folder);
    }
    if (end->exitProgram) {
        openOutputFolder(folder);
        state.stopRequested = 1;
        Q_EMIT exitRequested(true);
    }
}

void BatchDriver::openOutputFolder(const QString& folder) {
    if (output_.openFolderWhenDone() && !QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {
        boxes_.tell(
            window_,
            tr("No file manager could be started to show the output folder:\n\n%1").arg(folder),
            QMessageBox::Warning);
    }
}
