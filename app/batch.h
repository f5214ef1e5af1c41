// A batch run on screen: the progress dialog, the thread that runs the core's worker loop on
// a snapshot of the list and the options, and the handlers of the two decode buttons.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>
#include <cstdint>
#include <vector>

#include "app/core/batch.h"
#include "app/core/output_plan.h"

class FileListCtrl;
class MessageBoxes;
class OptionsPage;
class OutputPage;
class QLabel;
class SkinProgressBar;

class DecodeProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit DecodeProgressDialog(QWidget* parent = nullptr);

    // The sizes of the run's files in bytes, in their order: the batch bar weighs each file by
    // its size (see batch_weights) and moves by per mille.
    void setPlan(const std::vector<std::uint64_t>& sizes);
    // The run's file names in their order, for the file line and the rows.
    void setNames(const QStringList& names);
    // The whole name the file line shows, cut in the middle where it is too long.
    QString fileName() const { return fileName_; }
    // Several files at once: a row with a name and a bar for each of up to `workers` running
    // files replaces the file line and bar; names are the run's files in their order.
    void showRunningFiles(int workers, const QStringList& names);

    // The run Cancel stops; none, and Cancel does nothing.
    void setRun(BatchState* run) { run_ = run; }

    // The run's events, by the file's place in the run: with one file at a time the file
    // line, the count line and the file bar show it, with several its row.
    void fileStarted(int index);
    // An album's file whose loudness is measured before any of the album is written: the
    // file line, or a row, names it with what is happening; the count line says the text.
    void setMeasuringText(const QString& text);
    void fileMeasuring(int index);
    void fileMeasured(int index);
    // As the engine last reported it.
    void fileMoved(int index, int totalKiB, int doneKiB);
    void fileProgress(int index, int perMille);
    void fileEnded(int index);

public Q_SLOTS:
    void setFileBar(int lower, int upper, int step, int position);
    // The file bar starts again; the batch bar counts the files before the current one as done.
    void setFileLine(const QString& name);
    void setCountLine(const QString& text);
    // Cancel, Escape and the close button: the engine stops at its next progress call; the
    // dialog stays until the worker has ended.
    void reject() override;

private:
    void showBatchProgress();
    void showTimes();
    // The row showing file index, or a free one for it; -1 when every row is taken.
    int runningRow(int index, bool take);
    void showRunningRow(int row);

    struct RunningRow {
        QLabel* name;
        SkinProgressBar* bar;
        int index = -1;  // the file it shows; -1 while free
        int perMille = 0;
        bool measuring = false;
    };
    BatchState* run_ = nullptr;
    std::vector<RunningRow> running_;
    QStringList names_;
    QString measuringText_;
    std::vector<int> filePerMille_;  // -1 waiting, 0 to 999 running, 1000 ended
    int started_ = 0;

    SkinProgressBar* fileBar_;
    SkinProgressBar* batchBar_;
    QLabel* fileLine_;
    QLabel* countLine_;
    QLabel* timeLine_;
    QString fileName_;
    std::vector<std::uint64_t> weights_;
    int current_ = -1;
    std::int64_t fileDone_ = 0;
    std::int64_t fileTotal_ = 0;
    QElapsedTimer clock_;
};

// The run's events as signals; connected queued, so that only the GUI thread touches the
// dialog and the list. Called on the worker thread.
class SignalRunObserver : public QObject, public RunObserver {
    Q_OBJECT
public:
    using QObject::QObject;
    void started(std::size_t index) override;
    void measuring(std::size_t index) override;
    void measured(std::size_t index) override;
    // A signal for each running file.
    void progressed(const RunProgress& progress) override;
    void ended(std::size_t index, const FileOutcome& outcome) override;

Q_SIGNALS:
    void fileStartedAt(int index);
    void fileMeasuringAt(int index);
    void fileMeasuredAt(int index);
    void fileMovedAt(int index, int totalKiB, int doneKiB);
    void fileEndedAt(int index, const FileOutcome& outcome);
};

Q_DECLARE_METATYPE(FileOutcome)

// Runs the worker pool on its own copy of the rows and options in the driver's run: with
// filesAtOnce above 1 with that many processes, else with its inline worker on this thread.
// The observer hears of every file.
class BatchWorker : public QThread {
    Q_OBJECT
public:
    BatchWorker(BatchState& state, RunObserver& observer, std::vector<BatchFile> files,
                BatchOptions options, DecodeFunction decode = {}, int filesAtOnce = 1,
                QObject* parent = nullptr);
    // Valid once the thread has ended.
    const BatchResult& result() const { return result_; }
    // With albums: files not written (their WAV file is kept) that count towards their album.
    void setKeptAlbumFiles(std::vector<BatchFile> files) { keptAlbumFiles_ = std::move(files); }

protected:
    void run() override;

private:
    BatchState& state_;
    RunObserver& observer_;
    std::vector<BatchFile> files_;
    BatchOptions options_;
    DecodeFunction decode_;
    int filesAtOnce_;
    std::vector<BatchFile> keptAlbumFiles_;
    BatchResult result_;
};

class BatchDriver : public QObject {
    Q_OBJECT
public:
    BatchDriver(QWidget* window, FileListCtrl& list, OutputPage& output, OptionsPage& options,
                MessageBoxes& boxes);

    bool running() const { return running_; }
    // The run in progress, or the last one.
    const BatchState& batchState() const { return state_; }
    // What decodes each file; empty, as by default, for decode_file. For tests that stand in
    // for the engine.
    void setDecodeFunction(DecodeFunction decode) { decode_ = std::move(decode); }

public Q_SLOTS:
    void startDecodeAll();
    void startDecodeSelected();
    // The rows whose last run failed, again; nothing when none did.
    void startRetryFailed();
    // A termination signal: a run stops like Cancel, and then, without its message, asks the
    // program to end; without a run nothing happens here.
    void stopForTermination();
    // The window manager closed the window: as a termination, the run stops like Cancel and
    // the program then ends without a message.
    void stopForClose();

Q_SIGNALS:
    // The program ends: after a completed run with "Exit when done decoding" checked
    // (whenDone), or when it was asked to end during a run.
    void exitRequested(bool whenDone);
    // A run has ended and its messages are answered: the list is the window's again.
    void runEnded();

private:
    void start(bool selectedOnly);
    // chosen: row indices, increasing.
    void startRows(const std::vector<int>& chosen);
    // plan: every chosen file; the run decodes those it plans to decode. rows: the list row of
    // each planned file.
    void runProgressDialog(const std::vector<PlannedFile>& plan, const std::vector<int>& rows,
                           const BatchOptions& options, const QString& folder);
    void openOutputFolder(const QString& folder);

    QWidget* window_;
    FileListCtrl& list_;
    OutputPage& output_;
    OptionsPage& options_;
    MessageBoxes& boxes_;
    DecodeFunction decode_;
    BatchState state_;
    bool running_ = false;
    bool terminating_ = false;
};
