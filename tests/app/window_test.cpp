// The main window, its list and its pages, driven as a user would under the offscreen
// platform. Expected values are the window's own messages and the fixtures' contents as
// tests/data/README.md lists them, worked out by hand, never taken from the code under test.
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWindow>
#include <QtTest>
#include <memory>

#include "app/filelist.h"
#include "app/help.h"
#include "app/mainwindow.h"
#include "app/pages.h"
#include "app/paths.h"
#include "app/report_dialog.h"
#include "app/settings.h"
#include "app/skin/buttons.h"
#include "app/window_place.h"
#include "tests/app/app_test_support.h"
#include "tests/support/id3_bytes.h"
#include "tests/support/riff.h"

using namespace Qt::StringLiterals;

namespace {

QString cell(const FileListCtrl* list, int row, int column) {
    return list->model()->index(row, column).data().toString();
}

QStringList names(const FileListCtrl* list) {
    QStringList result;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        result.push_back(cell(list, row, 0));
    }
    return result;
}

QList<int> selected(const FileListCtrl* list) {
    const std::vector<int> rows = list->selectedRowIndices();
    return QList<int>(rows.begin(), rows.end());
}

void select_only(FileListCtrl* list, const QList<int>& rows) {
    list->clearSelection();
    for (int row : rows) {
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

void click_row(FileListCtrl* list, int row, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                      list->visualRect(list->model()->index(row, 0)).center());
}

std::function<void(FolderBrowser*)> choose(const QString& path) {
    return [path](FolderBrowser* browser) {
        browser->pathEdit()->setText(path);
        browser->okButton()->click();
        if (browser->isVisible()) {
            browser->reject();
        }
    };
}

// An ID3v2.3 tag made by hand: "ID3", version 3.0, no flags, a syncsafe size, then frames of a
// 4-byte id, a plain big-endian size, two flag bytes and the payload.
QByteArray id3v23(const QList<QPair<QByteArray, QByteArray>>& frames) {
    QByteArray body;
    for (const auto& [id, payload] : frames) {
        const auto n = static_cast<quint32>(payload.size());
        body += id + QByteArray(1, char(n >> 24)) + char(n >> 16) + char(n >> 8) + char(n);
        body += QByteArray(2, '\0') + payload;
    }
    const auto n = static_cast<quint32>(body.size());
    return QByteArray("ID3\x03\x00\x00", 6) + char((n >> 21) & 0x7F) + char((n >> 14) & 0x7F) +
           char((n >> 7) & 0x7F) + char(n & 0x7F) + body;
}

// Header lines worked out by hand from the first header bytes in tests/data/README.md.
// FF FB 90 04: MPEG-1, layer III, no CRC, 128 kbit/s, 44100 Hz, stereo, original, no emphasis.
const QStringList MPEG1_STEREO = {
    u"MPEG Type: MPEG 1  Layer 3"_s, u"Bitrate: 128kbps,   44100Hz  Stereo"_s,
    u"Copyright:  No        Original:  Yes"_s, u"CRC:  No               Emphasis:  None"_s};
// FF F3 80 C4: MPEG-2, layer III, no CRC, 64 kbit/s, 22050 Hz, single channel, original.
const QStringList MPEG2_MONO = {
    u"MPEG Type: MPEG 2  Layer 3"_s, u"Bitrate: 64kbps,   22050Hz  Single Channel"_s,
    u"Copyright:  No        Original:  Yes"_s, u"CRC:  No               Emphasis:  None"_s};
const QString PROMPT = u"Select an MP3 file to see its information."_s;

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private:
    // A copy of a fixture at a path under the test's folder.
    QString put(const QString& relative, const char* fixtureName) {
        const QString path = files_->path() + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).path());
        if (!copy_file(fixture(fixtureName), path)) {
            qWarning("cannot copy %s", fixtureName);
        }
        return path;
    }
    QString at(const QString& relative) const {
        return files_->path() + QLatin1Char('/') + relative;
    }

    // Prompt, four header lines, then title, track, artist, year, album, genre, comment.
    QStringList info() const {
        const InfoPage* page = window_->pageTabs()->infoPage();
        QStringList shown{control<QLabel>(page, ids::INFO_PROMPT)->text()};
        for (int i = 0; i < 4; ++i) {
            shown.push_back(control<QLabel>(page, ids::INFO_LINE_FIRST + i)->text());
        }
        for (int id : {ids::TAG_TITLE, ids::TAG_TRACK, ids::TAG_ARTIST, ids::TAG_YEAR,
                       ids::TAG_ALBUM, ids::TAG_GENRE, ids::TAG_COMMENT}) {
            shown.push_back(control<QLineEdit>(page, id)->text());
        }
        return shown;
    }
    void openWindow() {
        window_ = std::make_unique<MainWindow>(boxes_);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    QStringList tagFields() const { return info().mid(5, 6); }  // all but the comment
    OutputPage* outputPage() const { return window_->pageTabs()->outputPage(); }

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
        openWindow();
    }

    void cleanup() { window_.reset(); }

    void addingFollowsTheListRules() {
        const QString a = put(u"first/a.mp3"_s, "tagged.mp3");
        put(u"tree/b.MP3"_s, "stereo_44k_128.mp3");    // the extension's case
        put(u"tree/sub/deeper/c.mp3"_s, "quiet.mp3");  // found at any depth
        put(u"tree/sub/A.MP3"_s, "short.mp3");         // a.mp3's name: refused
        put(u"tree/notes.txt"_s, "short.mp3");
        put(u"tree/e.mp3.bak"_s, "short.mp3");
        QFile big(at(u"first/big.mp3"_s));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.write(QByteArray(1572864, '\0')) > 0);
        big.close();
        FileListCtrl* list = window_->fileListCtrl();

        window_->addChosenFiles({a});
        // 33135 bytes / 1024 = 32.36 kB; the folder keeps its closing slash.
        QCOMPARE(cell(list, 0, 1), u"32.4 kB"_s);
        QCOMPARE(cell(list, 0, 2), at(u"first/"_s));
        QCOMPARE(selected(list), QList<int>{0});  // added to an empty list: selected and shown
        QCOMPARE(info().at(5), u"Seven Bridges"_s);
        QCOMPARE(window_->lastInputFolder(), a);  // one file: its own path

        when_shown<FolderBrowser>(choose(at(u"tree"_s)));
        control<QPushButton>(window_.get(), ids::ADD_FOLDER)->click();
        QStringList found = names(list);
        found.sort();
        QCOMPARE(found, (QStringList{u"a.mp3"_s, u"b.MP3"_s, u"c.mp3"_s}));
        QCOMPARE(selected(list), QList<int>{0});
        QCOMPARE(read_setting(SETTING_PATH), at(u"tree"_s));
        // The refused name is told once the folder is in, with the listed file it clashes with.
        QVERIFY(boxes_.asked.isEmpty());
        QCOMPARE(boxes_.told.size(), 1);
        QVERIFY(boxes_.told[0].startsWith(u"1 file was not added"_s));
        QCOMPARE(boxes_.icons, QList<QMessageBox::Icon>{QMessageBox::Information});
        QCOMPARE(boxes_.reports.size(), 1u);
        QCOMPARE(boxes_.reports[0].sections.size(), 1u);
        QCOMPARE(boxes_.reports[0].sections[0].rows,
                 (std::vector<ReportRow>{
                     {path_bytes(at(u"tree/sub/A.MP3"_s)), "same name as " + path_bytes(a)}}));
        boxes_.clear();

        window_->addChosenFiles({big.fileName(), a});
        QCOMPARE(names(list).size(), 4);
        QCOMPARE(boxes_.reports.size(), 1u);  // a itself, listed already
        QCOMPARE(boxes_.reports[0].sections[0].rows.size(), 1u);
        QCOMPARE(boxes_.reports[0].sections[0].rows[0].path, path_bytes(a));
        boxes_.clear();
        QCOMPARE(cell(list, 3, 1), u"1.50 MB"_s);  // 1572864 = 1.5 * 1048576
        // The size column shows a two-digit size whole, as the cell's text room allows it.
        const int textRoom =
            list->columnWidth(1) -
            2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
        QCOMPARE(list->fontMetrics().elidedText(u"54.95 MB"_s, Qt::ElideRight, textRoom),
                 u"54.95 MB"_s);
        QCOMPARE(window_->lastInputFolder(), at(u"first"_s));  // several: the folder

        // Drops: a link stands for its target, a linked folder is searched, a text file is not
        // taken, and the selection stays.
        put(u"target/real.mp3"_s, "quiet.mp3");
        put(u"other/z.mp3"_s, "short.mp3");
        QVERIFY(QFile::link(at(u"target/real.mp3"_s), at(u"link.mp3"_s)));
        QVERIFY(QFile::link(at(u"other"_s), at(u"otherlink"_s)));
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(at(u"link.mp3"_s)),
                         QUrl::fromLocalFile(at(u"otherlink"_s)),
                         QUrl::fromLocalFile(at(u"tree/notes.txt"_s)),
                         QUrl::fromLocalFile(at(u"tree/sub/A.MP3"_s))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &enter);  // a drop follows an entry
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &drop);
        QCOMPARE(names(list).mid(4), (QStringList{u"real.mp3"_s, u"z.mp3"_s}));
        QCOMPARE(cell(list, 4, 2), at(u"target/"_s));
        QCOMPARE(selected(list), QList<int>{0});
        // A drop tells what it refused as well.
        QCOMPARE(boxes_.reports.size(), 1u);
        QCOMPARE(boxes_.reports[0].sections[0].rows.size(), 1u);
        QCOMPARE(boxes_.reports[0].sections[0].rows[0].path, path_bytes(at(u"tree/sub/A.MP3"_s)));
    }

    void removingSelectsTheRowsThatMovedUp() {
        QStringList paths;
        for (int i = 0; i < 5; ++i) {
            paths.push_back(put(u"%1.mp3"_s.arg(i), "short.mp3"));
        }
        FileListCtrl* list = window_->fileListCtrl();
        window_->addChosenFiles(paths);

        // Rows 1 and 3 of five: afterwards the former rows 2 and 4, now 1 and 2, are selected.
        select_only(list, {1, 3});
        control<QPushButton>(window_.get(), ids::REMOVE_SELECTION)->click();
        QCOMPARE(names(list), (QStringList{u"0.mp3"_s, u"2.mp3"_s, u"4.mp3"_s}));
        QCOMPARE(selected(list), (QList<int>{1, 2}));
        QCOMPARE(list->currentIndex().row(), 1);

        select_only(list, {0});
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(names(list), (QStringList{u"2.mp3"_s, u"4.mp3"_s}));
        QCOMPARE(selected(list), QList<int>{0});

        select_only(list, {});
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(selected(list), (QList<int>{0, 1}));

        // The last row removed: nothing moves up into its place, so nothing stays selected.
        select_only(list, {1});
        window_->findChild<QAction*>(id_name(ids::CMD_DELETE))->trigger();
        QCOMPARE(names(list), QStringList{u"2.mp3"_s});
        QVERIFY(selected(list).isEmpty());
        QCOMPARE(info().first(), PROMPT);

        window_->findChild<QAction*>(id_name(ids::CMD_SELECT_ALL))->trigger();
        QCOMPARE(selected(list), QList<int>{0});
        control<QPushButton>(window_.get(), ids::CLEAR_ALL)->click();
        QCOMPARE(list->model()->rowCount(), 0);
        QCOMPARE(info().first(), PROMPT);
    }

    void infoPageShowsTheFirstSelectedFile() {
        QFile stereo(fixture("stereo_44k_128.mp3"));
        QVERIFY(stereo.open(QIODevice::ReadOnly));
        auto text = [](const char* t) { return QByteArray(1, '\0') + t; };  // ISO-8859-1
        const QByteArray tag = id3v23({{"TIT2", text("Crafted")},
                                       {"TPE2", text("Band Only")},
                                       {"TRCK", text("3/12")},
                                       {"TCON", text("(200)")},
                                       {"COMM", text("eng") + text("Just one")}});
        QFile crafted(at(u"crafted.mp3"_s));
        QVERIFY(crafted.open(QIODevice::WriteOnly) && crafted.write(tag + stereo.readAll()) > 0);
        crafted.close();
        FileListCtrl* list = window_->fileListCtrl();
        window_->addChosenFiles({put(u"tagged.mp3"_s, "tagged.mp3"),
                                 put(u"mono.mp3"_s, "mono_22k.mp3"), crafted.fileName()});

        // The fixture's tag: TRCK "07/12" shows 7, TCON "(17)" shows Rock, TPE1's first string.
        // Its 78 frames of 1152 samples at 44100 Hz play 2037.6 ms (tests/data/README.md).
        QCOMPARE(info().mid(0, 5), QStringList{u"Length 0:02.037"_s} + MPEG1_STEREO);
        QCOMPARE(tagFields(), (QStringList{u"Seven Bridges"_s, u"7"_s, u"Anna Example"_s, u"1999"_s,
                                           u"Fixture Album"_s, u"Rock"_s}));
        for (int tab = 0; tab < 3; ++tab) {
            window_->pageTabs()->setCurrentIndex(tab);
            const char* shot[] = {"main_output.png", "main_info.png", "main_options.png"};
            QVERIFY(QFileInfo(save_screenshot(window_.get(), QLatin1String(shot[tab]))).size() > 0);
        }

        // No tag: empty fields, the track's too (no "0"), and still the four header lines.
        click_row(list, 1);
        QCOMPARE(info().mid(1, 4), MPEG2_MONO);
        QCOMPARE(tagFields(),
                 (QStringList{QString(), QString(), QString(), QString(), QString(), QString()}));
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(info().at(5), u"Seven Bridges"_s);

        // TPE2 without TPE1 is the artist; "(200)" names no genre.
        click_row(list, 2);
        QCOMPARE(info().mid(5), (QStringList{u"Crafted"_s, u"3"_s, u"Band Only"_s, QString(),
                                             QString(), QString(), u"Just one"_s}));
        click_row(list, 1, Qt::ControlModifier);  // rows 1 and 2: the lower one is shown
        QCOMPARE(info().at(1), MPEG2_MONO.first());

        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(10, 300));  // below rows
        QVERIFY(selected(list).isEmpty());
        QCOMPARE(info(),
                 (QStringList{PROMPT, QString(), QString(), QString(), QString(), QString(),
                              QString(), QString(), QString(), QString(), QString(), QString()}));
    }

    void optionsValidateAndCoupleSlidersWithBoxes() {
        OptionsPage* page = window_->pageTabs()->optionsPage();
        auto* inSlider = control<QSlider>(page, ids::FADE_IN_SLIDER);
        auto* outSlider = control<QSlider>(page, ids::FADE_OUT_SLIDER);
        auto* inEdit = control<QLineEdit>(page, ids::FADE_IN_EDIT);
        auto* outEdit = control<QLineEdit>(page, ids::FADE_OUT_EDIT);
        QVERIFY(control<QRadioButton>(page, ids::BITS_16)->isChecked());
        QCOMPARE(inEdit->text(), u"0"_s);
        window_->pageTabs()->setCurrentWidget(page);
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));

        // Typing 75 says nothing yet; Enter ends the editing: out of range, the box ends at 60.
        inEdit->setFocus();
        inEdit->selectAll();
        QTest::keyClicks(inEdit, u"75"_s);
        QVERIFY(boxes_.told.isEmpty());
        QCOMPARE(inSlider->value(), 0);
        QTest::keyClick(inEdit, Qt::Key_Return);
        QCOMPARE(boxes_.told, QStringList{u"Please enter an integer between 0 and 60."_s});
        QCOMPARE(inEdit->text(), u"60"_s);
        QCOMPARE(inSlider->value(), 60);

        // A box on its way to a number (emptied, a lone "-") is no error; what is left when the
        // focus goes is: not a number, the message once, then the previous value again.
        boxes_.clear();
        QTest::keyClick(inEdit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(inEdit, Qt::Key_Backspace);
        QTest::keyClick(inEdit, Qt::Key_Minus);
        QVERIFY(boxes_.told.isEmpty());
        outEdit->setFocus();
        QCOMPARE(boxes_.told, QStringList{u"Please enter an integer."_s});
        QCOMPARE(inEdit->text(), u"60"_s);

        // The slider's moves reach its box; a negative number ends clamped at 0.
        boxes_.clear();
        QTest::keyClick(outSlider, Qt::Key_Right);
        QTest::keyClick(outSlider, Qt::Key_Up);
        QCOMPARE(outEdit->text(), u"2"_s);
        QVERIFY(boxes_.told.isEmpty());
        outEdit->setFocus();
        outEdit->selectAll();
        QTest::keyClicks(outEdit, u"-3"_s);
        QTest::keyClick(outEdit, Qt::Key_Enter);
        QCOMPARE(boxes_.told, QStringList{u"Please enter an integer between 0 and 60."_s});
        QCOMPARE(outEdit->text(), u"0"_s);
        outEdit->selectAll();
        QTest::keyClicks(outEdit, u"12"_s);
        QTest::keyClick(outEdit, Qt::Key_Return);
        QCOMPARE(outSlider->value(), 12);
        QCOMPARE(boxes_.told.size(), 1);

        auto* copyTags = control<QCheckBox>(page, ids::COPY_TAGS);
        QVERIFY(!copyTags->isChecked());
        QVERIFY(!page->batchOptions("/out").copyTags);
        control<QRadioButton>(page, ids::BITS_8)->click();
        control<QCheckBox>(page, ids::SKIP_SILENCE)->click();
        copyTags->click();
        const BatchOptions options = page->batchOptions("/out");
        QVERIFY(options.eightBit && !options.normalize && options.skipSilence && options.copyTags);
        window_->pageTabs()->setCurrentWidget(page);
        QVERIFY(QFileInfo(save_screenshot(window_.get(), u"options_tags.png"_s)).size() > 0);
        QCOMPARE(options.fadeIn, 60);
        QCOMPARE(options.fadeOut, 12);
        QVERIFY(!control<QRadioButton>(page, ids::BITS_16)->isChecked());
    }

    void loudnessBoxAndNormalizeClearEachOther() {
        OptionsPage* page = window_->pageTabs()->optionsPage();
        auto* loudness = page->findChild<QCheckBox*>(u"loudness"_s);
        auto* target = page->findChild<QSpinBox*>(u"loudnessTarget"_s);
        auto* album = page->findChild<QCheckBox*>(u"album"_s);
        auto* replayGain = page->findChild<QCheckBox*>(u"replayGain"_s);
        auto* normalize = control<QCheckBox>(page, ids::NORMALIZE);
        QVERIFY(loudness && target && album && replayGain);
        QVERIFY(!page->batchOptions("/out").loudness);
        QCOMPARE(page->batchOptions("/out").targetLufs, -18.0);

        normalize->click();
        loudness->click();
        QVERIFY(loudness->isChecked() && !normalize->isChecked());
        replayGain->click();
        normalize->click();
        QVERIFY(normalize->isChecked() && !loudness->isChecked() && !replayGain->isChecked());
        loudness->click();
        target->setValue(-23);
        album->click();
        replayGain->click();
        const BatchOptions options = page->batchOptions("/out");
        QVERIFY(options.loudness && !options.normalize && options.album && options.replayGain);
        QCOMPARE(options.targetLufs, -23.0);
        QCOMPARE(loudness->accessibleName(), u"Normalize loudness to -23 LUFS"_s);
        window_->pageTabs()->setCurrentWidget(page);
        QVERIFY(QFileInfo(save_screenshot(window_.get(), u"options_loudness.png"_s)).size() > 0);
        for (QCheckBox* box : {loudness, album, replayGain}) {
            box->setChecked(false);
        }
        target->setValue(-18);
    }

    void exactLengthBoxAndTheLameTagOnTheInfoPage() {
        OptionsPage* page = window_->pageTabs()->optionsPage();
        auto* exact = control<QCheckBox>(page, ids::EXACT_LENGTH);
        QVERIFY(!exact->isChecked());
        QVERIFY(!page->batchOptions("/out").exactLength);
        exact->click();
        QVERIFY(page->batchOptions("/out").exactLength);
        window_->pageTabs()->setCurrentIndex(2);
        QVERIFY(
            QFileInfo(save_screenshot(window_.get(), u"main_options_exact_length.png"_s)).size() >
            0);

        // The fixture's Info frame: delay 576, padding 756, 116 frames (tests/data/README.md),
        // so 116 x 1152 - 576 - 756 = 132300 samples, 3 s at 44100 Hz. The line takes the
        // prompt's row; a file without the tag shows its length alone.
        FileListCtrl* list = window_->fileListCtrl();
        window_->addChosenFiles({put(u"info.mp3"_s, "stereo_44k_128_info.mp3"),
                                 put(u"plain.mp3"_s, "stereo_44k_128.mp3")});
        click_row(list, 0);
        QCOMPARE(info().first(), u"Delay 576  Padding 756  Length 0:03.000"_s);
        QCOMPARE(info().mid(1, 4), MPEG1_STEREO);
        window_->pageTabs()->setCurrentIndex(1);
        QVERIFY(QFileInfo(save_screenshot(window_.get(), u"main_info_lame_tag.png"_s)).size() > 0);
        click_row(list, 1);
        // 111 padded frames of 26.125 ms and 5 of 26.0625 ms: 3030.1875 ms, no header frame.
        QCOMPARE(info().first(), u"Length 0:03.030"_s);
        // Without exact length the header frame and the encoder's gaps count: 111 padded
        // frames of 26.125 ms and 6 of 26.0625 ms.
        click_row(list, 0);
        control<QCheckBox>(page, ids::EXACT_LENGTH)->click();
        QCOMPARE(info().first(), u"Delay 576  Padding 756  Length 0:03.056"_s);
    }

    void exactLengthAndCopyTagsSurviveANewWindow() {
        auto exact = [this] {
            return control<QCheckBox>(window_->pageTabs()->optionsPage(), ids::EXACT_LENGTH);
        };
        auto tags = [this] {
            return control<QCheckBox>(window_->pageTabs()->optionsPage(), ids::COPY_TAGS);
        };
        QVERIFY(!exact()->isChecked() && !tags()->isChecked());  // no settings yet: both off

        tags()->click();
        QCOMPARE(read_setting(SETTING_COPY_TAGS), u"1"_s);
        window_.reset();
        openWindow();
        QVERIFY(!exact()->isChecked() && tags()->isChecked());
        const BatchOptions restored = window_->pageTabs()->optionsPage()->batchOptions("/out");
        QVERIFY(restored.copyTags && !restored.exactLength);

        exact()->click();
        tags()->click();
        window_.reset();
        openWindow();
        QVERIFY(exact()->isChecked() && !tags()->isChecked());

        // A run stores both again, whatever the settings file was given meanwhile.
        tags()->click();
        write_setting(SETTING_EXACT_LENGTH, u"0"_s);
        write_setting(SETTING_COPY_TAGS, u"0"_s);
        QVERIFY(QDir().mkpath(at(u"out"_s)));
        control<QLineEdit>(outputPage(), ids::OUTPUT_FOLDER)->setText(at(u"out"_s));
        window_->addChosenFiles({put(u"song.mp3"_s, "tagged.mp3")});
        control<QPushButton>(outputPage(), ids::DECODE_ALL)->click();
        QCOMPARE(boxes_.told, QStringList{u"Decoded all files successfully."_s});
        QCOMPARE(read_setting(SETTING_EXACT_LENGTH), u"1"_s);
        QCOMPARE(read_setting(SETTING_COPY_TAGS), u"1"_s);
        window_.reset();
        openWindow();
        QVERIFY(exact()->isChecked() && tags()->isChecked());
        window_->pageTabs()->setCurrentWidget(window_->pageTabs()->optionsPage());
        QVERIFY(QFileInfo(save_screenshot(window_.get(), u"options_exact_length_and_tags.png"_s))
                    .size() > 0);
    }

    void outputFormatChoiceReachesTheWavAndIsRemembered() {
        auto choice = [this] {
            return control<QComboBox>(window_->pageTabs()->optionsPage(), ids::OUTPUT_FORMAT);
        };
        QCOMPARE(choice()->count(), 3);
        QCOMPARE(choice()->itemText(0), u"As the MP3"_s);
        QCOMPARE(choice()->itemText(1), u"CD audio (44.1 kHz, 16-bit, stereo)"_s);
        QCOMPARE(choice()->itemText(2), u"48 kHz (video)"_s);
        QCOMPARE(choice()->currentIndex(), 0);
        QVERIFY(window_->pageTabs()->optionsPage()->batchOptions("/out").outputFormat ==
                OutputFormat::AsMp3);

        // CD audio over 8-bit and no exact length: the burner's format wins, and the boxes
        // show it without forgetting the user's own choices. A 22.05 kHz mono file becomes
        // 44.1 kHz 16-bit stereo.
        OptionsPage* page = window_->pageTabs()->optionsPage();
        auto* eightBit = control<QRadioButton>(page, ids::BITS_8);
        auto* sixteenBit = control<QRadioButton>(page, ids::BITS_16);
        auto* exact = control<QCheckBox>(page, ids::EXACT_LENGTH);
        eightBit->click();
        exact->setChecked(false);
        choice()->setCurrentIndex(1);
        QVERIFY(sixteenBit->isChecked() && !sixteenBit->isEnabled());
        QVERIFY(!eightBit->isChecked() && !eightBit->isEnabled());
        QVERIFY(exact->isChecked() && !exact->isEnabled());
        QVERIFY(exact->toolTip().endsWith(u"CD audio is always 16-bit, of exact length"_s));
        QVERIFY(page->exactLength());
        QCOMPARE(read_setting(SETTING_EXACT_LENGTH), u"0"_s);
        eightBit->click();
        QVERIFY(sixteenBit->isChecked());
        QCOMPARE(read_setting(SETTING_OUTPUT_FORMAT), u"cd"_s);
        window_->pageTabs()->setCurrentWidget(page);
        QVERIFY(QFileInfo(save_screenshot(window_.get(), u"options_cd_audio.png"_s)).size() > 0);
        QVERIFY(QDir().mkpath(at(u"out"_s)));
        control<QLineEdit>(outputPage(), ids::OUTPUT_FOLDER)->setText(at(u"out"_s));
        window_->addChosenFiles({put(u"mono.mp3"_s, "mono_22k.mp3")});
        control<QPushButton>(outputPage(), ids::DECODE_ALL)->click();
        QCOMPARE(boxes_.told, QStringList{u"Decoded all files successfully."_s});
        const ParsedWav wav = parse_wav_file(at(u"out/mono.wav"_s).toStdString());
        QVERIFY2(wav.ok, wav.error.c_str());
        QCOMPARE(wav.sample_rate, 44100u);
        QCOMPARE(wav.channels, std::uint16_t{2});
        QCOMPARE(wav.bits_per_sample, std::uint16_t{16});

        window_.reset();
        openWindow();
        QCOMPARE(choice()->currentIndex(), 1);
        QVERIFY(
            control<QCheckBox>(window_->pageTabs()->optionsPage(), ids::EXACT_LENGTH)->isChecked());
        // Another format gives the boxes back as they were before CD audio; a click on a
        // box CD audio fixes changes nothing.
        auto* eightBitAgain =
            control<QRadioButton>(window_->pageTabs()->optionsPage(), ids::BITS_8);
        choice()->setCurrentIndex(0);
        QVERIFY(!control<QCheckBox>(window_->pageTabs()->optionsPage(), ids::EXACT_LENGTH)
                     ->isChecked());
        eightBitAgain->click();
        choice()->setCurrentIndex(1);
        QVERIFY(!eightBitAgain->isChecked());
        control<QRadioButton>(window_->pageTabs()->optionsPage(), ids::BITS_16)->click();
        choice()->setCurrentIndex(2);
        QVERIFY(eightBitAgain->isChecked() && eightBitAgain->isEnabled());
        QVERIFY(window_->pageTabs()->optionsPage()->batchOptions("/out").outputFormat ==
                OutputFormat::Video48k);
        window_->pageTabs()->setCurrentWidget(window_->pageTabs()->optionsPage());
        QVERIFY(QFileInfo(save_screenshot(window_.get(), u"options_output_format.png"_s)).size() >
                0);
    }

    void folderChecksSpeakThroughMessageBoxes() {
        const QString deeper = at(u"New/Deeper"_s);
        auto* folderEdit = control<QLineEdit>(outputPage(), ids::OUTPUT_FOLDER);

        // The browser stays open on a path that is a file, not a folder, and on No; after Yes
        // both missing levels exist and the folder is taken.
        const QString plain = put(u"plain.mp3"_s, "short.mp3");
        boxes_.answers = {false, true};
        QList<bool> stayedOpen;
        when_shown<FolderBrowser>([&](FolderBrowser* browser) {
            for (const QString& typed : {plain, deeper, deeper}) {
                browser->pathEdit()->setText(typed);
                browser->okButton()->click();
                stayedOpen.push_back(browser->isVisible());
            }
            if (browser->isVisible()) {
                browser->reject();
            }
        });
        control<QPushButton>(outputPage(), ids::BROWSE)->click();
        QCOMPARE(stayedOpen, (QList<bool>{true, true, false}));
        QCOMPARE(boxes_.told, QStringList{u"The folder:\n\n"_s + plain +
                                          u"\n\nexists, but is not a folder. Please re-enter."_s});
        QCOMPARE(boxes_.icons.first(), QMessageBox::Warning);
        const QString question =
            QStringLiteral(
                "The folder:\n\n%1\n\ndoes not exist. Do you want the folder to be created?")
                .arg(deeper);
        QCOMPARE(boxes_.asked, (QStringList{question, question}));
        QVERIFY(QFileInfo(deeper).isDir());
        QCOMPARE(folderEdit->text(), deeper);
        QCOMPARE(read_setting(SETTING_OUTPUT_PATH), deeper);

        window_->addChosenFiles({put(u"song.mp3"_s, "short.mp3")});
        // An empty folder text leaves the path's line empty; no run, the setting stays.
        boxes_.clear();
        folderEdit->clear();
        control<QPushButton>(outputPage(), ids::DECODE_ALL)->click();
        QCOMPARE(boxes_.told, QStringList{u"The folder:\n\n\n\nis invalid. Please re-enter."_s});
        QCOMPARE(read_setting(SETTING_OUTPUT_PATH), deeper);
        // Creation declined: nothing more is said and nothing is made.
        boxes_.clear();
        folderEdit->setText(at(u"Declined"_s));
        control<QPushButton>(outputPage(), ids::DECODE_ALL)->click();
        QCOMPARE(boxes_.asked.size(), 1);
        QVERIFY(boxes_.told.isEmpty() && !QFileInfo::exists(at(u"Declined"_s)));
        window_->fileListCtrl()->clearSelection();
        control<QPushButton>(outputPage(), ids::DECODE_SELECTED)->click();
        QCOMPARE(boxes_.told, QStringList{u"Select the files to decode!"_s});

        // The box takes what the command line takes: "." and "..", a closing slash.
        boxes_.clear();
        folderEdit->setText(deeper + u"/../Deeper/./"_s);
        control<QPushButton>(outputPage(), ids::DECODE_ALL)->click();
        QCOMPARE(boxes_.told, QStringList{u"Decoded all files successfully."_s});
        QCOMPARE(read_setting(SETTING_OUTPUT_PATH), deeper);
        QVERIFY(QFileInfo(deeper + u"/song.wav"_s).isFile());

        // Add Folder takes a well-formed missing folder without asking, and adds nothing.
        boxes_.clear();
        when_shown<FolderBrowser>(choose(at(u"Nowhere"_s)));
        control<QPushButton>(window_.get(), ids::ADD_FOLDER)->click();
        QVERIFY(boxes_.asked.isEmpty() && boxes_.told.isEmpty());
        QCOMPARE(window_->fileListCtrl()->model()->rowCount(), 1);
        QCOMPARE(read_setting(SETTING_PATH), at(u"Nowhere"_s));
    }

    void settingsRoundTrip() {
        window_.reset();
        const QString in = QFileInfo(put(u"in/one.mp3"_s, "short.mp3")).path();
        put(u"in/two.mp3"_s, "quiet.mp3");
        QDir().mkpath(at(u"out"_s));
        {
            QSettings settings;
            settings.beginGroup(u"2.3"_s);
            settings.setValue(u"LastInputPath"_s, in + u"/one.mp3"_s);
            settings.setValue(u"Output Path"_s, at(u"out"_s));
            settings.setValue(u"Path"_s, in);
        }
        openWindow();
        QCOMPARE(control<QLineEdit>(outputPage(), ids::OUTPUT_FOLDER)->text(), at(u"out"_s));
        // Add Files starts in the last input file's folder, Add Folder in "Path".
        QString start;
        QStringList filters;
        when_shown<QFileDialog>([&](QFileDialog* dialog) {
            start = dialog->directory().absolutePath();
            filters = dialog->nameFilters();
            // Typed, not selected in the view: the view fills in later, under load even after
            // accept, and its first selection (the last input file) would win.
            QLineEdit* name = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
            QVERIFY(name != nullptr);
            name->setText(in + u"/two.mp3"_s);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        control<QPushButton>(window_.get(), ids::ADD_FILES)->click();
        QCOMPARE(start, in);
        QCOMPARE(filters, QStringList{u"MPEG audio files (*.mp3 *.mp2 *.mp1 *.mpa)"_s});
        QCOMPARE(names(window_->fileListCtrl()), QStringList{u"two.mp3"_s});
        when_shown<FolderBrowser>([&](FolderBrowser* browser) {
            start = browser->directory().absolutePath();
            browser->reject();
        });
        control<QPushButton>(window_.get(), ids::ADD_FOLDER)->click();
        QCOMPARE(start, in);
        window_->addChosenFiles({in + u"/one.mp3"_s, in + u"/two.mp3"_s});
        window_.reset();  // "LastInputPath" is stored now

        QSettings stored(settingsDir_.path() + u"/Pelmora/Pelmora.ini"_s, QSettings::IniFormat);
        QCOMPARE(stored.childGroups(), QStringList{u"2.3"_s});
        stored.beginGroup(u"2.3"_s);
        QCOMPARE(stored.value(u"LastInputPath"_s).toString(), in);
        QCOMPARE(stored.value(u"Output Path"_s).toString(), at(u"out"_s));
        QCOMPARE(stored.value(u"Path"_s).toString(), in);

        // Nothing stored: an empty folder box, and Add Files and Add Folder start in the user's
        // music folder, or at home without one; never in the program's folder.
        QSettings().clear();
        openWindow();
        QCOMPARE(control<QLineEdit>(outputPage(), ids::OUTPUT_FOLDER)->text(), QString());
        const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
        const QString expected = QFileInfo(music).isDir() ? music : QDir::homePath();
        when_shown<FolderBrowser>([&](FolderBrowser* browser) {
            start = browser->directory().absolutePath();
            browser->reject();
        });
        control<QPushButton>(window_.get(), ids::ADD_FOLDER)->click();
        QCOMPARE(start, expected);
        when_shown<QFileDialog>([&](QFileDialog* dialog) {
            start = dialog->directory().absolutePath();
            dialog->reject();
        });
        control<QPushButton>(window_.get(), ids::ADD_FILES)->click();
        QCOMPARE(start, expected);
        QVERIFY(start != QCoreApplication::applicationDirPath());
    }

    void libraryChoicesAreStoredAndKeepTheTreeInTheList() {
        OutputPage* page = outputPage();
        auto* keep = control<QCheckBox>(page, ids::KEEP_FOLDERS);
        auto* overwrite = control<QRadioButton>(page, ids::EXISTING_OVERWRITE);
        auto* skip = control<QRadioButton>(page, ids::EXISTING_SKIP);
        auto* rename = control<QRadioButton>(page, ids::EXISTING_RENAME);
        QVERIFY(keep && overwrite && skip && rename);
        // Nothing stored: flat output and overwriting, as before these choices existed.
        QVERIFY(!keep->isChecked());
        QVERIFY(overwrite->isChecked() && !skip->isChecked() && !rename->isChecked());
        QCOMPARE(page->existingPolicy(), ExistingPolicy::Overwrite);
        QCOMPARE(keep->accessibleName(), u"Keep folder structure"_s);

        // The same track name in two albums: one row without the box, both with it.
        put(u"Library/Album 1/01 - Intro.mp3"_s, "short.mp3");
        put(u"Library/Album 2/01 - Intro.mp3"_s, "quiet.mp3");
        FileListCtrl* list = window_->fileListCtrl();
        list->fileList().addPath(at(u"Library"_s).toStdString());
        QCOMPARE(names(list), QStringList{u"01 - Intro.mp3"_s});
        list->fileList().clear();
        // Listed first in name order, it takes the WAV path the .mp3 beside it would write.
        put(u"Library/Album 2/01 - INTRO.mp2"_s, "layer2.mp3");
        QTest::mouseClick(keep, Qt::LeftButton, {}, keep->rect().center());
        QTest::mouseClick(rename, Qt::LeftButton, {}, rename->rect().center());
        QTest::mouseClick(skip, Qt::LeftButton, {}, skip->rect().center());
        QVERIFY(keep->isChecked() && skip->isChecked() && !rename->isChecked());
        QCOMPARE(page->existingPolicy(), ExistingPolicy::Skip);
        list->fileList().addPath(at(u"Library"_s).toStdString());
        QCOMPARE(names(list), (QStringList{u"01 - Intro.mp3"_s, u"01 - INTRO.mp2"_s}));
        QCOMPARE(cell(list, 1, 2), at(u"Library/Album 2/"_s));
        QVERIFY(QFileInfo(save_screenshot(window_.get(), u"main_output_library.png"_s)).size() > 0);

        // Stored as they change, and read back by the next window.
        QCOMPARE(read_setting(SETTING_KEEP_FOLDERS), u"1"_s);
        QCOMPARE(read_setting(SETTING_EXISTING_FILES), u"skip"_s);
        window_.reset();
        openWindow();
        QVERIFY(control<QCheckBox>(outputPage(), ids::KEEP_FOLDERS)->isChecked());
        QVERIFY(control<QRadioButton>(outputPage(), ids::EXISTING_SKIP)->isChecked());
        QVERIFY(!control<QRadioButton>(outputPage(), ids::EXISTING_OVERWRITE)->isChecked());
        control<QRadioButton>(outputPage(), ids::EXISTING_RENAME)->click();
        QCOMPARE(read_setting(SETTING_EXISTING_FILES), u"rename"_s);
        control<QCheckBox>(outputPage(), ids::KEEP_FOLDERS)->click();
        QCOMPARE(read_setting(SETTING_KEEP_FOLDERS), u"0"_s);
    }

    void theWindowIsSkinned() {
        // Cut to the outline stored as region data, painted from its pictures, and every
        // bitmap button still says what it does.
        QCOMPARE(window_->mask().boundingRect(), QRect(QPoint(0, 2), QPoint(644, 385)));
        QCOMPARE(window_->size(), QSize(645, 386));
        QCOMPARE(control<QPushButton>(window_.get(), ids::REMOVE_SELECTION)->toolTip(),
                 u"Remove Selection (Alt+R)"_s);
        QCOMPARE(control<QPushButton>(outputPage(), ids::DECODE_SELECTED)->toolTip(),
                 u"Decode Selected Files (Alt+E)"_s);
        QCOMPARE(control<QWidget>(window_.get(), ids::MAIN_MENU)->toolTip(), u"Main menu"_s);
        QCOMPARE(window_->pageTabs()->currentWidget()->size(), QSize(307, 274));
        const char* shot[] = {"main_output_empty.png", "main_info_empty.png",
                              "main_options_empty.png"};
        for (int tab = 0; tab < 3; ++tab) {
            window_->pageTabs()->setCurrentIndex(tab);
            QVERIFY(QFileInfo(save_screenshot(window_.get(), QLatin1String(shot[tab]))).size() > 0);
        }

        // The main menu drops from its button, drawn flat; its first item shown selected.
        QString popped;
        QTimer::singleShot(50, [&] {
            if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                popped = popup->objectName();
                popup->setActiveAction(popup->actions().first());
                save_screenshot(popup, u"menu_main.png"_s);
                popup->close();
            }
        });
        control<QAbstractButton>(window_.get(), ids::MAIN_MENU)->click();
        QCOMPARE(popped, id_name(ids::MENU_MAIN));
    }

    void windowCommandsKeysAndHelp() {
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        FileListCtrl* list = window_->fileListCtrl();

        QString popped;
        QTimer::singleShot(50, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popped = popup->objectName();
                save_screenshot(popup, u"menu_list.png"_s);
                popup->close();
            }
        });
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(10, 10),
                                     list->viewport()->mapToGlobal(QPoint(10, 10)));
        QCoreApplication::sendEvent(list->viewport(), &rightClick);
        QCOMPARE(popped, id_name(ids::MENU_LIST));

        // F1 opens the general page; F1 inside the About dialog the introduction; a missing
        // page opens nothing.
        QTest::keyClick(window_.get(), Qt::Key_F1);
        bool aboutShown = false;
        when_shown<AboutDialog>([&](AboutDialog* about) {
            aboutShown = true;
            save_screenshot(about, u"about.png"_s);
            QTest::keyClick(about, Qt::Key_F1);
            control<QPushButton>(about, ids::ABOUT_CLOSE)->click();
        });
        window_->findChild<QAction*>(id_name(ids::CMD_ABOUT))->trigger();
        QVERIFY(aboutShown);
        window_->activateWindow();  // the offscreen platform does not hand it back by itself
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        open_help_page(u"no_such_page.html"_s);
        QCOMPARE(urls_.urls.size(), 2);
        QCOMPARE(QFileInfo(urls_.urls[0].toLocalFile()).fileName(), u"help_general.html"_s);
        QCOMPARE(QFileInfo(urls_.urls[1].toLocalFile()).fileName(), u"introduction.html"_s);
        QVERIFY(QFileInfo::exists(urls_.urls[1].toLocalFile()));

        auto* onTop = control<QCheckBox>(window_.get(), ids::ALWAYS_ON_TOP);
        onTop->click();
        QVERIFY(window_->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(window_->isVisible());
        onTop->click();
        QVERIFY(!window_->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));

        QSignalSpy finished(window_.get(), &QDialog::finished);
        QTest::keyClick(window_.get(), Qt::Key_Escape);
        QVERIFY(window_->isVisible() && finished.isEmpty());
        QTest::keyClick(window_.get(), Qt::Key_F4, Qt::AltModifier);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toInt(), int(QDialog::Rejected));
        openWindow();
        QSignalSpy exited(window_.get(), &QDialog::finished);
        control<QPushButton>(window_.get(), ids::EXIT)->click();
        QCOMPARE(exited.size(), 1);
        QCOMPARE(exited[0][0].toInt(), int(QDialog::Accepted));
    }

    void keyboardLeavesTheListSwitchesPagesAndShowsFocus() {
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        auto focused = [] {
            QWidget* w = QApplication::focusWidget();
            return w != nullptr ? w->objectName() : QString();
        };

        // Enter in the output box asks for Decode All, as does its access key.
        QSignalSpy decodeAll(outputPage(), &OutputPage::decodeAllRequested);
        auto* folder = control<QLineEdit>(outputPage(), ids::OUTPUT_FOLDER);
        folder->setFocus();
        QTest::keyClick(folder, Qt::Key_Return);
        QCOMPARE(decodeAll.size(), 1);
        // An empty list has nothing to decode: the buttons and their keys are off.
        QVERIFY(!control<QWidget>(outputPage(), ids::DECODE_ALL)->isEnabled());
        QVERIFY(!control<QWidget>(outputPage(), ids::DECODE_SELECTED)->isEnabled());
        const QImage off = control<QWidget>(outputPage(), ids::DECODE_ALL)->grab().toImage();
        QTest::keyClick(window_.get(), Qt::Key_L, Qt::AltModifier);
        QTest::qWait(50);
        QCOMPARE(decodeAll.size(), 1);

        window_->addChosenFiles({put(u"a.mp3"_s, "tagged.mp3"), put(u"b.mp3"_s, "quiet.mp3")});
        QVERIFY(control<QWidget>(outputPage(), ids::DECODE_ALL)->isEnabled());
        QVERIFY(control<QWidget>(outputPage(), ids::DECODE_SELECTED)->isEnabled());
        // and they look it: the disabled one was drawn faded.
        QVERIFY(control<QWidget>(outputPage(), ids::DECODE_ALL)->grab().toImage() != off);
        // Decode and Decode All answer their keys from every page.
        QSignalSpy decodeSelected(outputPage(), &OutputPage::decodeSelectedRequested);
        for (int page = 0; page < 3; ++page) {
            window_->pageTabs()->setCurrentIndex(page);
            QTest::keyClick(window_.get(), Qt::Key_L, Qt::AltModifier);
            QTRY_COMPARE(decodeAll.size(), 2 + page);  // an access key clicks after a short press
            QTest::keyClick(window_.get(), Qt::Key_E, Qt::AltModifier);
            QTRY_COMPARE(decodeSelected.size(), 1 + page);
        }
        window_->pageTabs()->setCurrentIndex(0);
        FileListCtrl* list = window_->fileListCtrl();
        list->setFocus();
        QCOMPARE(QApplication::focusWidget(), list);
        const QList<int> before = selected(list);

        // Tab leaves the list at once, walks the buttons under it, then reaches the tabs and
        // the page; the selection in the list stays as it was.
        QStringList walk;
        for (int i = 0; i < 6; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walk.push_back(focused());
        }
        QCOMPARE(walk.mid(0, 4),
                 (QStringList{id_name(ids::ADD_FILES), id_name(ids::ADD_FOLDER),
                              id_name(ids::REMOVE_SELECTION), id_name(ids::CLEAR_ALL)}));
        QVERIFY(qobject_cast<QTabBar*>(QApplication::focusWidget()->parentWidget()) != nullptr ||
                window_->pageTabs()->isAncestorOf(QApplication::focusWidget()));
        QCOMPARE(selected(list), before);

        // The pages switch from anywhere, the list included, and the focus stays put.
        list->setFocus();
        PageTabs* tabs = window_->pageTabs();
        const std::pair<QKeyCombination, int> switches[] = {
            {Qt::CTRL | Qt::Key_Tab, 1},
            {Qt::CTRL | Qt::Key_PageDown, 2},
            {Qt::CTRL | Qt::Key_PageDown, 0},
            {Qt::CTRL | Qt::Key_PageUp, 2},
            {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, 1},
            {Qt::ALT | Qt::Key_P, 2},
            {Qt::ALT | Qt::Key_O, 0},
            {Qt::ALT | Qt::Key_I, 1}};
        for (const auto& [key, page] : switches) {
            QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
            QCOMPARE(tabs->currentIndex(), page);
        }
        QCOMPARE(QApplication::focusWidget(), list);
        QCOMPARE(selected(list), before);
        tabs->setCurrentIndex(0);

        // Every button is named for screen readers and, but for the window's own corner
        // buttons, has an access key; no two shown at once share one.
        QStringList keys;
        for (QAbstractButton* button : window_->findChildren<QAbstractButton*>()) {
            if (!button->isVisibleTo(window_.get()) ||
                qobject_cast<QTabBar*>(button->parentWidget()) != nullptr) {
                continue;
            }
            QVERIFY2(!button->accessibleName().isEmpty(), qPrintable(button->objectName()));
            if (button->objectName() == id_name(ids::MINIMIZE) ||
                button->objectName() == id_name(ids::CLOSE)) {
                continue;
            }
            // Decode and Decode All have theirs on the window, so that every page has them.
            const QString key = button->shortcut().isEmpty() ? button->accessibleDescription()
                                                             : button->shortcut().toString();
            QVERIFY2(!key.isEmpty(), qPrintable(button->accessibleName()));
            keys.push_back(key);
        }
        QVERIFY(keys.size() >= 11);
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());

        // Focus shows: a control looks different with the focus than without it.
        auto looksFocused = [&](QWidget* widget, const QString& shot) {
            widget->clearFocus();
            const QImage plain = widget->grab().toImage();
            widget->setFocus(Qt::TabFocusReason);
            if (!widget->hasFocus()) {
                return false;
            }
            const QImage marked = widget->grab().toImage();
            if (!shot.isEmpty()) {
                save_screenshot(widget, shot);
            }
            return plain != marked;
        };
        QVERIFY(looksFocused(control<QWidget>(outputPage(), ids::OPEN_FOLDER_WHEN_DONE),
                             u"focus_check_box.png"_s));
        QVERIFY(
            looksFocused(control<QWidget>(outputPage(), ids::DECODE_ALL), u"focus_button.png"_s));
        QVERIFY(looksFocused(control<QWidget>(window_.get(), ids::ADD_FILES), QString()));
        QVERIFY(looksFocused(control<QWidget>(window_.get(), ids::MAIN_MENU), QString()));
        QVERIFY(looksFocused(list, QString()));
        save_screenshot(window_.get(), u"focus_list.png"_s);
        tabs->setCurrentIndex(2);
        QVERIFY(
            looksFocused(control<QWidget>(tabs->optionsPage(), ids::FADE_IN_SLIDER), QString()));
        QVERIFY(looksFocused(control<QWidget>(tabs->optionsPage(), ids::NORMALIZE), QString()));
        QVERIFY(looksFocused(tabs->tabBar(), QString()));
        save_screenshot(window_.get(), u"focus_tab.png"_s);
    }

    void infoPageSaysWhenAFileHasNoAudio() {
        QFile text(at(u"notes.mp3"_s));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("Just some words.\n") > 0);
        text.close();
        window_->addChosenFiles({text.fileName(), put(u"empty.mp3"_s, "empty.mp3")});
        for (int row = 0; row < 2; ++row) {
            click_row(window_->fileListCtrl(), row);
            QCOMPARE(info().mid(1, 4),
                     (QStringList{u"no MPEG audio found"_s, QString(), QString(), QString()}));
            QCOMPARE(info().at(6), QString());  // no track number either
        }
    }

    void dialogsAndMenusOpenOverTheWindowRightAfterStart() {
        // A place remembered from an earlier run is where the window opens, before any move.
        window_.reset();
        write_setting(SETTING_WINDOW_POSITION, u"20,60"_s);
        openWindow();
        QCOMPARE(window_->pos(), QPoint(20, 60));
        QCOMPARE(window_->windowHandle()->position(), QPoint(20, 60));

        // The main menu drops from its button's lower-left corner, in screen pixels.
        auto* menuButton = control<QAbstractButton>(window_.get(), ids::MAIN_MENU);
        QPoint menuAt(-1, -1);
        QTimer::singleShot(50, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                menuAt = popup->pos();
                popup->close();
            }
        });
        menuButton->click();
        // 20 + 548 across; 60 + 11 + 22 down (the button's last row is 21, then one more)
        QCOMPARE(menuAt, QPoint(568, 93));

        // The list's menu opens where the list was clicked.
        FileListCtrl* list = window_->fileListCtrl();
        QPoint listMenuAt(-1, -1);
        QTimer::singleShot(50, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                listMenuAt = popup->pos();
                popup->close();
            }
        });
        const QPoint inList(30, 40);
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, inList,
                                     list->viewport()->mapToGlobal(inList));
        QCoreApplication::sendEvent(list->viewport(), &rightClick);
        // 20 + 10 (the list, drawn without a frame) + 30 across; 60 + 48 + 40 down
        QCOMPARE(listMenuAt, QPoint(60, 148));

        // About is centred on the window.
        QPoint aboutCentre;
        when_shown<AboutDialog>([&](AboutDialog* about) {
            aboutCentre = about->geometry().center();
            about->reject();
        });
        window_->showAbout();
        QVERIFY((aboutCentre - window_->geometry().center()).manhattanLength() <= 1);
        // A message with a list (the end message, the refusal notice) has the window for its
        // parent and opens over it.
        QPoint reportCentre;
        when_shown<ReportDialog>([&](ReportDialog* report) {
            reportCentre = report->frameGeometry().center();
            report->accept();
        });
        QtMessageBoxes real;
        real.report(window_.get(), refusal_report({{"/m/a/x.mp3", "/m/b/x.mp3"}}),
                    QMessageBox::Information);
        QVERIFY2((reportCentre - window_->geometry().center()).manhattanLength() <= 1,
                 qPrintable(u"%1,%2"_s.arg(reportCentre.x()).arg(reportCentre.y())));

        // The place is remembered when the window goes.
        window_->move(150, 100);
        window_.reset();
        QCOMPARE(read_setting(SETTING_WINDOW_POSITION), u"150,100"_s);
        openWindow();
    }

    void windowPlaceIsTheRememberedOneOnlyWhereItFits() {
        const QList<QRect> screens = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        const QRect primary = screens[0];
        const QSize size(645, 386);
        QCOMPARE(window_place(size, u"100,200"_s, screens, primary), QPoint(100, 200));
        QCOMPARE(window_place(size, u"2000,500"_s, screens, primary), QPoint(2000, 500));
        // Half off every screen, garbage, nothing: centred on the main screen, whose middle
        // pixel is (959, 539): 959 - 645 / 2 = 637 and 539 - 386 / 2 = 346.
        QCOMPARE(window_place(size, u"1600,100"_s, screens, primary), QPoint(637, 346));
        QCOMPARE(window_place(size, u"x,y"_s, screens, primary), QPoint(637, 346));
        QCOMPARE(window_place(size, QString(), screens, primary), QPoint(637, 346));
        // Larger than the screen (a large scale): its top-left corner stays on it.
        QCOMPARE(window_place(QSize(2000, 1200), QString(), screens, QRect(0, 30, 1920, 1050)),
                 QPoint(0, 30));
    }

    void aWrongIdeaOfTheWindowsPlaceIsPutRightByThePointer() {
        // A window manager that placed the window without telling it: the window believes it
        // is at 120,90; the pointer's event says it is 100 to the right and 50 lower.
        WindowPlaceGuard guard;
        qApp->installEventFilter(&guard);
        window_->move(120, 90);
        QWindow* handle = window_->windowHandle();
        const QPointF inWindow(30, 40);
        QMouseEvent moved(QEvent::MouseMove, inWindow, QPointF(250, 180), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(handle, &moved);
        QCOMPARE(guard.corrections(), 1);
        QTRY_COMPARE(window_->pos(), QPoint(220, 140));
        // An event that agrees changes nothing.
        QMouseEvent agreeing(QEvent::MouseMove, inWindow, QPointF(250, 180), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(handle, &agreeing);
        QCOMPARE(guard.corrections(), 1);
        qApp->removeEventFilter(&guard);
    }

    void infoPageShowsEveryTagEncodingAndAPlainGenreName() {
        QFile audio(fixture("stereo_44k_128.mp3"));
        QVERIFY(audio.open(QIODevice::ReadOnly));
        const QByteArray frames = audio.readAll();
        // UTF-16 with a little-endian mark, as lame --id3v2-utf16 writes: "Café Naïve",
        // "Großes Album"; the artist in ISO-8859-1; the genre a plain name.
        auto utf16 = [](const QString& text) {
            QByteArray bytes("\x01\xFF\xFE", 3);
            for (QChar c : text) {
                bytes += char(c.unicode() & 0xFF);
                bytes += char(c.unicode() >> 8);
            }
            return bytes;
        };
        const QByteArray tag = id3v23({{"TIT2", utf16(u"Caf\u00e9 Na\u00efve"_s)},
                                       {"TALB", utf16(u"Gro\u00dfes Album"_s)},
                                       {"TPE1", QByteArray("\0Caf\xe9 Trio", 10)},
                                       {"TCON", QByteArray("\0Rock", 5)}});
        QFile wide(at(u"wide.mp3"_s));
        QVERIFY(wide.open(QIODevice::WriteOnly) && wide.write(tag + frames) > 0);
        wide.close();
        // ID3v2.4 in UTF-8 (tests/support writes it byte by byte): 東京.
        const std::vector<unsigned char> v24 =
            id3v24_utf8_tag({{"TIT2", "\xE6\x9D\xB1\xE4\xBA\xAC"},
                             {"TPE1",
                              "Stra\xC3\x9F"
                              "e"},
                             {"TCON", "Jazz"}});
        QFile utf8(at(u"utf8.mp3"_s));
        QVERIFY(utf8.open(QIODevice::WriteOnly) &&
                utf8.write(
                    QByteArray(reinterpret_cast<const char*>(v24.data()), qsizetype(v24.size())) +
                    frames) > 0);
        utf8.close();

        window_->addChosenFiles({wide.fileName(), utf8.fileName()});
        click_row(window_->fileListCtrl(), 0);
        QCOMPARE(tagFields(),
                 (QStringList{u"Caf\u00e9 Na\u00efve"_s, QString(), u"Caf\u00e9 Trio"_s, QString(),
                              u"Gro\u00dfes Album"_s, u"Rock"_s}));
        window_->pageTabs()->setCurrentIndex(1);
        save_screenshot(window_.get(), u"info_utf16.png"_s);
        click_row(window_->fileListCtrl(), 1);
        QCOMPARE(tagFields(), (QStringList{u"\u6771\u4eac"_s, QString(), u"Stra\u00dfe"_s,
                                           QString(), QString(), u"Jazz"_s}));
        save_screenshot(window_.get(), u"info_utf8.png"_s);
    }

    void noticeLinesKeepTheRefusedFilesName() {
        const QFontMetrics metrics(QApplication::font());
        const QString refused =
            u"/home/someone/Music/A rather long folder for one album/Disc 1/01 - Intro.mp3"_s;
        const QString reason =
            u"same name as /home/someone/Music/Another long folder/Disc 2/01 - Intro.mp3"_s;
        // Room for the start of the folder, the name and the reason, not for the whole folder.
        const int width =
            metrics.horizontalAdvance(u"/home/some\u2026/01 - Intro.mp3: "_s + reason) + 4;
        const QString line = report_line(metrics, refused, reason, width);
        // The folder gave way; the refused file's name and the whole reason stayed.
        QVERIFY2(line.contains(QChar(0x2026)), qPrintable(line));
        QVERIFY2(line.endsWith(u"/01 - Intro.mp3: "_s + reason), qPrintable(line));
        QVERIFY(line.startsWith(u"/home/"_s));
        // A line that fits is left whole.
        QCOMPARE(report_line(metrics, u"/m/a.mp3"_s, u"x"_s, 300), u"/m/a.mp3: x"_s);

        // In the notice itself, and the details list can be widened and shows all on hovering.
        EndReport report = refusal_report({{path_bytes(refused), path_bytes(at(u"k/01.mp3"_s))}});
        ReportDialog dialog(report, QMessageBox::Information, window_.get());
        const QString shown = control<QLabel>(&dialog, ids::REPORT_SHORT_LIST)->text();
        QVERIFY2(shown.contains(u"01 - Intro.mp3: same name as "_s), qPrintable(shown));
        QTreeWidget* details = dialog.details();
        QCOMPARE(details->header()->sectionResizeMode(0), QHeaderView::Interactive);
        QCOMPARE(details->textElideMode(), Qt::ElideMiddle);
        QTreeWidgetItem* row = details->topLevelItem(0)->child(0);
        QCOMPARE(row->toolTip(0), refused);
        QCOMPARE(row->toolTip(1), u"same name as "_s + at(u"k/01.mp3"_s));
    }

    void homeAndEndReachTheFirstAndLastRows() {
        QStringList paths;
        for (int i = 0; i < 5; ++i) {
            paths.push_back(put(u"f%1.mp3"_s.arg(i), "short.mp3"));
        }
        window_->addChosenFiles(paths);
        FileListCtrl* list = window_->fileListCtrl();
        list->setFocus();
        click_row(list, 2);
        QTest::keyClick(list, Qt::Key_End);
        QCOMPARE(selected(list), QList<int>{4});
        QCOMPARE(list->currentIndex().row(), 4);
        QTest::keyClick(list, Qt::Key_Home);
        QCOMPARE(selected(list), QList<int>{0});
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(selected(list), (QList<int>{1, 2, 3, 4}));
        QTest::keyClick(list, Qt::Key_Home, Qt::ShiftModifier);
        QCOMPARE(selected(list), (QList<int>{0, 1}));
    }

    void tabFollowsEachPagesVisualOrder() {
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        window_->addChosenFiles({put(u"a.mp3"_s, "short.mp3")});
        auto walk = [](QWidget* first, int steps) {
            first->setFocus(Qt::TabFocusReason);
            QStringList names{QApplication::focusWidget()->objectName()};
            for (int i = 0; i < steps; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                names.push_back(QApplication::focusWidget()->objectName());
            }
            return names;
        };
        PageTabs* tabs = window_->pageTabs();
        tabs->setCurrentIndex(0);
        // The folder row, the boxes top to bottom, the three choices left to right, then the
        // two buttons at the foot.
        const QStringList output = {
            id_name(ids::OUTPUT_FOLDER),         id_name(ids::BROWSE),
            id_name(ids::OPEN_FOLDER_WHEN_DONE), id_name(ids::EXIT_WHEN_DONE),
            id_name(ids::KEEP_FOLDERS),          id_name(ids::EXISTING_OVERWRITE),
            id_name(ids::EXISTING_SKIP),         id_name(ids::EXISTING_RENAME),
            id_name(ids::DECODE_SELECTED),       id_name(ids::DECODE_ALL)};
        const QStringList walked =
            walk(control<QWidget>(tabs->outputPage(), ids::OUTPUT_FOLDER), 9);
        // A group of choices is one stop (Qt gives the focus to its checked one), so the
        // unchecked ones are left out of both sides; after the last control the focus leaves
        // the page.
        auto stops = [](QStringList names) {
            for (int id : {ids::EXISTING_SKIP, ids::EXISTING_RENAME, ids::BITS_8}) {
                names.removeAll(id_name(id));
            }
            return names;
        };
        QCOMPARE(stops(walked).mid(0, stops(output).size()), stops(output));
        QVERIFY(!tabs->outputPage()->isAncestorOf(QApplication::focusWidget()));

        tabs->setCurrentIndex(2);
        // The row by row order, the loudness controls among them, left to right.
        const QStringList options = {id_name(ids::BITS_16),
                                     id_name(ids::BITS_8),
                                     id_name(ids::EXACT_LENGTH),
                                     id_name(ids::FILES_AT_ONCE),
                                     id_name(ids::COPY_TAGS),
                                     u"replayGain"_s,
                                     u"album"_s,
                                     id_name(ids::NORMALIZE),
                                     u"loudness"_s,
                                     u"loudnessTarget"_s,
                                     id_name(ids::SKIP_SILENCE),
                                     id_name(ids::FADE_IN_SLIDER),
                                     id_name(ids::FADE_IN_EDIT),
                                     id_name(ids::FADE_OUT_SLIDER),
                                     id_name(ids::FADE_OUT_EDIT)};
        const QStringList optionsWalked =
            walk(control<QWidget>(tabs->optionsPage(), ids::BITS_16), 15);
        QCOMPARE(stops(optionsWalked).mid(0, stops(options).size()), stops(options));
        QVERIFY(!tabs->optionsPage()->isAncestorOf(QApplication::focusWidget()));
    }

    void ctrlTabSwitchesPagesFromTheListWithRealKeys() {
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        window_->addChosenFiles({put(u"a.mp3"_s, "short.mp3"), put(u"b.mp3"_s, "quiet.mp3")});
        FileListCtrl* list = window_->fileListCtrl();
        list->setFocus();
        PageTabs* tabs = window_->pageTabs();
        tabs->setCurrentIndex(0);
        // Through the window, as the platform delivers keys: the shortcut map first.
        QTest::keyClick(window_->windowHandle(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), 1);
        QTest::keyClick(window_->windowHandle(), Qt::Key_Backtab,
                        Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(QApplication::focusWidget(), list);
    }

    void captionsFitALargerDesktopFontAndMenusHaveNoEmptyColumn() {
        // 1.25 times the desktop's point size, as a larger font scheme gives it.
        const QFont normal = QApplication::font();
        QFont larger = normal;
        larger.setPointSizeF(normal.pointSizeF() * 1.25);
        QApplication::setFont(larger);
        window_ = std::make_unique<MainWindow>(boxes_);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        window_->pageTabs()->setCurrentIndex(2);
        QLabel* caption = nullptr;
        for (QLabel* label : window_->pageTabs()->optionsPage()->findChildren<QLabel*>()) {
            if (label->text() == u"Files at once"_s) {
                caption = label;
            }
        }
        QVERIFY(caption != nullptr);
        QVERIFY(caption->fontMetrics().horizontalAdvance(caption->text()) <=
                caption->contentsRect().width());
        save_screenshot(window_.get(), u"options_larger_font.png"_s);
        QApplication::setFont(normal);

        // A menu of words alone starts its words near its edge, on the menu's own colour.
        auto* menu = window_->findChild<QMenu*>(id_name(ids::MENU_LIST));
        QVERIFY(menu != nullptr);
        menu->popup(QPoint(10, 10));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        const QImage picture = menu->grab().toImage();
        const QRect first = menu->actionGeometry(menu->actions().first());
        QCOMPARE(picture.pixelColor(first.left() + 8, first.center().y()),
                 menu->palette().color(QPalette::Window));
        save_screenshot(menu, u"menu_list_no_column.png"_s);
        menu->close();
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
