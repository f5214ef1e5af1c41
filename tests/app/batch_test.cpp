// Real batch runs from the window: the engine decodes fixtures on the worker thread while the
// progress dialog's bars and lines are watched from inside its modal loop.
#include "app/batch.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <memory>

#include "app/filelist.h"
#include "app/mainwindow.h"
#include "app/pages.h"
#include "app/settings.h"
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

}  // namespace

class BatchTest : public QObject {
    Q_OBJECT

private:
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
        boxes_.clear();
        urls_.urls.clear();
        files_ = std::make_unique<QTemporaryDir>();
        window_ = std::make_unique<MainWindow>(boxes_);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }

    void cleanup() { window_.reset(); }

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
        QCOMPARE(boxes_.told,
                 QStringList{u"Decoded 2 of 3 files. This file could not be decoded:\n\n"_s + gone +
                             u": decoding failed"_s});
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
        QVERIFY2(
            boxes_.told[0].startsWith(
                u"No file needed decoding.\n\n5 files were skipped, their WAV files exist:\n\n"_s +
                library + u"/Artist A/Album 1/01 - Intro.mp3\n"_s),
            qPrintable(boxes_.told[0]));
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
            cancelFlag = batch_state().cancelRequested;
            dialog->close();
            stillUp.push_back(dialog->isVisible());
            QTest::keyClick(dialog, Qt::Key_Escape);
            stillUp.push_back(dialog->isVisible());
        };
        watch_progress(watch);
        click(ids::DECODE_ALL);

        QCOMPARE(stillUp, (QList<bool>{true, true, true}));
        QCOMPARE(cancelFlag, 1);
        // The stopped file is kept with what was decoded, and named.
        QCOMPARE(boxes_.told,
                 QStringList{u"Decoding files aborted by user.\n\nThis file was stopped "
                             u"part way, kept with what was decoded:\n\n"_s +
                             longFile.fileName()});
        QVERIFY(finished.isEmpty());  // the program keeps running
        QCOMPARE(urls_.urls, QList<QUrl>{QUrl::fromLocalFile(out)});
        QCOMPARE(watch.countLines, QStringList{expected_count_line(1, 2)});
        QVERIFY(!QFileInfo::exists(out + u"/after.wav"_s));
        // 15 minutes of 16-bit stereo would be about 159 MB: the file stopped early.
        QVERIFY(QFileInfo(out + u"/long.wav"_s).size() < 20 * 1024 * 1024);
    }
};

QTEST_MAIN(BatchTest)
#include "batch_test.moc"
