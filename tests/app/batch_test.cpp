// Real batch runs from the window: the engine decodes fixtures on the worker thread while the
// progress dialog's bars and lines are watched from inside its modal loop.
#include "app/batch.h"

#include <sys/mount.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <map>
#include <memory>

#include "app/core/end_report.h"
#include "app/core/file_list.h"
#include "app/filelist.h"
#include "app/mainwindow.h"
#include "app/pages.h"
#include "app/paths.h"
#include "app/report_dialog.h"
#include "app/settings.h"
#include "app/termination.h"
#include "engine/request.h"
#include "tests/app/app_test_support.h"
#include "tests/support/riff.h"

using namespace Qt::StringLiterals;

namespace {

// What the dialog showed, sampled at every change of a bar.
struct Watch {
    QList<int> fileValues, batchValues;
    QStringList fileLines, countLines;
    QString screenshot;                                  // taken when set, once well under way
    std::function<void(DecodeProgressDialog*)> onFirst;  // run at the first file-bar move
};

void watch_progress(Watch& watch) {
    at_show<DecodeProgressDialog>([&watch](DecodeProgressDialog* dialog) {
        auto* fileBar = control<QProgressBar>(dialog, ids::FILE_BAR);
        auto* batchBar = control<QProgressBar>(dialog, ids::BATCH_BAR);
        auto sample = [&watch, dialog, fileBar, batchBar] {
            for (auto [id, lines] : {std::pair{ids::FILE_LINE, &watch.fileLines},
                                     std::pair{ids::COUNT_LINE, &watch.countLines}}) {
                const QString text = control<QLabel>(dialog, id)->text();
                if (!text.isEmpty() && (lines->isEmpty() || lines->last() != text)) {
                    lines->push_back(text);
                }
            }
            if (!watch.screenshot.isEmpty() && fileBar->value() * 2 >= fileBar->maximum() &&
                batchBar->value() * 3 >= batchBar->maximum()) {
                save_screenshot(dialog, std::exchange(watch.screenshot, QString()));
            }
            if (watch.onFirst && fileBar->value() > 0) {
                std::exchange(watch.onFirst, nullptr)(dialog);
            }
        };
        QObject::connect(fileBar, &QProgressBar::valueChanged, dialog, [&watch, sample](int v) {
            watch.fileValues.push_back(v);
            sample();
        });
        QObject::connect(batchBar, &QProgressBar::valueChanged, dialog, [&watch, sample](int v) {
            watch.batchValues.push_back(v);
            sample();
        });
    });
}

int distinct(QList<int> values) {
    std::sort(values.begin(), values.end());
    return static_cast<int>(std::unique(values.begin(), values.end()) - values.begin());
}

QString expected_count_line(int k, int n) {  // "Decoding", three blanks, k, " of", two blanks, n
    return u"Decoding   %1 of  %2"_s.arg(k).arg(n);
}

// The engine, then the figures of its summary line worked out from the WAV file it wrote with
// the independent parser: the play time from the sample frames, the peak of the 16-bit samples
// in millibels, and the samples at full scale as the clipped ones. It stands in for the engine
// until decode_file fills the request's record itself.
std::int32_t decode_and_measure(const DecodeRequest& request) {
    const std::int32_t result = decode_file(&request);
    if (result != DECODE_OK || request.stats == nullptr) {
        return result;
    }
    const ParsedWav wav = parse_wav_file(request.output_path);
    if (!wav.ok || wav.bits_per_sample != 16 || wav.channels == 0) {
        return result;
    }
    const std::vector<std::int16_t> samples = samples_s16(wav);
    int peak = 0;
    std::uint32_t clipped = 0;
    for (std::int16_t sample : samples) {
        peak = std::max(peak, std::abs(int(sample)));
        clipped += sample == 32767 || sample == -32768 ? 1 : 0;
    }
    DecodeStats& stats = *request.stats;
    stats.duration_ms = std::uint64_t(samples.size() / wav.channels) * 1000 / wav.sample_rate;
    stats.has_peak = peak > 0 ? 1 : 0;
    stats.peak_millibel =
        peak > 0 ? std::int32_t(std::lround(2000.0 * std::log10(peak / 32768.0))) : 0;
    stats.clipped_samples = clipped;
    return result;
}

QString status_of(const MainWindow& window, int row) {
    const QAbstractItemModel* model = window.fileListCtrl()->model();
    return model->index(row, FileListModel::STATUS_COLUMN).data().toString();
}

QString tooltip_of(const MainWindow& window, int row) {
    return window.fileListCtrl()->model()->index(row, 0).data(Qt::ToolTipRole).toString();
}

}  // namespace

class BatchTest : public QObject {
    Q_OBJECT

private:
    // MPEG frames concatenate: 300 copies of a 3 s file play for 15 minutes.
    QString longFile() {
        QFile source(fixture("stereo_44k_128.mp3"));
        QFile target(files_->path() + u"/long.mp3"_s);
        if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly) ||
            target.write(source.readAll().repeated(300)) <= 0) {
            qWarning("cannot write the long file");
        }
        return target.fileName();
    }
    QString put(const char* name, const char* fixtureName) {
        const QString path = files_->path() + QLatin1Char('/') + QLatin1String(name);
        if (!copy_file(fixture(fixtureName), path)) {
            qWarning("cannot copy %s", fixtureName);
        }
        return path;
    }
    void setOutput(const QString& folder, bool openWhenDone, bool exitWhenDone) {
        OutputPage* page = window_->pageTabs()->outputPage();
        control<QLineEdit>(page, ids::OUTPUT_FOLDER)->setText(folder);
        control<QCheckBox>(page, ids::OPEN_FOLDER_WHEN_DONE)->setChecked(openWhenDone);
        control<QCheckBox>(page, ids::EXIT_WHEN_DONE)->setChecked(exitWhenDone);
    }
    void click(int id) { control<QPushButton>(window_->pageTabs()->outputPage(), id)->click(); }

    QTemporaryDir settingsDir_;
    StubMessageBoxes boxes_;
    UrlRecorder urls_;
    std::unique_ptr<QTemporaryDir> files_;
    std::unique_ptr<MainWindow> window_;

private Q_SLOTS:
    void initTestCase() { set_up_window_tests(settingsDir_.path(), &urls_); }

    void init() {
        QSettings().clear();
        // One file after another, in this process, unless a test says otherwise.
        write_setting(SETTING_FILES_AT_ONCE, u"1"_s);
        boxes_.clear();
        urls_.urls.clear();
        files_ = std::make_unique<QTemporaryDir>();
        window_ = std::make_unique<MainWindow>(boxes_);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }

    void cleanup() { window_.reset(); }

    void namedPathsJoinTheListOnceNoRunIsUnderWay() {
        // As a file manager's "Open With" names them: a file, a folder, a missing file and a
        // file that is no MP3. The two that cannot be added are told in one notice.
        const QString single = put("one.mp3", "mono_22k.mp3");
        QVERIFY(QDir(files_->path()).mkpath(u"album"_s));
        put("album/2 two.mp3", "tagged.mp3");
        put("album/10 ten.mp3", "short.mp3");
        QFile notes(files_->path() + u"/notes.txt"_s);
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("hi") == 2);
        notes.close();
        const QString missing = files_->path() + u"/missing.mp3"_s;
        // A name that is no UTF-8 (Latin-1 "café") arrives byte for byte.
        const QByteArray latin = QFile::encodeName(files_->path()) + "/caf\xe9.mp3";
        QFile source(fixture("short.mp3"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray bytes = source.readAll();
        std::FILE* file = std::fopen(latin.constData(), "wb");
        QVERIFY(file != nullptr);
        QCOMPARE(std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), file),
                 static_cast<std::size_t>(bytes.size()));
        QCOMPARE(std::fclose(file), 0);
        window_->addGivenPaths({QFile::encodeName(single),
                                QFile::encodeName(files_->path() + u"/album"_s), latin,
                                QFile::encodeName(missing), QFile::encodeName(notes.fileName())});
        const FileList& list = window_->fileListCtrl()->fileList();
        QCOMPARE(list.rowCount(), 4);
        QCOMPARE(list.row(3).folder + list.row(3).name, latin.toStdString());
        QCOMPARE(window_->fileListCtrl()->selectedRowIndices(), std::vector<int>{0});
        QCOMPARE(boxes_.reports.size(), 1u);
        const EndReport& report = boxes_.reports[0];
        QCOMPARE(report.summary, std::string("2 files named could not be added."));
        QCOMPARE(report.sections.size(), 1u);
        QCOMPARE(report.sections[0].rows,
                 (std::vector<ReportRow>{{path_bytes(missing), "No such file or directory"},
                                         {path_bytes(notes.fileName()), NOT_MPEG_AUDIO_REASON}}));

        // Named while a run goes on: the run reports on the rows it started with, so the new
        // file waits for its end, and is added then.
        const QString later = put("later.mp3", "short.mp3");
        setOutput(files_->path() + u"/out"_s, false, false);
        boxes_.clear();
        boxes_.answers = {true};
        int rowsDuringRun = -1;
        at_show<DecodeProgressDialog>([&](DecodeProgressDialog*) {
            window_->addGivenPaths({QFile::encodeName(later)});
            rowsDuringRun = list.rowCount();
        });
        click(ids::DECODE_ALL);
        QCOMPARE(boxes_.told, QStringList{u"Decoded all files successfully."_s});
        QCOMPARE(rowsDuringRun, 4);
        QCOMPARE(list.rowCount(), 5);
        for (int row = 0; row < 4; ++row) {
            QVERIFY(status_of(*window_, row).startsWith(u"done"_s));
        }
        QVERIFY(!status_of(*window_, 4).startsWith(u"done"_s));
    }

    void decodeAllWritesEveryFileAndMovesBothBars() {
        const QString out = files_->path() + u"/out"_s;
        window_->addChosenFiles({put("stereo.mp3", "stereo_44k_128.mp3"),
                                 put("tagged.mp3", "tagged.mp3"), put("mono.mp3", "mono_22k.mp3")});
        setOutput(out, false, false);
        boxes_.answers = {true};  // create the missing output folder
        Watch watch;
        watch.screenshot = u"progress_dialog.png"_s;
        watch_progress(watch);
        click(ids::DECODE_ALL);

        QCOMPARE(boxes_.asked.size(), 1);
        QCOMPARE(boxes_.told, QStringList{u"Decoded all files successfully."_s});
        QCOMPARE(read_setting(SETTING_OUTPUT_PATH), out);
        QVERIFY(urls_.urls.isEmpty());  // "Open output folder" was not checked
        QCOMPARE(watch.countLines,
                 (QStringList{expected_count_line(1, 3), expected_count_line(2, 3),
                              expected_count_line(3, 3)}));
        QCOMPARE(watch.fileLines, (QStringList{u"stereo.mp3"_s, u"tagged.mp3"_s, u"mono.mp3"_s}));
        QVERIFY(distinct(watch.fileValues) >= 3);
        QVERIFY(distinct(watch.batchValues) >= 3);
        QVERIFY(std::is_sorted(watch.batchValues.begin(), watch.batchValues.end()));
        QVERIFY(watch.screenshot.isEmpty());  // taken

        // Each input became a 16-bit PCM file of its own layout (the independent parser reads
        // them); every fixture here plays 2 or 3 seconds, so more than a second of frames.
        for (auto [name, channels, rate] :
             {std::tuple{"stereo.wav", 2, 44100u}, std::tuple{"tagged.wav", 2, 44100u},
              std::tuple{"mono.wav", 1, 22050u}}) {
            const ParsedWav wav =
                parse_wav_file((out + QLatin1Char('/') + QLatin1String(name)).toStdString());
            QVERIFY2(wav.ok, name);
            QCOMPARE(int(wav.channels), channels);
            QCOMPARE(wav.sample_rate, rate);
            QCOMPARE(int(wav.bits_per_sample), 16);
            QVERIFY(wav.data_size > rate * 2u * static_cast<unsigned>(channels));
        }
    }

    void decodeSelectedOpensTheFolderAndNamesFailedFiles() {
        const QString out = files_->path();  // exists: no question
        const QString gone = put("gone.mp3", "quiet.mp3");
        window_->addChosenFiles({put("a.mp3", "tagged.mp3"), gone, put("c.mp3", "quiet.mp3")});
        QVERIFY(QFile::remove(gone));
        setOutput(out, true, false);

        // Rows 0 and 2 selected: decoded in that order, as 1 and 2 of 2.
        FileListCtrl* list = window_->fileListCtrl();
        list->selectionModel()->select(list->model()->index(2, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        Watch watch;
        watch_progress(watch);
        click(ids::DECODE_SELECTED);
        QCOMPARE(watch.countLines,
                 (QStringList{expected_count_line(1, 2), expected_count_line(2, 2)}));
        QCOMPARE(watch.fileLines, (QStringList{u"a.mp3"_s, u"c.mp3"_s}));
        QCOMPARE(boxes_.told, QStringList{u"Decoded all files successfully."_s});
        QCOMPARE(urls_.urls, QList<QUrl>{QUrl::fromLocalFile(out)});

        // The same rows run again at once; the file that failed is named at the end.
        boxes_.clear();
        click(ids::DECODE_ALL);
        // The input was removed: the reason says so rather than "decoding failed".
        QCOMPARE(boxes_.told,
                 QStringList{u"2 decoded, 1 failed.\n\n"_s + gone + u": the input vanished"_s});
        QCOMPARE(boxes_.icons, QList<QMessageBox::Icon>{QMessageBox::Warning});
        QCOMPARE(urls_.urls.size(), 2);
        QVERIFY(QFileInfo::exists(out + u"/c.wav"_s));
    }

    void exitWhenDoneEndsTheProgramAfterACompleteRun() {
        window_->addChosenFiles({put("q.mp3", "quiet.mp3")});
        setOutput(files_->path(), true, true);
        QSignalSpy finished(window_.get(), &QDialog::finished);
        click(ids::DECODE_ALL);
        QVERIFY(boxes_.told.isEmpty());  // no success message before the program ends
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toInt(), int(QDialog::Accepted));
        QCOMPARE(urls_.urls, QList<QUrl>{QUrl::fromLocalFile(files_->path())});  // opened once
        QVERIFY(QFileInfo::exists(files_->path() + u"/q.wav"_s));

        // A file handed over during the run (a second "Open With") is work given after the
        // box was ticked: the window stays and lists it.
        window_->show();
        finished.clear();
        const QString later = put("later.mp3", "short.mp3");
        at_show<DecodeProgressDialog>([this, later](DecodeProgressDialog*) {
            window_->addGivenPaths({QFile::encodeName(later)});
        });
        click(ids::DECODE_ALL);
        QVERIFY(finished.isEmpty());
        QVERIFY(window_->isVisible());
        QCOMPARE(window_->fileListCtrl()->fileList().rowCount(), 2);
        QCOMPARE(window_->fileListCtrl()->fileList().row(1).name, std::string("later.mp3"));
    }

    void exitWhenDoneStaysOpenAfterAFailure() {
        const QString gone = put("gone.mp3", "quiet.mp3");
        window_->addChosenFiles({put("q.mp3", "quiet.mp3"), gone});
        QVERIFY(QFile::remove(gone));
        setOutput(files_->path(), false, true);
        QSignalSpy finished(window_.get(), &QDialog::finished);
        click(ids::DECODE_ALL);
        // The failure is told, and the window stays with the failed row and Retry Failed.
        QCOMPARE(boxes_.told,
                 QStringList{u"1 decoded, 1 failed.\n\n"_s + gone + u": the input vanished"_s});
        QVERIFY(finished.isEmpty());
        QVERIFY(window_->isVisible());
        QCOMPARE(status_of(*window_, 1), u"failed: the input vanished"_s);
    }

    void closingTheWindowDuringARunCancelsItThenCloses() {
        const QString out = files_->path() + u"/out"_s;
        QVERIFY(QDir().mkpath(out));
        window_->addChosenFiles({longFile(), put("after.mp3", "quiet.mp3")});
        setOutput(out, true, false);
        QSignalSpy finished(window_.get(), &QDialog::finished);
        bool closeRefused = false;
        bool clicksHeld = false;
        Watch progress;
        // What the window manager's close button sends: a spontaneous close event, which the
        // window can hear because the run's dialog does not block it.
        progress.onFirst = [this, &closeRefused, &clicksHeld](DecodeProgressDialog* dialog) {
            QVERIFY(!QGuiApplication::modalWindow() ||
                    QGuiApplication::modalWindow() != dialog->windowHandle());
            QCloseEvent close;
            QCoreApplication::sendEvent(window_.get(), &close);
            closeRefused = !close.isAccepted();
            // Meanwhile the window takes no clicks: no second run starts from it.
            auto* decode =
                control<QPushButton>(window_->pageTabs()->outputPage(), ids::DECODE_SELECTED);
            QSignalSpy clicked(decode, &QPushButton::clicked);
            QTest::mouseClick(decode, Qt::LeftButton);
            clicksHeld = clicked.isEmpty();
        };
        watch_progress(progress);
        click(ids::DECODE_ALL);

        // The close waited for the run, which stopped as Cancel stops it: the current file
        // finished, nothing after it started, no message, no folder; then the window closed.
        QVERIFY(closeRefused);
        QVERIFY(clicksHeld);
        QCOMPARE(progress.countLines, QStringList{expected_count_line(1, 2)});
        QVERIFY(boxes_.told.isEmpty());
        QVERIFY(urls_.urls.isEmpty());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(window_->terminatedBy(), 0);
        QVERIFY(!QFileInfo::exists(out + u"/after.wav"_s));
        const ParsedWav wav = parse_wav_file((out + u"/long.wav"_s).toStdString());
        QVERIFY2(wav.ok, wav.error.c_str());
        QVERIFY(wav.data_size > 0 && wav.data_size < 20u * 1024 * 1024);
    }

    void keepFolderStructureMirrorsTheLibraryAndSkipLeavesItAlone() {
        // Three albums with the same track names; one track lies beside the albums.
        const QString library = files_->path() + u"/Library"_s;
        const QStringList tracks = {u"Artist A/Album 1/01 - Intro.mp3"_s,
                                    u"Artist A/Album 1/02 - Song.mp3"_s,
                                    u"Artist A/Album 2/01 - Intro.mp3"_s,
                                    u"Artist B/Album 1/01 - Intro.mp3"_s, u"bonus.mp3"_s};
        const char* sources[] = {"short.mp3", "quiet.mp3", "tagged.mp3", "mono_22k.mp3",
                                 "layer2.mp3"};
        for (int i = 0; i < tracks.size(); ++i) {
            const QString path = library + QLatin1Char('/') + tracks[i];
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QVERIFY(copy_file(fixture(sources[i]), path));
        }
        const QString out = files_->path() + u"/out"_s;
        setOutput(out, false, false);
        OutputPage* page = window_->pageTabs()->outputPage();
        control<QCheckBox>(page, ids::KEEP_FOLDERS)->click();
        when_shown<FolderBrowser>([library](FolderBrowser* browser) {
            browser->pathEdit()->setText(library);
            browser->okButton()->click();
        });
        control<QPushButton>(window_.get(), ids::ADD_FOLDER)->click();
        QCOMPARE(window_->fileListCtrl()->fileList().rowCount(), 5);
        boxes_.answers = {true};  // create the output folder
        click(ids::DECODE_ALL);
        QCOMPARE(boxes_.told, QStringList{u"Decoded all files successfully."_s});

        // Every track under the library's own name; each from its own input (the fixtures
        // differ in rate or length, so a file written over by another would show).
        QStringList written;
        for (int i = 0; i < tracks.size(); ++i) {
            QString wavPath = out + u"/Library/"_s + tracks[i];
            wavPath.replace(u".mp3"_s, u".wav"_s);
            const ParsedWav wav = parse_wav_file(wavPath.toStdString());
            QVERIFY2(wav.ok, qPrintable(wavPath));
            written.push_back(wavPath);
        }
        const ParsedWav mono =
            parse_wav_file((out + u"/Library/Artist B/Album 1/01 - Intro.wav"_s).toStdString());
        QCOMPARE(int(mono.channels), 1);
        QCOMPARE(mono.sample_rate, 22050u);

        // Skip: the second run decodes nothing and names what it left alone.
        QFile marker(written[0]);
        QVERIFY(marker.open(QIODevice::WriteOnly | QIODevice::Truncate));
        marker.write("kept");
        marker.close();
        control<QRadioButton>(page, ids::EXISTING_SKIP)->click();
        boxes_.clear();
        Watch watch;
        watch_progress(watch);
        click(ids::DECODE_ALL);
        QVERIFY(watch.countLines.isEmpty());
        QCOMPARE(boxes_.told.size(), 1);
        QVERIFY2(boxes_.told[0].startsWith(u"No file needed decoding.\n\n"_s + library +
                                           u"/Artist A/Album 1/01 - Intro.mp3: "
                                           u"the WAV file exists\n"_s),
                 qPrintable(boxes_.told[0]));
        QCOMPARE(boxes_.reports.size(), std::size_t{1});
        QCOMPARE(boxes_.reports[0].sections.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(boxes_.reports[0].sections[0].heading), u"Skipped"_s);
        QCOMPARE(boxes_.reports[0].sections[0].rows.size(), std::size_t{5});
        QCOMPARE(boxes_.icons, QList<QMessageBox::Icon>{QMessageBox::Information});
        QFile kept(written[0]);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("kept"));
    }

    void cancelStopsTheCurrentFileAndTheRun() {
        // MPEG frames concatenate: 300 copies of a 3 s file play for 15 minutes.
        QFile source(fixture("stereo_44k_128.mp3"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QFile longFile(files_->path() + u"/long.mp3"_s);
        QVERIFY(longFile.open(QIODevice::WriteOnly));
        QVERIFY(longFile.write(source.readAll().repeated(300)) > 0);
        longFile.close();
        const QString out = files_->path() + u"/out"_s;
        QVERIFY(QDir().mkpath(out));
        window_->addChosenFiles({longFile.fileName(), put("after.mp3", "quiet.mp3")});
        setOutput(out, true, true);  // a cancelled run neither exits nor skips the folder
        QSignalSpy finished(window_.get(), &QDialog::finished);

        // Cancel, the close button and Escape all leave the dialog up until the worker ends.
        QList<bool> stillUp;
        int cancelFlag = 0;
        Watch watch;
        watch.onFirst = [&](DecodeProgressDialog* dialog) {
            control<QPushButton>(dialog, ids::CANCEL)->click();
            stillUp.push_back(dialog->isVisible());
            cancelFlag = window_->batchDriver()->batchState().cancelRequested;
            dialog->close();
            stillUp.push_back(dialog->isVisible());
            QTest::keyClick(dialog, Qt::Key_Escape);
            stillUp.push_back(dialog->isVisible());
        };
        watch_progress(watch);
        click(ids::DECODE_ALL);

        QCOMPARE(stillUp, (QList<bool>{true, true, true}));
        QCOMPARE(cancelFlag, 1);
        // The stopped file is kept with what was decoded, and named; the next one never
        // started, and says so in the message and in its row.
        QCOMPARE(boxes_.told,
                 QStringList{u"Decoding files aborted by user.\n\n"_s + longFile.fileName() +
                             u": kept with what was decoded\n"_s + files_->path() +
                             u"/after.mp3: not started: the run was cancelled"_s});
        QCOMPARE(status_of(*window_, 1), u"not started"_s);
        save_screenshot(window_.get(), u"list_cancelled.png"_s);
        QVERIFY(finished.isEmpty());  // the program keeps running
        QCOMPARE(urls_.urls, QList<QUrl>{QUrl::fromLocalFile(out)});
        QCOMPARE(watch.countLines, QStringList{expected_count_line(1, 2)});
        QVERIFY(!QFileInfo::exists(out + u"/after.wav"_s));
        // 15 minutes of 16-bit stereo would be about 159 MB: the file stopped early.
        QVERIFY(QFileInfo(out + u"/long.wav"_s).size() < 20 * 1024 * 1024);
    }

    void batchBarCountsTinyFilesAndTheDialogTellsTheTime() {
        // 900 bytes hold two frames: under a KiB each, the size the old bar counted in.
        QFile source(fixture("stereo_44k_128.mp3"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray tiny = source.read(900);
        QStringList paths;
        for (int i = 0; i < 50; ++i) {
            // One name far longer than the line: it is cut in the middle, not at its end.
            const QString name = i == 7 ? u"a very long name "_s.repeated(8) + u"end.mp3"_s
                                        : u"tiny%1.mp3"_s.arg(i, 2, 10, QLatin1Char('0'));
            QFile file(files_->path() + QLatin1Char('/') + name);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(tiny) == tiny.size());
            paths.push_back(file.fileName());
        }
        window_->addChosenFiles(paths);
        setOutput(files_->path() + u"/out"_s, false, false);
        boxes_.answers = {true};
        Watch watch;
        QStringList shownLines, timeLines;
        QString longName, lastCount;
        at_show<DecodeProgressDialog>([&](DecodeProgressDialog* dialog) {
            auto* line = control<QLabel>(dialog, ids::FILE_LINE);
            timeLines.push_back(control<QLabel>(dialog, ids::TIME_LINE)->text());
            QObject::connect(dialog, &QDialog::finished, dialog, [&, dialog] {
                lastCount = control<QLabel>(dialog, ids::COUNT_LINE)->text();
            });
            QObject::connect(control<QProgressBar>(dialog, ids::BATCH_BAR),
                             &QProgressBar::valueChanged, dialog, [&, dialog, line] {
                                 if (dialog->fileName().contains(u"very long"_s)) {
                                     shownLines.push_back(line->text());
                                     longName = dialog->fileName();
                                 }
                             });
        });
        watch_progress(watch);
        click(ids::DECODE_ALL);

        QCOMPARE(boxes_.told, QStringList{u"Decoded all files successfully."_s});
        QCOMPARE(lastCount, expected_count_line(50, 50));
        // Every file finished moves the bar (per mille of the batch): at least once per file,
        // never back, and after the 49th of 50 equal files it stands at 49/50 = 980.
        QVERIFY2(distinct(watch.batchValues) >= 49,
                 qPrintable(QString::number(distinct(watch.batchValues))));
        QVERIFY(std::is_sorted(watch.batchValues.begin(), watch.batchValues.end()));
        QVERIFY(watch.batchValues.last() >= 980);
        QVERIFY(timeLines.value(0).startsWith(u"Elapsed 0:0"_s));

        QVERIFY(!shownLines.isEmpty());
        QVERIFY(longName.endsWith(u"end.mp3"_s));
        const QString shown = shownLines.first();
        QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));  // "…"
        QVERIFY(shown.startsWith(u"a very long name"_s));
        QVERIFY(shown.endsWith(u"end.mp3"_s));
        QVERIFY(shown.size() < longName.size());
    }

    void endReportOfTwoThousandFailuresStaysOnTheScreen() {
        BatchResult result;
        for (int i = 0; i < 2000; ++i) {
            FileOutcome failed;
            failed.end = FileEnd::Failed;
            failed.input = "/home/someone/Music/A rather long folder name for an album/" +
                           std::string(i % 7 == 0 ? 180 : 8, 'x') + std::to_string(i) + ".mp3";
            failed.reason = {i % 2 == 0 ? ReasonKind::Engine : ReasonKind::NoAudio};
            result.files.push_back(failed);
        }
        BatchState state;
        const BatchEnd end = finish_batch(result, state, false);
        const EndReport report = end_report(result, end);
        QCOMPARE(report.summary, std::string("Decoded 0 of 2000 files."));

        ReportDialog dialog(report, QMessageBox::Warning, window_.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QRect screen = dialog.screen()->availableGeometry();
        QVERIFY2(dialog.height() <= screen.height() && dialog.width() <= screen.width(),
                 qPrintable(u"%1 x %2"_s.arg(dialog.width()).arg(dialog.height())));
        // The message names five files and how many more there are.
        const QStringList shortList =
            control<QLabel>(&dialog, ids::REPORT_SHORT_LIST)->text().split(QLatin1Char('\n'));
        QCOMPARE(shortList.size(), REPORT_SHORT_ROWS + 1);
        QCOMPARE(shortList.last(), u"... and 1995 more (see Details)"_s);
        QVERIFY(shortList.first().endsWith(u": decoding failed"_s));
        QVERIFY(shortList.first().contains(QChar(0x2026)));  // the 180-x name, cut

        // Every file is in the details, with its reason, and opening them keeps the dialog
        // within the screen: the list scrolls instead.
        QTreeWidget* details = dialog.details();
        QVERIFY(!details->isVisible());
        dialog.detailsButton()->click();
        QVERIFY(details->isVisible());
        QVERIFY(dialog.height() <= screen.height() && dialog.width() <= screen.width());
        QCOMPARE(details->topLevelItemCount(), 1);
        QTreeWidgetItem* section = details->topLevelItem(0);
        QCOMPARE(section->text(0), u"Not decoded (2000)"_s);
        QCOMPARE(section->childCount(), 2000);
        QCOMPARE(section->child(1999)->text(0), path_text(result.files[1999].input));
        QCOMPARE(section->child(1999)->text(1), u"no MPEG audio found"_s);
        QVERIFY(details->verticalScrollBar()->maximum() > 0);
        save_screenshot(&dialog, u"end_message_failures.png"_s);
        dialog.detailsButton()->click();
        QVERIFY(!details->isVisible());
        save_screenshot(&dialog, u"end_message_failures_closed.png"_s);

        // The real message boxes show it the same way.
        bool shown = false;
        when_shown<ReportDialog>([&](ReportDialog* real) {
            shown = real->details()->topLevelItem(0)->childCount() == 2000;
            control<QPushButton>(real, ids::REPORT_OK)->click();
        });
        QtMessageBoxes().report(window_.get(), report, QMessageBox::Warning);
        QVERIFY(shown);
    }

    void terminationStopsARunLikeCancelAndEndsTheProgram() {
        const QString out = files_->path() + u"/out"_s;
        QVERIFY(QDir().mkpath(out));
        window_->addChosenFiles({longFile(), put("after.mp3", "quiet.mp3")});
        setOutput(out, true, false);
        TerminationWatch watch;
        QVERIFY(watch.active());
        connect(&watch, &TerminationWatch::terminationRequested, window_.get(),
                &MainWindow::terminate);
        QSignalSpy finished(window_.get(), &QDialog::finished);

        Watch progress;
        progress.onFirst = [](DecodeProgressDialog*) { std::raise(SIGTERM); };
        watch_progress(progress);
        click(ids::DECODE_ALL);

        // Stopped like Cancel: no message waits, no folder opens, nothing after the current
        // file starts; the window closes and says which signal ended it.
        QVERIFY(boxes_.told.isEmpty());
        QVERIFY(urls_.urls.isEmpty());
        QCOMPARE(progress.countLines, QStringList{expected_count_line(1, 2)});
        QCOMPARE(finished.size(), 1);
        QCOMPARE(window_->terminatedBy(), SIGTERM);
        QVERIFY(!QFileInfo::exists(out + u"/after.wav"_s));
        // The current file was finished with its true sizes (the independent parser checks
        // them against the file) and is much shorter than 15 minutes.
        const ParsedWav wav = parse_wav_file((out + u"/long.wav"_s).toStdString());
        QVERIFY2(wav.ok, wav.error.c_str());
        QCOMPARE(std::size_t(wav.riff_size) + 8, wav.file_size);
        // The data, then the 24-byte chunk that marks a stopped file.
        QCOMPARE(wav.data_offset + wav.data_size + 24, wav.file_size);
        QVERIFY(wav.data_size > 0 && wav.data_size < 20u * 1024 * 1024);

        // Without a run the window closes at once.
        window_ = std::make_unique<MainWindow>(boxes_);
        connect(&watch, &TerminationWatch::terminationRequested, window_.get(),
                &MainWindow::terminate);
        window_->show();
        QSignalSpy closed(window_.get(), &QDialog::finished);
        std::raise(SIGHUP);
        QTRY_COMPARE(closed.size(), 1);
        QCOMPARE(window_->terminatedBy(), SIGHUP);
    }

    void openingTheFolderWithoutAFileManagerSaysSo() {
        window_->addChosenFiles({put("q.mp3", "quiet.mp3")});
        setOutput(files_->path(), true, false);
        // No handler and no desktop here: opening fails as it does without a file manager.
        QDesktopServices::unsetUrlHandler(u"file"_s);
        click(ids::DECODE_ALL);
        QDesktopServices::setUrlHandler(u"file"_s, &urls_, "open");
        QCOMPARE(boxes_.told.size(), 2);
        QCOMPARE(boxes_.told[1],
                 u"No file manager could be started to show the output folder:"
                 u"\n\n"_s +
                     files_->path());
    }

    void aRefusedRowSaysWhyAndRetryFailedLeavesItOut() {
        // A folder where one WAV file would go: that file is refused, not failed, and a retry
        // would meet the same folder. A file gone before the run fails and is retried.
        const QString out = files_->path() + u"/refusing"_s;
        QVERIFY(QDir().mkpath(out + u"/folder.wav"_s));
        const QString gone = put("gone.mp3", "quiet.mp3");
        window_->addChosenFiles(
            {put("folder.mp3", "short.mp3"), gone, put("fine.mp3", "short.mp3")});
        QVERIFY(QFile::remove(gone));
        setOutput(out, false, false);
        control<QSpinBox>(window_->pageTabs()->optionsPage(), ids::FILES_AT_ONCE)->setValue(1);
        boxes_.clear();
        click(ids::DECODE_ALL);
        const QString refused = u"refused: "_s + out + u"/folder.wav: Is a directory"_s;
        QCOMPARE(status_of(*window_, 0), refused);
        QCOMPARE(status_of(*window_, 1), u"failed: the input vanished"_s);
        QVERIFY2(status_of(*window_, 2).startsWith(u"done 0:00, "_s),
                 qPrintable(status_of(*window_, 2)));
        QCOMPARE(boxes_.told.size(), 1);
        QVERIFY2(boxes_.told[0].contains(u"1 refused"_s), qPrintable(boxes_.told[0]));
        save_screenshot(window_.get(), u"list_refused.png"_s);

        // Both causes gone: were the refused row retried, it would now be decoded.
        QVERIFY(copy_file(fixture("short.mp3"), gone));
        QVERIFY(QDir(out).rmdir(u"folder.wav"_s));
        boxes_.clear();
        window_->batchDriver()->startRetryFailed();
        QVERIFY2(status_of(*window_, 1).startsWith(u"done 0:00, "_s),
                 qPrintable(status_of(*window_, 1)));
        QCOMPARE(status_of(*window_, 0), refused);
        QVERIFY(!QFileInfo::exists(out + u"/folder.wav"_s));
    }

    void statusColumnThroughAMixedRunThenRetryFailedDecodesOnlyThoseRows() {
        const QString out = files_->path() + u"/out"_s;
        QVERIFY(QDir().mkpath(out));
        // A text file with an MP3 name, a file gone before the run, and a file whose WAV file
        // is already there.
        const QString text = files_->path() + u"/notes.mp3"_s;
        QFile notes(text);
        QVERIFY(notes.open(QIODevice::WriteOnly));
        QVERIFY(notes.write(QByteArray("These are not MPEG frames, only words.\n").repeated(200)) >
                0);
        notes.close();
        QFile existing(out + u"/kept.wav"_s);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("kept");
        existing.close();
        const QString gone = put("gone.mp3", "quiet.mp3");
        window_->addChosenFiles({put("stereo.mp3", "stereo_44k_128.mp3"), text,
                                 put("loud.mp3", "loud.mp3"), put("kept.mp3", "quiet.mp3"), gone,
                                 put("quiet.mp3", "quiet.mp3")});
        QVERIFY(QFile::remove(gone));
        FileListCtrl* list = window_->fileListCtrl();
        // Before any run the rows keep their one line and say nothing of a status.
        QCOMPARE(status_of(*window_, 0), QString());
        const int oneLine = list->rowHeight(0);

        setOutput(out, false, false);
        control<QRadioButton>(window_->pageTabs()->outputPage(), ids::EXISTING_SKIP)->click();
        window_->batchDriver()->setDecodeFunction(decode_and_measure);
        // Every row as the dialog shows, then each change of a row while the run goes on.
        QStringList atStart, seen;
        at_show<DecodeProgressDialog>([this, &atStart, &seen](DecodeProgressDialog* dialog) {
            for (int row = 0; row < 6; ++row) {
                atStart.push_back(status_of(*window_, row));
            }
            QObject::connect(window_->fileListCtrl()->model(), &QAbstractItemModel::dataChanged,
                             dialog, [this, &seen](const QModelIndex& from) {
                                 const QString now = status_of(*window_, from.row());
                                 if (seen.isEmpty() || seen.last() != now) {
                                     seen.push_back(now);
                                 }
                             });
        });
        click(ids::DECODE_ALL);

        QCOMPARE(atStart, (QStringList{u"waiting"_s, u"waiting"_s, u"waiting"_s,
                                       u"skipped: exists"_s, u"waiting"_s, u"waiting"_s}));
        const QString during = seen.join(u" | "_s);
        QVERIFY2(seen.contains(u"decoding 0%"_s), qPrintable(during));
        QVERIFY2(std::any_of(seen.begin(), seen.end(),
                             [](const QString& s) {
                                 return s.startsWith(u"decoding "_s) && s != u"decoding 0%"_s;
                             }),
                 qPrintable(during));
        QVERIFY(list->rowHeight(0) > oneLine);  // the status line under the name

        // stereo: 116 frames of 1152 samples at 44100 Hz play 3.03 s of sines below full
        // scale. loud: 78 frames, 2.04 s of squares that overshoot and clip. quiet: amplitude
        // 0.1, about -20 dB.
        const QRegularExpression stereo(u"^done 0:03, -\\d+\\.\\d dB, 0 clipped$"_s);
        QVERIFY2(stereo.match(status_of(*window_, 0)).hasMatch(),
                 qPrintable(status_of(*window_, 0)));
        // Words decode to no audio at all, or fail where the engine refuses a file without
        // frames.
        const QString words = status_of(*window_, 1);
        QVERIFY2(words == u"done 0:00, -inf dB, 0 clipped"_s || words.startsWith(u"failed: "_s),
                 qPrintable(words));
        const QRegularExpression loud(u"^done 0:02, -?\\d+\\.\\d dB, [1-9]\\d* clipped$"_s);
        QVERIFY2(loud.match(status_of(*window_, 2)).hasMatch(), qPrintable(status_of(*window_, 2)));
        QCOMPARE(status_of(*window_, 3), u"skipped: exists"_s);
        QCOMPARE(status_of(*window_, 4), u"failed: the input vanished"_s);
        const QRegularExpression quiet(u"^done 0:02, -(19|20|21)\\.\\d dB, 0 clipped$"_s);
        QVERIFY2(quiet.match(status_of(*window_, 5)).hasMatch(),
                 qPrintable(status_of(*window_, 5)));
        // The tooltip: where the file lies (added by itself: its folder's name), the file, its
        // status, and why; the engine's own line follows, caught in this process as a worker
        // catches it.
        const QString folderName = QDir(files_->path()).dirName() + QLatin1Char('/');
        QCOMPARE(tooltip_of(*window_, 4), folderName + u"gone.mp3\n"_s + gone +
                                              u"\nfailed: the input vanished\n"_s + gone +
                                              u": No such file or directory"_s);
        QCOMPARE(tooltip_of(*window_, 3), folderName + u"kept.mp3\n"_s + files_->path() +
                                              u"/kept.mp3\nskipped: exists\nthe WAV file exists"_s);
        // The end message counts, and names the failures only.
        QCOMPARE(boxes_.told.size(), 1);
        QVERIFY2(boxes_.told[0].startsWith(u"4 decoded, 1 skipped, 1 failed.\n\n"_s + gone) ||
                     boxes_.told[0].startsWith(u"3 decoded, 1 skipped, 2 failed.\n\n"_s),
                 qPrintable(boxes_.told[0]));
        save_screenshot(window_.get(), u"list_statuses.png"_s);

        // The gone file is back; Retry Failed (in the list menu and on Ctrl+R) decodes the
        // failed rows alone.
        QStringList failed;
        for (int row = 0; row < 6; ++row) {
            if (status_of(*window_, row).startsWith(u"failed: "_s)) {
                failed.push_back(
                    QFileInfo(tooltip_of(*window_, row).section(u'\n', 1, 1)).fileName());
            }
        }
        QVERIFY(failed.contains(u"gone.mp3"_s));
        QVERIFY(copy_file(fixture("mono_22k.mp3"), gone));
        // Written over: a failed decode may have left a WAV file of that name.
        control<QRadioButton>(window_->pageTabs()->outputPage(), ids::EXISTING_OVERWRITE)->click();
        const QDateTime stereoWritten = QFileInfo(out + u"/stereo.wav"_s).lastModified();
        auto* retry = window_->findChild<QAction*>(id_name(ids::CMD_RETRY_FAILED));
        QVERIFY(retry != nullptr);
        boxes_.clear();
        Watch watch;
        watch_progress(watch);
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_R, Qt::ControlModifier);
        // The failed rows alone, in order: the dialog counts them, and the last is the gone
        // file (a file without audio fails before its bar moves, so its line may pass unseen).
        QVERIFY(!watch.countLines.isEmpty());
        QCOMPARE(watch.countLines.last(),
                 QString::fromStdString(count_line(int(failed.size()), int(failed.size()))));
        QCOMPARE(watch.fileLines.last(), failed.last());
        QVERIFY2(status_of(*window_, 4).startsWith(u"done 0:03, "_s),
                 qPrintable(status_of(*window_, 4)));
        QCOMPARE(status_of(*window_, 3), u"skipped: exists"_s);  // left as it was
        QCOMPARE(QFileInfo(out + u"/stereo.wav"_s).lastModified(), stereoWritten);
        QCOMPARE(int(parse_wav_file((out + u"/gone.wav"_s).toStdString()).channels), 1);

        // With nothing failed the entry is off and the key does nothing.
        if (failed.size() == 1) {
            QTimer::singleShot(50, [] {
                if (QWidget* menu = QApplication::activePopupWidget()) {
                    menu->close();
                }
            });
            window_->showListMenu(QPoint(0, 0));
            QVERIFY(!retry->isEnabled());
            boxes_.clear();
            QTest::keyClick(list, Qt::Key_R, Qt::ControlModifier);
            QVERIFY(boxes_.told.isEmpty());
        }

        // Clear All: a new list starts with one line per row.
        window_->clearAll();
        window_->addChosenFiles({put("again.mp3", "quiet.mp3")});
        QCOMPARE(list->rowHeight(0), oneLine);
        QCOMPARE(status_of(*window_, 0), QString());
    }

    void twoFilesAtOnceWriteTheBytesOfOneAtATimeWithoutDither() {
        // Four files of 3 minutes each (a fixture's frames 60 times over, which MPEG allows),
        // long enough to see two running at once; one mono at 22050 Hz for a different header.
        QStringList inputs;
        for (auto [name, source] :
             {std::pair{"a.mp3", "stereo_44k_128.mp3"}, std::pair{"b.mp3", "mono_22k.mp3"},
              std::pair{"c.mp3", "stereo_44k_128.mp3"}, std::pair{"d.mp3", "loud.mp3"}}) {
            QFile fixtureFile(fixture(source));
            QVERIFY(fixtureFile.open(QIODevice::ReadOnly));
            const QString path = files_->path() + u'/' + QLatin1String(name);
            QFile input(path);
            QVERIFY(input.open(QIODevice::WriteOnly));
            QVERIFY(input.write(fixtureFile.readAll().repeated(60)) > 0);
            input.close();
            inputs.push_back(path);
        }
        window_->addChosenFiles(inputs);
        // The window always dithers; without it the bytes depend on nothing a worker carries
        // from file to file, so any split of the files must give the same bytes.
        window_->batchDriver()->setDecodeFunction([](const DecodeRequest& request) {
            DecodeRequest plain = request;
            plain.no_dither = 1;
            return decode_file(&plain);
        });
        auto* atOnce = control<QSpinBox>(window_->pageTabs()->optionsPage(), ids::FILES_AT_ONCE);
        QCOMPARE(atOnce->maximum(), 8);

        atOnce->setValue(1);
        setOutput(files_->path() + u"/one"_s, false, false);
        boxes_.answers = {true};
        click(ids::DECODE_ALL);
        QCOMPARE(boxes_.told, QStringList{u"Decoded all files successfully."_s});

        atOnce->setValue(2);
        QCOMPARE(read_setting(SETTING_FILES_AT_ONCE), u"2"_s);
        window_->pageTabs()->setCurrentWidget(window_->pageTabs()->optionsPage());
        save_screenshot(window_.get(), u"options_files_at_once.png"_s);
        setOutput(files_->path() + u"/two"_s, false, false);
        boxes_.clear();
        boxes_.answers = {true};
        int mostRunning = 0;
        bool shot = false;
        bool fileLineShown = true;
        QStringList statuses;
        at_show<DecodeProgressDialog>([&](DecodeProgressDialog* dialog) {
            fileLineShown = control<QLabel>(dialog, ids::FILE_LINE)->isVisible();
            auto* poll = new QTimer(dialog);
            QObject::connect(poll, &QTimer::timeout, dialog, [&, dialog] {
                int running = 0;
                int underWay = 0;  // named, and past a tenth of its bar
                for (int row = 0; row < 2; ++row) {
                    const int id = ids::RUNNING_FIRST + 2 * row;
                    if (!control<QLabel>(dialog, id)->text().isEmpty()) {
                        ++running;
                        underWay += control<QProgressBar>(dialog, id + 1)->value() > 100 ? 1 : 0;
                    }
                }
                if (underWay == 2 && !shot) {
                    shot = true;
                    save_screenshot(dialog, u"progress_two_files.png"_s);
                }
                mostRunning = std::max(mostRunning, running);
                for (int row = 0; row < 4; ++row) {
                    const QString now = status_of(*window_, row);
                    if (!statuses.contains(now)) {
                        statuses.push_back(now);
                    }
                }
            });
            poll->start(10);
        });
        click(ids::DECODE_ALL);
        QCOMPARE(boxes_.told, QStringList{u"Decoded all files successfully."_s});
        QVERIFY(!fileLineShown);
        QCOMPARE(mostRunning, 2);
        // The list's status column followed the workers' files.
        QVERIFY2(std::any_of(statuses.begin(), statuses.end(),
                             [](const QString& s) { return s.startsWith(u"decoding "_s); }),
                 qPrintable(statuses.join(u" | "_s)));
        for (int row = 0; row < 4; ++row) {
            QVERIFY2(status_of(*window_, row).startsWith(u"done "_s),
                     qPrintable(status_of(*window_, row)));
        }

        for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"}) {
            const QString one = files_->path() + u"/one/"_s + QLatin1String(name);
            const QString two = files_->path() + u"/two/"_s + QLatin1String(name);
            const ParsedWav wav = parse_wav_file(two.toStdString());
            QVERIFY2(wav.ok, name);
            // 60 copies of at least 2 s: over two minutes of samples in each.
            QVERIFY(samples_s16(wav).size() / wav.channels > 120u * wav.sample_rate);
            QFile first(one);
            QFile second(two);
            QVERIFY(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
            QVERIFY2(first.readAll() == second.readAll(), name);
        }
    }

    void twoFilesAtOnceWriteEachDitheredFileAsTheCommandLineDoesItAlone() {
        // Dithered this time: the run's own bytes, each compared with pelmora-cli's run of that
        // file by itself (--window-options makes the window's request).
        QStringList inputs;
        for (auto [name, source] :
             {std::pair{"a.mp3", "stereo_44k_128.mp3"}, std::pair{"b.mp3", "mono_22k.mp3"},
              std::pair{"c.mp3", "joint_stereo.mp3"}, std::pair{"d.mp3", "loud.mp3"}}) {
            const QString path = files_->path() + u'/' + QLatin1String(name);
            QVERIFY(QFile::copy(fixture(source), path));
            inputs.push_back(path);
        }
        window_->addChosenFiles(inputs);
        control<QSpinBox>(window_->pageTabs()->optionsPage(), ids::FILES_AT_ONCE)->setValue(2);
        setOutput(files_->path() + u"/two"_s, false, false);
        boxes_.answers = {true};
        click(ids::DECODE_ALL);
        QCOMPARE(boxes_.told, QStringList{u"Decoded all files successfully."_s});
        for (const QString& input : inputs) {
            const QString name = QFileInfo(input).completeBaseName() + u".wav"_s;
            const QString alone = files_->path() + u"/alone_"_s + name;
            QProcess cli;
            cli.start(QStringLiteral(PELMORA_CLI), {u"--window-options"_s, u"-o"_s, alone, input});
            QVERIFY(cli.waitForFinished(60000));
            QCOMPARE(cli.exitCode(), 0);
            QFile mine(files_->path() + u"/two/"_s + name);
            QFile theirs(alone + u'/' + name);
            QVERIFY(mine.open(QIODevice::ReadOnly) && theirs.open(QIODevice::ReadOnly));
            const QByteArray bytes = mine.readAll();
            QVERIFY(bytes.size() > 44);
            QVERIFY2(bytes == theirs.readAll(), qPrintable(name));
        }
    }

    void aFullDiskIsTheRowsReasonInOneProcessAndInWorkers() {
        // A 200 KiB tmpfs (as root) takes the short file but not the long one.
        const QString out = files_->path() + u"/full"_s;
        QVERIFY(QDir().mkpath(out));
        if (geteuid() != 0 ||
            mount("tmpfs", QFile::encodeName(out).constData(), "tmpfs", 0, "size=200k") != 0) {
            QSKIP("needs root to mount a small tmpfs");
        }
        const QString longInput = longFile();
        const QString shortInput = put("short.mp3", "short.mp3");
        window_->addChosenFiles({longInput, shortInput});
        auto* atOnce = control<QSpinBox>(window_->pageTabs()->optionsPage(), ids::FILES_AT_ONCE);
        for (int filesAtOnce : {1, 2}) {
            atOnce->setValue(filesAtOnce);
            QFile::remove(out + u"/short.wav"_s);
            setOutput(out, false, false);
            boxes_.clear();
            boxes_.answers = {true};
            click(ids::DECODE_ALL);
            const QString full = u"No space left on device"_s;
            QCOMPARE(status_of(*window_, 0), u"failed: "_s + full);
            // Two at once share the full disk: the short file meets it too when its writes
            // fall before the long file's temporary is gone. One at a time, it never does.
            const QString shortStatus = status_of(*window_, 1);
            if (filesAtOnce == 2 && shortStatus == u"failed: "_s + full) {
                QCOMPARE(boxes_.told,
                         QStringList{u"0 decoded, 2 failed.\n\n"_s + longInput + u": "_s + full +
                                     u"\n"_s + shortInput + u": "_s + full});
                continue;
            }
            QVERIFY2(shortStatus.startsWith(u"done "_s), qPrintable(shortStatus));
            QCOMPARE(boxes_.told,
                     QStringList{u"1 decoded, 1 failed.\n\n"_s + longInput + u": "_s + full});
        }
        save_screenshot(window_.get(), u"list_full_disk.png"_s);
        umount2(QFile::encodeName(out).constData(), MNT_DETACH);
    }

    void theDecodersLinesGoToTheRowsDetailsWithoutTheBannerInOneProcessAndInWorkers() {
        window_->addChosenFiles({put("tagged.mp3", "tagged.mp3"), put("short.mp3", "short.mp3")});
        auto* atOnce = control<QSpinBox>(window_->pageTabs()->optionsPage(), ids::FILES_AT_ONCE);
        for (int filesAtOnce : {1, 2}) {
            atOnce->setValue(filesAtOnce);
            setOutput(files_->path() + u"/out"_s + QString::number(filesAtOnce), false, false);
            boxes_.clear();
            boxes_.answers = {true};
            click(ids::DECODE_ALL);
            // The tag block lines up under the status; the summary line closes it.
            const QString details = tooltip_of(*window_, 0);
            QVERIFY2(details.contains(u"\n     Title: Seven Bridges\n"_s), qPrintable(details));
            QVERIFY2(details.contains(u"\n78 frames decoded (0:00:02.0), "_s), qPrintable(details));
            QVERIFY2(!details.contains(u"MPEG Audio Decoder"_s), qPrintable(details));
        }
    }

    void progressDialogGivesEachRunningFileARowAndMakesRoomForThem() {
        DecodeProgressDialog dialog;
        dialog.setPlan({1000, 1000, 1000, 1000, 1000});
        dialog.showRunningFiles(4, {u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s, u"d.mp3"_s, u"e.mp3"_s});
        const QRect lastBar = control<QProgressBar>(&dialog, ids::RUNNING_FIRST + 7)->geometry();
        auto* countLine = control<QLabel>(&dialog, ids::COUNT_LINE);
        QVERIFY(countLine->geometry().top() > lastBar.bottom());
        QVERIFY(control<QPushButton>(&dialog, ids::CANCEL)->geometry().bottom() < dialog.height());
        QVERIFY(!control<QLabel>(&dialog, ids::FILE_LINE)->isVisibleTo(&dialog));

        // The third file takes the first free row; the count line counts the files started.
        dialog.fileStarted(2);
        dialog.fileProgress(2, 500);
        auto* firstName = control<QLabel>(&dialog, ids::RUNNING_FIRST);
        QCOMPARE(firstName->text(), u"c.mp3  50%"_s);
        QCOMPARE(control<QProgressBar>(&dialog, ids::RUNNING_FIRST + 1)->value(), 500);
        QCOMPARE(countLine->text(), expected_count_line(3, 5));
        dialog.fileStarted(0);
        QCOMPARE(control<QLabel>(&dialog, ids::RUNNING_FIRST + 2)->text(), u"a.mp3  0%"_s);
        // Five files of equal weight: half of one of them is a tenth of the batch.
        QCOMPARE(control<QProgressBar>(&dialog, ids::BATCH_BAR)->value(), 100);
        dialog.fileEnded(2);
        QCOMPARE(firstName->text(), QString());
        dialog.fileStarted(4);
        QCOMPARE(firstName->text(), u"e.mp3  0%"_s);
        QCOMPARE(countLine->text(), expected_count_line(5, 5));
    }

    void anAlbumsRowsSayWhenTheirLoudnessIsMeasuredAndWhenTheyWait() {
        window_->addChosenFiles({put("a.mp3", "tagged.mp3"), put("b.mp3", "short.mp3")});
        setOutput(files_->path() + u"/out"_s, false, false);
        OptionsPage* page = window_->pageTabs()->optionsPage();
        page->findChild<QCheckBox*>(u"loudness"_s)->setChecked(true);
        page->findChild<QCheckBox*>(u"album"_s)->setChecked(true);
        boxes_.answers = {true};
        // Each row's own changes, as the list shows them during the run.
        std::map<int, QStringList> seen;
        at_show<DecodeProgressDialog>([this, &seen](DecodeProgressDialog* dialog) {
            QObject::connect(window_->fileListCtrl()->model(), &QAbstractItemModel::dataChanged,
                             dialog, [this, &seen](const QModelIndex& from) {
                                 QStringList& row = seen[from.row()];
                                 const QString now = status_of(*window_, from.row());
                                 if (row.isEmpty() || row.last() != now) {
                                     row.push_back(now);
                                 }
                             });
        });
        click(ids::DECODE_ALL);
        QCOMPARE(boxes_.told, QStringList{u"Decoded all files successfully."_s});
        for (int row : {0, 1}) {
            const QStringList& changes = seen[row];
            const QString all = changes.join(u" | "_s);
            const auto at = [&changes](const QString& text) {
                return std::find_if(changes.begin(), changes.end(),
                                    [&text](const QString& s) { return s.startsWith(text); }) -
                       changes.begin();
            };
            // Measured, then waiting for the album, then written.
            QVERIFY2(at(u"measuring loudness"_s) < at(u"measured, waiting"_s), qPrintable(all));
            QVERIFY2(at(u"measured, waiting"_s) < at(u"decoding"_s), qPrintable(all));
            QVERIFY2(at(u"decoding"_s) < at(u"done"_s), qPrintable(all));
            QVERIFY2(at(u"done"_s) < changes.size(), qPrintable(all));
        }
    }

    void progressDialogNamesTheFileWhoseLoudnessIsMeasured() {
        const QString measuring = u"Measuring the loudness of 3 files for the album gain..."_s;
        // One at a time: the file line names it, the count line says why nothing moves, and
        // says it again for an album measured after another was written.
        DecodeProgressDialog single;
        single.setPlan({1000, 1000, 1000});
        single.setNames({u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s});
        single.setMeasuringText(measuring);
        auto* fileLine = control<QLabel>(&single, ids::FILE_LINE);
        auto* countLine = control<QLabel>(&single, ids::COUNT_LINE);
        QCOMPARE(fileLine->text(), QString());
        single.fileMeasuring(0);
        QCOMPARE(fileLine->text(), u"a.mp3"_s);
        QCOMPARE(countLine->text(), measuring);
        single.fileMeasured(0);
        single.fileStarted(0);
        QCOMPARE(countLine->text(), expected_count_line(1, 3));
        single.fileEnded(0);
        single.fileMeasuring(2);
        QCOMPARE(fileLine->text(), u"c.mp3"_s);
        QCOMPARE(countLine->text(), measuring);
        QCOMPARE(control<QProgressBar>(&single, ids::FILE_BAR)->value(), 0);

        // Several at once: a measured file has a row until its measuring ends.
        DecodeProgressDialog rows;
        rows.setPlan({1000, 1000, 1000});
        rows.showRunningFiles(2, {u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s});
        rows.setMeasuringText(measuring);
        auto* first = control<QLabel>(&rows, ids::RUNNING_FIRST);
        auto* second = control<QLabel>(&rows, ids::RUNNING_FIRST + 2);
        rows.fileMeasuring(0);
        rows.fileMeasuring(1);
        QCOMPARE(first->text(), u"a.mp3  measuring loudness"_s);
        QCOMPARE(second->text(), u"b.mp3  measuring loudness"_s);
        rows.fileMeasured(0);
        QCOMPARE(first->text(), QString());
        rows.fileMeasuring(2);
        QCOMPARE(first->text(), u"c.mp3  measuring loudness"_s);
        rows.fileMeasured(1);
        rows.fileStarted(0);
        QCOMPARE(second->text(), u"a.mp3  0%"_s);
        // An end already told changes no row another file has taken since.
        rows.fileMeasured(1);
        QCOMPARE(second->text(), u"a.mp3  0%"_s);
        QCOMPARE(first->text(), u"c.mp3  measuring loudness"_s);
    }

    void cancelAndTerminationStopTheWorkersOfARunOfTwoAtOnce() {
        const QString out = files_->path() + u"/out"_s;
        QVERIFY(QDir().mkpath(out));
        const QString first = longFile();
        const QString second = files_->path() + u"/long2.mp3"_s;
        QVERIFY(QFile::copy(first, second));
        window_->addChosenFiles({first, second, put("after.mp3", "quiet.mp3")});
        setOutput(out, false, false);
        control<QSpinBox>(window_->pageTabs()->optionsPage(), ids::FILES_AT_ONCE)->setValue(2);
        // Runs stop once the first running file's bar has moved.
        auto stopOnce = [](std::function<void(DecodeProgressDialog*)> stop) {
            at_show<DecodeProgressDialog>([stop](DecodeProgressDialog* dialog) {
                auto* poll = new QTimer(dialog);
                QObject::connect(poll, &QTimer::timeout, dialog, [stop, dialog, poll] {
                    if (control<QProgressBar>(dialog, ids::RUNNING_FIRST + 1)->value() > 0) {
                        poll->stop();
                        stop(dialog);
                    }
                });
                poll->start(5);
            });
        };
        // 15 minutes of 16-bit stereo would be about 159 MB: each file stopped early.
        auto stoppedEarly = [&out](const QString& name) {
            const QFileInfo wav(out + u'/' + name);
            return !wav.exists() || wav.size() < 40 * 1024 * 1024;
        };

        stopOnce([](DecodeProgressDialog* dialog) {
            control<QPushButton>(dialog, ids::CANCEL)->click();
        });
        click(ids::DECODE_ALL);
        QCOMPARE(boxes_.told.size(), 1);
        QVERIFY2(boxes_.told[0].startsWith(u"Decoding files aborted by user."_s),
                 qPrintable(boxes_.told[0]));
        QVERIFY(stoppedEarly(u"long.wav"_s) && stoppedEarly(u"long2.wav"_s));
        QVERIFY(!QFileInfo::exists(out + u"/after.wav"_s));

        TerminationWatch watch;
        QVERIFY(watch.active());
        connect(&watch, &TerminationWatch::terminationRequested, window_.get(),
                &MainWindow::terminate);
        QSignalSpy finished(window_.get(), &QDialog::finished);
        boxes_.clear();
        QVERIFY(QFile::remove(out + u"/long.wav"_s));
        stopOnce([](DecodeProgressDialog*) { std::raise(SIGTERM); });
        click(ids::DECODE_ALL);
        QVERIFY(boxes_.told.isEmpty());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(window_->terminatedBy(), SIGTERM);
        QVERIFY(stoppedEarly(u"long.wav"_s) && stoppedEarly(u"long2.wav"_s));
        QVERIFY(!QFileInfo::exists(out + u"/after.wav"_s));
    }

    void aCancelledOverwriteLeavesTheOlderWavsAsTheyWere() {
        const QString out = files_->path() + u"/out"_s;
        QVERIFY(QDir().mkpath(out));
        const QString first = longFile();
        QStringList inputs{first};
        for (const char* name : {"/long2.mp3", "/long3.mp3", "/long4.mp3"}) {
            inputs.push_back(files_->path() + QLatin1String(name));
            QVERIFY(QFile::copy(first, inputs.back()));
        }
        window_->addChosenFiles(inputs);
        setOutput(out, false, false);
        const char* const wavs[] = {"/long.wav", "/long2.wav", "/long3.wav", "/long4.wav"};
        // One at a time in the window's thread, then four at once in workers.
        for (int atOnce : {1, 4}) {
            for (const char* name : wavs) {
                QFile older(out + QLatin1String(name));
                QVERIFY(older.open(QIODevice::WriteOnly));
                QVERIFY(older.write("older WAV") == 9);
            }
            control<QSpinBox>(window_->pageTabs()->optionsPage(), ids::FILES_AT_ONCE)
                ->setValue(atOnce);
            boxes_.clear();
            at_show<DecodeProgressDialog>([out](DecodeProgressDialog* dialog) {
                auto* poll = new QTimer(dialog);
                QObject::connect(poll, &QTimer::timeout, dialog, [out, dialog, poll] {
                    // Once a temporary file of the run holds some audio.
                    for (const QFileInfo& file :
                         QDir(out).entryInfoList(QDir::Files | QDir::Hidden)) {
                        if (file.fileName().startsWith(u'.') && file.size() > 300000) {
                            poll->stop();
                            control<QPushButton>(dialog, ids::CANCEL)->click();
                            return;
                        }
                    }
                });
                poll->start(5);
            });
            click(ids::DECODE_ALL);
            QCOMPARE(boxes_.told.size(), 1);
            QVERIFY2(boxes_.told[0].contains(u"the older WAV file was kept"_s),
                     qPrintable(boxes_.told[0]));
            for (const char* name : wavs) {
                QFile older(out + QLatin1String(name));
                QVERIFY(older.open(QIODevice::ReadOnly));
                QCOMPARE(older.readAll(), QByteArray("older WAV"));
            }
            QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden),
                     (QStringList{u"long.wav"_s, u"long2.wav"_s, u"long3.wav"_s, u"long4.wav"_s}));
        }
    }

    void countLineUnderTheListFollowsTheRows() {
        auto* count = control<QLabel>(window_.get(), ids::LIST_COUNT);
        QVERIFY(count != nullptr);
        QVERIFY(!count->isVisible());  // the empty list shows its picture in the whole box
        const int fullHeight = window_->fileListCtrl()->height();
        // 48483 + 33135 = 81618 bytes; / 1024 = 79.70 kB.
        window_->addChosenFiles({put("a.mp3", "stereo_44k_128.mp3"), put("b.mp3", "tagged.mp3")});
        QVERIFY(count->isVisible());
        QCOMPARE(count->text(), u"2 files, 79.7 kB"_s);
        // Under the list, inside its box.
        QCOMPARE(window_->fileListCtrl()->geometry().bottom() + 1, count->geometry().top());
        QVERIFY(window_->fileListCtrl()->height() < fullHeight);
        window_->selectRow(0);
        window_->removeSelection();
        QCOMPARE(count->text(), u"1 file, 32.4 kB"_s);  // 33135 / 1024 = 32.36
        window_->clearAll();
        QVERIFY(!count->isVisible());
        QCOMPARE(window_->fileListCtrl()->height(), fullHeight);
    }
};

QTEST_MAIN(BatchTest)
#include "batch_test.moc"
