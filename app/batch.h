// A batch run on screen: the progress dialog, the thread that runs the core's worker loop on
// a snapshot of the list and the options, and the handlers of the two decode buttons.
#pragma once

#include <QDialog>
#include <QThread>
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

public Q_SLOTS:
    void setFileBar(int lower, int upper, int step, int position);
    void setBatchBar(int lower, int upper, int step, int position);
    void setFileLine(const QString& name);
    void setCountLine(const QString& text);
    // Cancel, Escape and the close button: the engine stops at its next progress call; the
    // dialog stays until the worker has ended.
    void reject() override;

private:
    SkinProgressBar* fileBar_;
    SkinProgressBar* batchBar_;
    QLabel* fileLine_;
    QLabel* countLine_;
};

// The worker's progress as signals; connected queued, so that only the GUI thread touches
// the dialog.
class SignalProgressSink : public QObject, public ProgressSink {
    Q_OBJECT
public:
    using QObject::QObject;
    void setFileBar(int lower, int upper, int step, int position) override;
    void setBatchBar(int lower, int upper, int step, int position) override;
    void setFileLine(const std::string& name) override;
    void setCountLine(const std::string& text) override;

Q_SIGNALS:
    void fileBarChanged(int lower, int upper, int step, int position);
    void batchBarChanged(int lower, int upper, int step, int position);
    void fileLineChanged(const QString& name);
    void countLineChanged(const QString& text);
};

// Runs run_batch on its own copy of the rows and options; batch_state().progress must be set
// before it starts.
class BatchWorker : public QThread {
    Q_OBJECT
public:
    BatchWorker(std::vector<BatchFile> files, BatchOptions options, QObject* parent = nullptr);
    // Valid once the thread has ended.
    const BatchResult& result() const { return result_; }

protected:
    void run() override;

private:
    std::vector<BatchFile> files_;
    BatchOptions options_;
    BatchResult result_;
};

class BatchDriver : public QObject {
    Q_OBJECT
public:
    BatchDriver(QWidget* window, FileListCtrl& list, OutputPage& output, OptionsPage& options,
                MessageBoxes& boxes);

public Q_SLOTS:
    void startDecodeAll();
    void startDecodeSelected();

Q_SIGNALS:
    // A completed run with "Exit when done decoding" checked: the program ends.
    void exitRequested();

private:
    void start(bool selectedOnly);
    // plan: every chosen file; the run decodes those it plans to decode.
    void runProgressDialog(const std::vector<PlannedFile>& plan, const BatchOptions& options,
                           const QString& folder);
    void openOutputFolder(const QString& folder);

    QWidget* window_;
    FileListCtrl& list_;
    OutputPage& output_;
    OptionsPage& options_;
    MessageBoxes& boxes_;
};
