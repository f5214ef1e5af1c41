// The skin's widgets and pictures under the offscreen platform: outlines from pictures and from
// region data, the progress and slider arithmetic, links, menus and gradients. Pictures of the
// widgets go to the build folder's screenshots/skin/.
#include "app/skin/skin.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QWidget>

#include "app/skin/buttons.h"
#include "app/skin/layout.h"
#include "app/skin/links.h"
#include "app/skin/list.h"
#include "app/skin/menus.h"
#include "app/skin/pictures.h"
#include "app/skin/progress.h"
#include "app/skin/slider.h"

namespace {

QImage solid(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QPixmap solid_pixmap(int width, int height, QColor colour) {
    return QPixmap::fromImage(solid(width, height, colour));
}

// A region from pixel rectangles written out by hand.
QRegion rects(std::initializer_list<QRect> list) {
    QRegion r;
    for (const QRect& rect : list) {
        r += rect;
    }
    return r;
}

// An RGNDATA block written field by field, independently of the parser.
QByteArray rgndata(qint32 headerSize, qint32 type, qint32 count, qint32 bytes,
                   std::initializer_list<qint32> fields) {
    QByteArray block;
    auto put = [&block](qint32 v) {
        const auto u = static_cast<quint32>(v);
        block.append(static_cast<char>(u & 0xFF));
        block.append(static_cast<char>((u >> 8) & 0xFF));
        block.append(static_cast<char>((u >> 16) & 0xFF));
        block.append(static_cast<char>((u >> 24) & 0xFF));
    };
    for (qint32 v : {headerSize, type, count, bytes}) {
        put(v);
    }
    for (qint32 v : fields) {
        put(v);
    }
    return block;
}

qint32 read_le32(const QByteArray& b, int at) {
    return static_cast<qint32>(static_cast<quint8>(b[at]) | static_cast<quint8>(b[at + 1]) << 8 |
                               static_cast<quint8>(b[at + 2]) << 16 |
                               static_cast<quint32>(static_cast<quint8>(b[at + 3])) << 24);
}

// Each step can be told to fail; the block is what a successful lock hands over.
class FakeResources : public DataResources {
public:
    bool find(int) override { return found; }
    bool load() override { return loaded; }
    qint64 size() override { return block.size(); }
    std::optional<QByteArray> lock() override {
        return locked ? std::optional<QByteArray>(block) : std::nullopt;
    }

    bool found = true;
    bool loaded = true;
    bool locked = true;
    QByteArray block;
};

QString screenshot_folder() {
    const QString folder = QStringLiteral(PELMORA_SCREENSHOTS "/skin");
    QDir().mkpath(folder);
    return folder;
}

void save(QWidget& widget, const char* name) {
    QVERIFY(widget.grab().save(screenshot_folder() + QLatin1Char('/') + QLatin1String(name)));
}

}  // namespace

class SkinTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void regionFromBitmapCutsTheTransparentColourWithinItsTolerance();
    void regionFromBitmapHasFixedBoundsForBlackAndWhite();
    void regionFromBitmapKeepsEveryRunOfALargePicture();
    void regionDataBecomesTheRectanglesItLists();
    void malformedRegionDataIsRefused();
    void eachRegionFailureHasItsOwnMessage();
    void theMainWindowOutlineIsFortyRectanglesInItsBounds();
    void everyPictureIsThereAtItsSize();
    void scaledScreensGetPicturesDrawnForTheirRatio();
    void progressFillFollowsThePercentageOfTheSpan();
    void progressPositionsAreClampedAndStepsRemembered();
    void sliderGeometryBothWays();
    void sliderDragReportsWhileMovingAndOnRelease();
    void sliderKeysMoveByOneByPageAndToTheEnds();
    void sliderLeavesItsKeyColourOut();
    void buttonFacesFollowTheState();
    void checkBoxesAndRadioButtonsShowTheirPictures();
    void menuButtonLeavesItsKeyColourOut();
    void hyperlinkColourChoice();
    void hyperlinkTextAndTargetStandInForEachOther();
    void hyperlinkOpensOrBeepsAndReports();
    void registeredProgramCommandLine();
    void menuCharacterFindsTheFirstItemWithTheMnemonic();
    void menuCharacterExecutesTheItemInAnOpenMenu();
    void menuColoursLightenAndDarken();
    void gradientBandsWhenThereIsNoGradientFunction();
    void listShowsItsPictureOnlyWhileEmpty();
    void widgetsOnTheArtwork();
};

void SkinTest::regionFromBitmapCutsTheTransparentColourWithinItsTolerance() {
    // Green (0, 255, 0): red and blue may be 0 to 17, green 238 to 255.
    QImage picture = solid(6, 2, QColor(0, 255, 0));
    picture.setPixelColor(1, 0, QColor(17, 255, 0));  // within: cut
    picture.setPixelColor(2, 0, QColor(18, 255, 0));  // red one past: stays
    picture.setPixelColor(3, 0, QColor(0, 238, 17));  // both at the edge: cut
    picture.setPixelColor(4, 0, QColor(0, 237, 0));   // green one past: stays
    picture.setPixelColor(1, 1, QColor(30, 30, 30));
    picture.setPixelColor(2, 1, QColor(30, 30, 30));
    picture.setPixelColor(3, 1, QColor(30, 30, 30));
    const std::optional<QRegion> kept = MakeRegionFromBitmap(picture, qRgb(0, 255, 0));
    QVERIFY(kept.has_value());
    QCOMPARE(*kept, rects({QRect(2, 0, 1, 1), QRect(4, 0, 1, 1), QRect(1, 1, 3, 1)}));

    // Inverted, the runs of transparent pixels are the region.
    const std::optional<QRegion> cut = MakeRegionFromBitmap(picture, qRgb(0, 255, 0), true);
    QVERIFY(cut.has_value());
    QCOMPARE(*cut, rects({QRect(0, 0, 2, 1), QRect(3, 0, 1, 1), QRect(5, 0, 1, 1),
                          QRect(0, 1, 1, 1), QRect(4, 1, 2, 1)}));

    // A mid colour allows 17 either side: 100 keeps 83 to 117.
    QImage mid = solid(4, 1, QColor(100, 100, 100));
    mid.setPixelColor(1, 0, QColor(83, 117, 100));
    mid.setPixelColor(2, 0, QColor(82, 100, 100));
    mid.setPixelColor(3, 0, QColor(100, 100, 118));
    QCOMPARE(*MakeRegionFromBitmap(mid, qRgb(100, 100, 100)), rects({QRect(2, 0, 2, 1)}));

    QVERIFY(!MakeRegionFromBitmap(QImage(), qRgb(0, 255, 0)).has_value());
}

void SkinTest::regionFromBitmapHasFixedBoundsForBlackAndWhite() {
    // Black cuts 0 to 16 on every channel, where the general rule would allow 17.
    QImage dark = solid(3, 1, Qt::black);
    dark.setPixelColor(1, 0, QColor(16, 16, 16));
    dark.setPixelColor(2, 0, QColor(17, 0, 0));
    QCOMPARE(*MakeRegionFromBitmap(dark, qRgb(0, 0, 0)), rects({QRect(2, 0, 1, 1)}));

    // White cuts 239 to 255, where the general rule would allow 238.
    QImage light = solid(3, 1, Qt::white);
    light.setPixelColor(1, 0, QColor(239, 239, 239));
    light.setPixelColor(2, 0, QColor(238, 255, 255));
    QCOMPARE(*MakeRegionFromBitmap(light, qRgb(255, 255, 255)), rects({QRect(2, 0, 1, 1)}));
}

void SkinTest::regionFromBitmapKeepsEveryRunOfALargePicture() {
    // A checkerboard has 60 one-pixel runs per row, 6000 in all: the rectangles pass through
    // the buffer's flush twice.
    QImage board(120, 100, QImage::Format_RGB32);
    for (int y = 0; y < board.height(); ++y) {
        for (int x = 0; x < board.width(); ++x) {
            board.setPixelColor(x, y, (x + y) % 2 == 0 ? QColor(0, 255, 0) : QColor(200, 0, 0));
        }
    }
    const QRegion kept = MakeRegionFromBitmap(board, qRgb(0, 255, 0)).value();
    for (int y = 0; y < board.height(); ++y) {
        for (int x = 0; x < board.width(); ++x) {
            QCOMPARE(kept.contains(QPoint(x, y)), (x + y) % 2 == 1);
        }
    }
}

void SkinTest::regionDataBecomesTheRectanglesItLists() {
    // Two rectangles with exclusive right and bottom edges, and an empty one that adds nothing.
    const QByteArray block = rgndata(32, 1, 3, 48,
                                     {0, 0, 10, 10,  // bounds
                                      0, 0, 10, 5, 2, 5, 8, 10, 4, 4, 4, 9});
    const std::optional<QRegion> region = region_from_data(block);
    QVERIFY(region.has_value());
    QCOMPARE(*region, rects({QRect(0, 0, 10, 5), QRect(2, 5, 6, 5)}));
    QVERIFY(region->contains(QPoint(7, 9)));
    QVERIFY(!region->contains(QPoint(8, 9)));

    // A rectangle byte count of 0 means "not known" and is accepted.
    QVERIFY(region_from_data(rgndata(32, 1, 1, 0, {0, 0, 4, 4, 0, 0, 4, 4})).has_value());
}

void SkinTest::malformedRegionDataIsRefused() {
    const std::initializer_list<qint32> oneRect = {0, 0, 4, 4, 0, 0, 4, 4};
    QVERIFY(!region_from_data(rgndata(28, 1, 1, 16, oneRect)).has_value());  // header size
    QVERIFY(!region_from_data(rgndata(32, 2, 1, 16, oneRect)).has_value());  // not rectangles
    QVERIFY(!region_from_data(rgndata(32, 1, 2, 32, oneRect)).has_value());  // too short
    QVERIFY(!region_from_data(rgndata(32, 1, 1, 32, oneRect)).has_value());  // byte count
    QVERIFY(!region_from_data(rgndata(32, 1, -1, 0, oneRect)).has_value());  // negative count
    QVERIFY(!region_from_data(QByteArray(31, '\0')).has_value());
}

void SkinTest::eachRegionFailureHasItsOwnMessage() {
    QStringList captions;
    QStringList texts;
    const RegionMessage message = [&](const QString& caption, const QString& text) {
        captions.push_back(caption);
        texts.push_back(text);
    };
    QWidget window;
    window.resize(20, 20);
    const QByteArray good = rgndata(32, 1, 1, 16, {0, 0, 10, 10, 0, 0, 10, 10});

    auto attempt = [&](FakeResources& fake, QWidget* target) {
        texts.clear();
        return ApplyRegionResource(target, 316, message, fake);
    };
    FakeResources missing;
    missing.found = false;
    QCOMPARE(attempt(missing, &window), 0);
    QCOMPARE(texts, QStringList{QStringLiteral("failed to find region")});
    FakeResources unloaded;
    unloaded.loaded = false;
    QCOMPARE(attempt(unloaded, &window), 0);
    QCOMPARE(texts, QStringList{QStringLiteral("failed to load region")});
    FakeResources empty;
    QCOMPARE(attempt(empty, &window), 0);
    QCOMPARE(texts, QStringList{QStringLiteral("region has an invalid size")});
    FakeResources unlocked;
    unlocked.block = good;
    unlocked.locked = false;
    QCOMPARE(attempt(unlocked, &window), 0);
    QCOMPARE(texts, QStringList{QStringLiteral("failed to lock resource memory")});
    FakeResources garbage;
    garbage.block = QByteArray(40, '\x7f');
    QCOMPARE(attempt(garbage, &window), 0);
    QCOMPARE(texts, QStringList{QStringLiteral("failed to create a region from that data")});
    FakeResources fine;
    fine.block = good;
    QCOMPARE(attempt(fine, nullptr), 0);
    QCOMPARE(texts, QStringList{QStringLiteral("failed to set the region for that window")});
    QVERIFY(window.mask().isEmpty());  // every failure left it rectangular
    QVERIFY(captions.size() == 6 && captions.count(QStringLiteral("Init Region")) == 6);

    QCOMPARE(attempt(fine, &window), 1);
    QVERIFY(texts.isEmpty());
    QCOMPARE(window.mask(), QRegion(0, 0, 10, 10));
}

void SkinTest::theMainWindowOutlineIsFortyRectanglesInItsBounds() {
    QFile file(skin_data_path(pictures::MAIN_REGION));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray block = file.readAll();
    QCOMPARE(read_le32(block, 0), 32);
    QCOMPARE(read_le32(block, 4), 1);
    QCOMPARE(read_le32(block, 8), 40);
    QCOMPARE(read_le32(block, 12), 640);
    QCOMPARE(block.size(), 32 + 640);
    const QRect bounds(QPoint(read_le32(block, 16), read_le32(block, 20)),
                       QPoint(read_le32(block, 24) - 1, read_le32(block, 28) - 1));
    QCOMPARE(bounds, QRect(QPoint(0, 2), QPoint(644, 385)));
    for (int i = 0; i < 40; ++i) {
        const int at = 32 + 16 * i;
        const QRect r(QPoint(read_le32(block, at), read_le32(block, at + 4)),
                      QPoint(read_le32(block, at + 8) - 1, read_le32(block, at + 12) - 1));
        QVERIFY2(!r.isEmpty() && bounds.contains(r), qPrintable(QString::number(i)));
    }
    QWidget window;
    window.resize(645, 386);
    int told = 0;
    QCOMPARE(ApplyRegionResource(&window, pictures::MAIN_REGION,
                                 [&](const QString&, const QString&) { ++told; }),
             1);
    QCOMPARE(told, 0);
    QCOMPARE(window.mask().boundingRect(), bounds);
    // the corners are cut, the middle of every edge is kept
    QVERIFY(!window.mask().contains(QPoint(0, 2)));
    QVERIFY(!window.mask().contains(QPoint(644, 385)));
    QVERIFY(window.mask().contains(QPoint(0, 200)));
    QVERIFY(window.mask().contains(QPoint(322, 385)));
}

void SkinTest::everyPictureIsThereAtItsSize() {
    for (const pictures::Picture& p : pictures::ALL) {
        const QImage image = skin_picture(p.id);
        QVERIFY2(!image.isNull(), qPrintable(QString::number(p.id)));
        QCOMPARE(image.size(), QSize(p.width, p.height));
    }
    // Pages and the About dialog are cut from their pictures: green corners go, the rest stays.
    for (int id : {pictures::OUTPUT_PAGE, pictures::INFO_PAGE, pictures::OPTIONS_PAGE,
                   pictures::ABOUT_BACKGROUND}) {
        const QImage image = skin_picture(id);
        const QRegion kept = MakeRegionFromBitmap(image, qRgb(0, 255, 0)).value();
        QVERIFY(!kept.contains(QPoint(0, image.height() - 1)));
        QVERIFY(!kept.contains(QPoint(image.width() - 1, image.height() - 1)));
        QVERIFY(kept.contains(QPoint(image.width() / 2, image.height() / 2)));
        QVERIFY(kept.contains(QPoint(image.width() / 2, image.height() - 1)));
        // No pixel the cut keeps is green-tinted: a fringe of half-green corner pixels would
        // show on the desktop. The pictures have no green of their own (their colours are
        // blues, greys and white), so "green well above red and blue" can only be a fringe.
        int tinted = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = image.pixel(x, y);
                if (kept.contains(QPoint(x, y)) && qGreen(c) > qRed(c) + 40 &&
                    qGreen(c) > qBlue(c) + 40) {
                    ++tinted;
                }
            }
        }
        QVERIFY2(tinted == 0,
                 qPrintable(QStringLiteral("%1: %2 tinted pixels").arg(id).arg(tinted)));
    }
}

void SkinTest::progressFillFollowsThePercentageOfTheSpan() {
    const QColor fill(10, 200, 30);
    SkinProgressBar bar;
    bar.setFillPicture(solid_pixmap(7, 5, fill));
    bar.resize(203, 10);
    // Inside is x 1 to 201 (203 less one pixel each side), 201 wide.
    bar.SetRange32(0, 1000);
    bar.SetPos(333);
    // 333 of 1000 is 33 per cent; 201 * 33 / 100 = 66.33, so the fill ends before x = 67.
    QCOMPARE(SkinProgressBar::percentage(333, 0, 1000), 33);
    QCOMPARE(bar.filledRect(), QRect(1, 1, 66, 8));
    const QImage shot = bar.grab().toImage();
    QCOMPARE(shot.pixelColor(1, 5), fill);
    QCOMPARE(shot.pixelColor(66, 5), fill);
    QVERIFY(shot.pixelColor(67, 5) != fill);
    QVERIFY(shot.pixelColor(0, 5) != fill);

    // 0 to 0 has span 1, and position 0 fills nothing.
    bar.SetRange32(0, 0);
    bar.SetPos(0);
    QCOMPARE(bar.span(), 1);
    QVERIFY(bar.filledRect().isEmpty());
    QVERIFY(bar.grab().toImage().pixelColor(1, 5) != fill);

    // The upper bound fills all of the inside, also for spans where 100 / span is inexact.
    for (int upper : {97, 100, 7, 3000}) {
        bar.SetRange32(0, upper);
        bar.SetPos(upper);
        QCOMPARE(bar.filledRect(), QRect(1, 1, 201, 8));
    }
    QCOMPARE(bar.grab().toImage().pixelColor(201, 5), fill);

    // A negative lower bound counts from the bound: -50 to 50 at 0 is 50 per cent of 201.
    bar.SetRange32(-50, 50);
    bar.SetPos(0);
    QCOMPARE(bar.filledRect(), QRect(1, 1, 100, 8));

    // Past the right edge the fill stops one short of it: 10 to 20 at 20 is (20 + 10) * 10 =
    // 300 per cent.
    bar.SetRange32(10, 20);
    bar.SetPos(20);
    QCOMPARE(bar.filledRect(), QRect(1, 1, 200, 8));

    // A framed bar loses one more pixel each side: 50 per cent of 199 is 99.
    bar.setFramed(true);
    bar.SetRange32(0, 100);
    bar.SetPos(50);
    QCOMPARE(bar.filledRect(), QRect(2, 2, 99, 6));
    QCOMPARE(bar.grab().toImage().pixelColor(0, 0), QColor(Qt::black));
}

void SkinTest::progressPositionsAreClampedAndStepsRemembered() {
    SkinProgressBar bar;
    QCOMPARE(bar.lower(), 0);
    QCOMPARE(bar.upper(), 100);
    QCOMPARE(bar.SetStep(3), 10);
    QCOMPARE(bar.SetPos(150), 0);
    QCOMPARE(bar.pos(), 100);
    QCOMPARE(bar.value(), 100);
    bar.SetPos(-5);
    QCOMPARE(bar.pos(), 0);
    bar.StepIt();
    QCOMPARE(bar.pos(), 3);
    bar.SetRange32(0, 2);
    QCOMPARE(bar.pos(), 2);  // the old position is clamped into the new range
}

void SkinTest::sliderGeometryBothWays() {
    SkinSlider slider;
    slider.setThumbPictures(solid(11, 24, Qt::red), QImage());
    slider.setChannelPictures(solid(200, 24, Qt::gray), QImage());
    slider.resize(200, 24);
    slider.setRange(0, 60);
    // W 200, thumb 11 (half 5), no margins: travel 189.
    QCOMPARE(slider.thumbCentre(0), 5);
    QCOMPARE(slider.thumbCentre(30), 99);  // 189 * 30 / 60 = 94.5, truncated, + 5
    QCOMPARE(slider.thumbCentre(60), 194);
    QCOMPARE(slider.positionAt(99), 29);  // (99 - 5) / 189 * 60 = 29.84
    QCOMPARE(slider.positionAt(194), 60);
    QCOMPARE(slider.positionAt(5), 0);
    QCOMPARE(slider.positionAt(4), 0);  // -0.32 truncates toward zero

    // Margins 10 and 6: travel 200 - 6 - 11 - 10 = 173.
    slider.SetMargins(10, 0, 6, 0);
    QCOMPARE(slider.thumbCentre(30), 101);  // 10 + 86 (86.5) + 5
    QCOMPARE(slider.positionAt(101), 29);   // (101 - 5 - 10) / 173 * 60 = 29.83
    slider.SetMargins(0, 0, 0, 0);

    // A range that does not start at 0.
    slider.setRange(10, 70);
    QCOMPARE(slider.thumbCentre(40), 99);
    QCOMPARE(slider.positionAt(99), 39);  // 10 + 29.84
}

void SkinTest::sliderDragReportsWhileMovingAndOnRelease() {
    SkinSlider slider;
    slider.setControlId(1082);
    slider.setThumbPictures(solid(11, 24, Qt::red), QImage());
    slider.setChannelPictures(solid(200, 24, Qt::gray), QImage());
    slider.resize(200, 24);
    slider.setRange(0, 60);
    slider.SetPos(0);
    QSignalSpy moving(&slider, &SkinSlider::thumbMoving);
    QSignalSpy moved(&slider, &SkinSlider::thumbMoved);

    // A press away from the thumb (its centre is at 5) makes it jump under the pointer.
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(99, 12));
    QCOMPARE(slider.value(), 29);
    QCOMPARE(moving.size(), 1);
    QCOMPARE(moving.at(0), (QList<QVariant>{1082, 29}));
    QVERIFY(moved.isEmpty());
    // Dragging past the end stops at W - T / 2 = 195, which is 60.3, clamped to 60.
    QTest::mouseMove(&slider, QPoint(300, 12));
    QCOMPARE(slider.value(), 60);
    QCOMPARE(moving.size(), 2);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(300, 12));
    QCOMPARE(moved.size(), 1);
    QCOMPARE(moved.at(0), (QList<QVariant>{1082, 60}));

    // A press on the thumb keeps the grab offset: 3 pixels right of the centre 99.
    slider.SetPos(30);
    moving.clear();
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(102, 12));
    QCOMPARE(slider.value(), 30);
    QVERIFY(moving.isEmpty());
    QTest::mouseMove(&slider, QPoint(120, 12));
    QCOMPARE(slider.value(), 35);  // centre 117: (117 - 5) / 189 * 60 = 35.6
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(120, 12));

    // Setting the position reports nothing.
    moving.clear();
    moved.clear();
    slider.SetPos(75);
    QCOMPARE(slider.value(), 60);
    QVERIFY(moving.isEmpty() && moved.isEmpty());
}

void SkinTest::sliderKeysMoveByOneByPageAndToTheEnds() {
    SkinSlider slider;
    slider.setControlId(7);
    slider.setRange(0, 60);
    QCOMPARE(slider.pageStep(), 20);
    slider.SetPos(30);
    QSignalSpy moved(&slider, &SkinSlider::thumbMoved);
    // Up and Page Up raise the value, Down and Page Down lower it.
    const std::pair<Qt::Key, int> steps[] = {
        {Qt::Key_PageUp, 50},  {Qt::Key_PageDown, 30}, {Qt::Key_PageDown, 10},
        {Qt::Key_PageDown, 0},  // clamped from -10
        {Qt::Key_End, 60},     {Qt::Key_PageUp, 60},   {Qt::Key_Home, 0},
        {Qt::Key_Right, 1},    {Qt::Key_Up, 2},        {Qt::Key_Left, 1},
        {Qt::Key_Down, 0},     {Qt::Key_Left, 0},
    };
    for (const auto& [key, expected] : steps) {
        moved.clear();
        QTest::keyClick(&slider, key);
        QCOMPARE(slider.value(), expected);
        // every key reports, even when clamping left the position where it was
        QCOMPARE(moved.size(), 1);
        QCOMPARE(moved.at(0), (QList<QVariant>{7, expected}));
    }
    slider.setEnabled(false);
    QTest::keyClick(&slider, Qt::Key_End);
    QCOMPARE(slider.value(), 0);
}

void SkinTest::sliderLeavesItsKeyColourOut() {
    const QColor green(0, 255, 0);
    const QColor magenta(255, 0, 255);
    const QColor blue(0, 0, 255);  // what lies under the slider
    auto shown = [&](SkinSlider& slider) {
        QImage image(slider.size(), QImage::Format_RGB32);
        image.fill(blue);
        slider.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        return image;
    };
    SkinSlider slider;
    slider.resize(40, 24);
    slider.setRange(0, 60);
    slider.SetPos(60);  // the thumb covers x 29 to 39

    // A key given: the channel's green column is cut, the gray around it is drawn.
    QImage channel = solid(40, 24, Qt::gray);
    for (int y = 0; y < 24; ++y) {
        channel.setPixelColor(20, y, green);
    }
    slider.setChannelPictures(channel, QImage(), true, green);
    slider.setThumbPictures(solid(11, 24, Qt::red), QImage());
    QImage image = shown(slider);
    QCOMPARE(image.pixelColor(20, 5), blue);
    QCOMPARE(image.pixelColor(19, 5), QColor(Qt::gray));
    QCOMPARE(image.pixelColor(34, 5), QColor(Qt::red));
    // With transparent off the same key is drawn.
    slider.setChannelPictures(channel, QImage(), false, green);
    QCOMPARE(shown(slider).pixelColor(20, 5), green);

    // No key: the colour of the pixel at the key point, here the thumb's magenta frame.
    QImage thumb = solid(11, 24, magenta);
    for (int y = 2; y < 22; ++y) {
        for (int x = 2; x < 9; ++x) {
            thumb.setPixelColor(x, y, Qt::red);
        }
    }
    slider.setChannelPictures(solid(40, 24, Qt::gray), QImage());
    slider.setThumbPictures(thumb, QImage(), true);
    image = shown(slider);
    QCOMPARE(image.pixelColor(29, 0), QColor(Qt::gray));
    QCOMPARE(image.pixelColor(39, 23), QColor(Qt::gray));
    QCOMPARE(image.pixelColor(34, 12), QColor(Qt::red));
    slider.setThumbPictures(thumb, QImage(), true, QColor(), QPoint(5, 12));
    image = shown(slider);
    QCOMPARE(image.pixelColor(34, 12), QColor(Qt::gray));
    QCOMPARE(image.pixelColor(29, 0), magenta);
}

void SkinTest::buttonFacesFollowTheState() {
    // enabled, down, checked, hovering, focused
    QCOMPARE(button_face(false, true, true, true, true), ButtonFace::Disabled);
    QCOMPARE(button_face(true, true, false, true, false), ButtonFace::Pressed);
    QCOMPARE(button_face(true, false, true, true, true), ButtonFace::Pressed);
    QCOMPARE(button_face(true, false, false, true, true), ButtonFace::Hover);
    QCOMPARE(button_face(true, false, false, false, true), ButtonFace::Focus);
    QCOMPARE(button_face(true, false, false, false, false), ButtonFace::Normal);
}

void SkinTest::checkBoxesAndRadioButtonsShowTheirPictures() {
    const QColor normal(200, 0, 0);
    const QColor pressed(0, 200, 0);
    const QColor hover(0, 0, 200);
    QWidget parent;
    auto* box = new SkinCheckBox(&parent);
    box->setPictures(solid_pixmap(40, 20, normal), solid_pixmap(40, 20, pressed),
                     solid_pixmap(40, 20, hover));
    box->setGeometry(0, 0, 40, 20);
    auto colour = [](QWidget* w) { return w->grab().toImage().pixelColor(30, 10); };
    QCOMPARE(box->sizeHint(), QSize(40, 20));
    QCOMPARE(colour(box), normal);
    QEnterEvent enter(QPointF(30, 10), QPointF(30, 10), QPointF(30, 10));
    QApplication::sendEvent(box, &enter);
    QCOMPARE(colour(box), hover);
    // anywhere on the picture counts, not only the base class's indicator
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(35, 10));
    QVERIFY(box->isChecked());
    QCOMPARE(colour(box), pressed);
    // No disabled picture: the picture of its state, faded over what lies under it, so that it
    // does not look as if it would do something and still shows whether it is ticked.
    box->setEnabled(false);
    const QColor fadedTicked = colour(box);
    QVERIFY2(fadedTicked != pressed && fadedTicked.green() > fadedTicked.red() + 60 &&
                 fadedTicked.red() > 60,
             qPrintable(fadedTicked.name()));
    box->setChecked(false);
    const QColor faded = colour(box);
    QVERIFY2(faded != normal && faded.red() > faded.green() + 60 && faded.green() > 60,
             qPrintable(faded.name()));

    auto* first = new SkinRadioButton(&parent);
    auto* second = new SkinRadioButton(&parent);
    for (SkinRadioButton* r : {first, second}) {
        r->setPictures(solid_pixmap(40, 20, normal), solid_pixmap(40, 20, pressed),
                       solid_pixmap(40, 20, hover));
        r->resize(40, 20);
    }
    first->setChecked(true);
    QTest::mouseClick(second, Qt::LeftButton, {}, QPoint(30, 10));
    QVERIFY(second->isChecked());
    QVERIFY(!first->isChecked());
    QCOMPARE(colour(first), normal);
    QCOMPARE(colour(second), pressed);
}

void SkinTest::menuButtonLeavesItsKeyColourOut() {
    QImage picture = solid(4, 1, pictures::MENU_BUTTON_KEY);
    picture.setPixelColor(1, 0, QColor(226, 234, 245));  // one off in blue: drawn
    MenuButton button;
    button.setPicture(picture, pictures::MENU_BUTTON_KEY.rgb());
    const QImage shown = button.picture().toImage();
    QCOMPARE(qAlpha(shown.pixel(0, 0)), 0);
    QCOMPARE(shown.pixelColor(1, 0), QColor(226, 234, 245));
    QCOMPARE(qAlpha(shown.pixel(3, 0)), 0);
    // the key as the design writes it, 0xF6EAE2 with blue in the high byte
    QCOMPARE(pictures::MENU_BUTTON_KEY, QColor(226, 234, 246));
}

void SkinTest::hyperlinkColourChoice() {
    QCOMPARE(link_colour(LINK_DEFAULT_OPTIONS, false, false, false), QColor(0, 0, 255));
    QCOMPARE(link_colour(LINK_DEFAULT_OPTIONS, false, false, true),
             QColor(128, 0, 128));  // visited: purple
    QCOMPARE(link_colour(LINK_DEFAULT_OPTIONS, false, true, true),
             QColor(0, 128, 128));  // pressed wins over visited: teal
    QCOMPARE(link_colour(LINK_DEFAULT_OPTIONS | LINK_NO_PRESSED_COLOUR, false, true, true),
             VISITED_COLOUR);
    // the hover colour only with its bit, and then before everything else
    QCOMPARE(link_colour(LINK_DEFAULT_OPTIONS, true, false, false), LINK_COLOUR);
    QCOMPARE(link_colour(LINK_DEFAULT_OPTIONS | LINK_HOVER_COLOUR, true, true, true),
             QColor(255, 0, 0));
}

void SkinTest::hyperlinkTextAndTargetStandInForEachOther() {
    QCOMPARE(resolve_link_texts(QString(), QStringLiteral("mailto:a@b.org")).text,
             QStringLiteral("mailto:a@b.org"));
    QCOMPARE(resolve_link_texts(QStringLiteral("Home"), QString()).target, QStringLiteral("Home"));
    const LinkTexts both = resolve_link_texts(QStringLiteral("Home"), QStringLiteral("https://x"));
    QCOMPARE(both.text, QStringLiteral("Home"));
    QCOMPARE(both.target, QStringLiteral("https://x"));

    // The rules apply when the window comes into being, after a target set before that.
    CHyperLink empty;
    empty.SetURL(QStringLiteral("mailto:feedback@pelmora.example.org"));
    empty.ensurePolished();
    QCOMPARE(empty.text(), QStringLiteral("mailto:feedback@pelmora.example.org"));
    QCOMPARE(empty.toolTip(), empty.GetURL());
    QVERIFY(empty.font().underline());
    QCOMPARE(empty.cursor().shape(), Qt::PointingHandCursor);
    // sized to its text
    QCOMPARE(empty.width(), QFontMetrics(empty.font()).horizontalAdvance(empty.text()));

    CHyperLink named(QStringLiteral("Pelmora"));
    named.ensurePolished();
    QCOMPARE(named.GetURL(), QStringLiteral("Pelmora"));
    named.SetURL(QStringLiteral("https://pelmora.example.org/"));
    QCOMPARE(named.text(), QStringLiteral("Pelmora"));
    QCOMPARE(named.toolTip(), QStringLiteral("https://pelmora.example.org/"));
}

void SkinTest::hyperlinkOpensOrBeepsAndReports() {
    CHyperLink link(QStringLiteral("updates"));
    link.SetURL(QStringLiteral("https://pelmora.example.org/download"));
    link.resize(80, 20);
    link.ensurePolished();
    QStringList opened;
    bool answer = false;
    QStringList reported;
    link.setOpener([&](const QString& target) {
        opened.push_back(target);
        return answer;
    });
    link.setReporter([&](QWidget*, const QString& text) { reported.push_back(text); });

    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(opened, QStringList{QStringLiteral("https://pelmora.example.org/download")});
    QCOMPARE(reported, QStringList{QStringLiteral(
                           "Cannot open the link:\n\nhttps://pelmora.example.org/download\n\n"
                           "No program for it could be started.")});
    QVERIFY(!link.visited());
    QVERIFY(link.pressedOnce());
    QCOMPARE(link.currentColour(), QColor(0, 128, 128));

    answer = true;
    QTest::keyClick(&link, Qt::Key_Space);
    QCOMPARE(opened.size(), 2);
    QCOMPARE(reported.size(), 1);
    QVERIFY(link.visited());

    // A press alone does not open it; the release does.
    QTest::mousePress(&link, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(opened.size(), 2);
    QTest::mouseRelease(&link, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(opened.size(), 3);
}

void SkinTest::registeredProgramCommandLine() {
    const QString target = QStringLiteral("https://x.org/");
    // cut at the placeholder, then a blank and the target (the blank before %u stays)
    QCOMPARE(registered_command_line(QStringLiteral("firefox %u"), target),
             QStringLiteral("firefox  https://x.org/"));
    // a quoted placeholder wins over an earlier bare one
    QCOMPARE(registered_command_line(QStringLiteral("b --x %f --y \"%U\" --z"), target),
             QStringLiteral("b --x %f --y  https://x.org/"));
    QCOMPARE(registered_command_line(QStringLiteral("browser"), target),
             QStringLiteral("browser https://x.org/"));

    const QByteArray entry =
        "[Desktop Entry]\nName=Web\nExecutable=no\nExec = web-browser %u\n"
        "[Desktop Action new]\nExec=web-browser --new %u\n";
    QCOMPARE(desktop_entry_exec(entry), QStringLiteral("web-browser %u"));
    QCOMPARE(desktop_entry_exec("[Desktop Action new]\nExec=x\n"), QString());
}

void SkinTest::menuCharacterFindsTheFirstItemWithTheMnemonic() {
    const QStringList main = {QStringLiteral("&Help\t F1"), QStringLiteral("&About Pelmora..."),
                              QString(), QStringLiteral("Mi&nimize"),
                              QStringLiteral("E&xit\t Alt+F4")};
    QCOMPARE(FindKeyboardShortcut(main, QLatin1Char('h'), true), 0);
    QCOMPARE(FindKeyboardShortcut(main, QLatin1Char('a'), true), 1);
    QCOMPARE(FindKeyboardShortcut(main, QLatin1Char('A'), true), 1);
    QCOMPARE(FindKeyboardShortcut(main, QLatin1Char('n'), true), 3);
    QCOMPARE(FindKeyboardShortcut(main, QLatin1Char('x'), true), 4);
    QCOMPARE(FindKeyboardShortcut(main, QLatin1Char('e'), true), -1);  // E has no "&" before it
    QCOMPARE(FindKeyboardShortcut(main, QLatin1Char('h'), false), -1);
    // the first match wins
    QCOMPARE(FindKeyboardShortcut({QStringLiteral("&One"), QStringLiteral("&Other")},
                                  QLatin1Char('o'), true),
             0);
}

void SkinTest::menuCharacterExecutesTheItemInAnOpenMenu() {
    BCMenu menu;
    QAction* help = menu.addAction(QStringLiteral("&Help\t F1"));
    QAction* about = menu.addAction(QStringLiteral("&About Pelmora..."));
    QSignalSpy helpSpy(help, &QAction::triggered);
    QSignalSpy aboutSpy(about, &QAction::triggered);
    menu.popup(QPoint(10, 10));
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QVERIFY(menu.grab().save(screenshot_folder() + QStringLiteral("/menu_flat.png")));
    QTest::keyClick(&menu, Qt::Key_A);
    QCOMPARE(aboutSpy.size(), 1);
    QCOMPARE(helpSpy.size(), 0);
    QVERIFY(!menu.isVisible());
    menu.popup(QPoint(10, 10));
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QTest::keyClick(&menu, Qt::Key_H);
    QCOMPARE(helpSpy.size(), 1);
}

void SkinTest::menuColoursLightenAndDarken() {
    // 100 + 0.5 * 155 = 177.5, 0 + 0.5 * 255 = 127.5: truncated
    QCOMPARE(lighten(QColor(100, 0, 255), 0.5), QColor(177, 127, 255));
    QCOMPARE(darken(QColor(100, 200, 0), 0.25), QColor(75, 150, 0));
}

void SkinTest::gradientBandsWhenThereIsNoGradientFunction() {
    const QColor black(0, 0, 0);
    const QColor grey(254, 254, 254);
    // 510 pixels make 255 bands of 2; band i from black to 254 is grey level i.
    QCOMPARE(GradientStatic::band_left(50, 510), 100);
    QCOMPARE(GradientStatic::band_colour(0, black, grey), black);
    QCOMPARE(GradientStatic::band_colour(50, black, grey), QColor(50, 50, 50));
    QCOMPARE(GradientStatic::band_colour(254, black, grey), grey);
    // falling channels truncate toward zero: 200 - 200 / 254 stays 200
    QCOMPARE(GradientStatic::band_colour(1, QColor(200, 100, 0), black), QColor(200, 100, 0));
    QCOMPARE(GradientStatic::band_colour(127, QColor(200, 100, 0), black), QColor(100, 50, 0));

    GradientStatic banded;
    banded.setGradientFunction(false);
    banded.setColours(black, grey, Qt::white);
    banded.resize(510, 8);
    QImage shot = banded.grab().toImage();
    QCOMPARE(shot.pixelColor(100, 4), QColor(50, 50, 50));
    QCOMPARE(shot.pixelColor(101, 4), QColor(50, 50, 50));
    QCOMPARE(shot.pixelColor(509, 4), grey);
    // 300 pixels: band 1 starts at 300 / 255 = 1, band 254 at 254 * 300 / 255 = 298.8
    banded.resize(300, 8);
    shot = banded.grab().toImage();
    QCOMPARE(shot.pixelColor(0, 4), black);
    QCOMPARE(shot.pixelColor(1, 4), QColor(1, 1, 1));
    QCOMPARE(shot.pixelColor(297, 4), QColor(253, 253, 253));
    QCOMPARE(shot.pixelColor(298, 4), grey);
}

void SkinTest::listShowsItsPictureOnlyWhileEmpty() {
    QTableWidget table(0, 2);
    table.resize(layout::FILE_LIST.width, layout::FILE_LIST.height);
    table.horizontalHeader()->hide();
    table.verticalHeader()->hide();
    auto* skin = new SkinnedList(&table);
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    QVERIFY(skin->showsEmptyPicture());
    QCOMPARE(table.viewport()->width(), 297);
    QCOMPARE(table.verticalScrollBar()->width(), SkinnedList::SCROLL_BAR_WIDTH);
    const QImage picture = skin_picture(pictures::LIST_BACKGROUND);
    QImage shot = table.grab().toImage();
    QCOMPARE(shot.pixelColor(148, 150), picture.pixelColor(148, 150));
    save(table, "list_empty.png");

    table.setRowCount(12);
    for (int row = 0; row < 12; ++row) {
        table.setItem(row, 0, new QTableWidgetItem(QStringLiteral("track %1.mp3").arg(row + 1)));
        table.setItem(row, 1, new QTableWidgetItem(QStringLiteral("%1.00 MB").arg(row + 2)));
    }
    table.setColumnWidth(0, 220);
    table.selectRow(2);
    QVERIFY(!skin->showsEmptyPicture());
    shot = table.grab().toImage();
    const int y = table.visualRect(table.model()->index(2, 0)).center().y();
    QCOMPARE(shot.pixelColor(table.viewport()->width() - 4, y), list_selected_colour());
    QCOMPARE(shot.pixelColor(table.viewport()->width() - 4, table.viewport()->height() - 2),
             list_background_colour());
    QCOMPARE(list_selected_colour(), QColor(81, 83, 98));
    QCOMPARE(list_background_colour(), QColor(39, 41, 53));
    save(table, "list_rows.png");
}

void SkinTest::widgetsOnTheArtwork() {
    // The pieces assembled on their pictures as the windows place them, for a look by eye.
    QWidget page;
    page.setFixedSize(layout::PAGE.width, layout::PAGE.height);
    auto* skinned = new SkinnedDialog(&page, 131);
    QVERIFY(skinned->setBackground(pictures::OPTIONS_PAGE));
    QVERIFY(skinned->makeRegionFromBackground());
    skinned->applyRegion();
    auto place = [&page](auto* widget, layout::Box box) {
        widget->setParent(&page);
        widget->setGeometry(box.x, box.y, box.width, box.height);
    };
    auto* sixteen = new SkinRadioButton;
    sixteen->SetSkin(pictures::BITS_16[0], pictures::BITS_16[1], pictures::BITS_16[2]);
    place(sixteen, layout::BITS_16_BUTTON);
    sixteen->setChecked(true);
    auto* eight = new SkinRadioButton;
    eight->SetSkin(pictures::BITS_8[0], pictures::BITS_8[1], pictures::BITS_8[2]);
    place(eight, layout::BITS_8_BUTTON);
    auto* normalize = new SkinCheckBox;
    normalize->SetSkin(pictures::NORMALIZE[0], pictures::NORMALIZE[1], pictures::NORMALIZE[2]);
    place(normalize, layout::NORMALIZE_BOX);
    normalize->setChecked(true);
    auto* silence = new SkinCheckBox;
    silence->SetSkin(pictures::SKIP_SILENCE[0], pictures::SKIP_SILENCE[1],
                     pictures::SKIP_SILENCE[2]);
    place(silence, layout::SKIP_SILENCE_BOX);
    for (auto [box, edit, position] :
         {std::tuple{layout::FADE_IN_SLIDER, layout::FADE_IN_EDIT, 12},
          std::tuple{layout::FADE_OUT_SLIDER, layout::FADE_OUT_EDIT, 45}}) {
        auto* slider = new SkinSlider;
        slider->setRange(0, layout::FADE_MAXIMUM);
        QVERIFY(
            slider->SetChannelPictures(pictures::SLIDER_CHANNEL, pictures::SLIDER_ACTIVE_CHANNEL));
        QVERIFY(slider->SetThumbPictures(pictures::SLIDER_THUMB, pictures::SLIDER_THUMB_PRESSED));
        place(slider, box);
        slider->SetPos(position);
        auto* line = new QLineEdit(QString::number(position));
        place(line, edit);
    }
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    save(page, "options_page.png");

    QWidget dialog;
    dialog.setFixedSize(layout::PROGRESS_DIALOG.width, layout::PROGRESS_DIALOG.height);
    dialog.setStyleSheet(QStringLiteral("background: #252733;"));
    for (auto [box, pos] : {std::pair{layout::FILE_BAR, 640}, std::pair{layout::BATCH_BAR, 210}}) {
        auto* bar = new SkinProgressBar(&dialog);
        bar->setGeometry(box.x, box.y, box.width, box.height);
        bar->setFramed(true);
        QVERIFY(bar->SetBitmap(pictures::BAR_FILL));
        bar->SetRange32(0, 1000);
        bar->SetPos(pos);
    }
    auto* cancel = new SkinButton(&dialog);
    cancel->SetSkin(pictures::CANCEL[0], pictures::CANCEL[1], pictures::CANCEL[2]);
    cancel->setGeometry(layout::CANCEL_BUTTON.x, layout::CANCEL_BUTTON.y,
                        layout::CANCEL_BUTTON.width, layout::CANCEL_BUTTON.height);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    save(dialog, "progress_bars.png");

    // Every smaller picture on one sheet, in table order, so that the three faces of each
    // button stand side by side.
    QImage sheet(760, 560, QImage::Format_ARGB32);
    sheet.fill(QColor(120, 124, 136));
    QPainter painter(&sheet);
    int x = 6;
    int y = 6;
    int rowHeight = 0;
    for (const pictures::Picture& p : pictures::ALL) {
        if (p.width > 300) {
            continue;
        }
        if (x + p.width > sheet.width() - 6) {
            x = 6;
            y += rowHeight + 6;
            rowHeight = 0;
        }
        painter.drawImage(x, y, skin_picture(p.id));
        x += p.width + 6;
        rowHeight = std::max(rowHeight, p.height);
    }
    painter.end();
    QVERIFY(sheet.save(screenshot_folder() + QStringLiteral("/pictures.png")));
}

QTEST_MAIN(SkinTest)
void SkinTest::scaledScreensGetPicturesDrawnForTheirRatio() {
    for (const pictures::Picture& picture : pictures::ALL) {
        const QSize size(picture.width, picture.height);
        // Drawn for 2: twice the pixels, the same size on the window.
        const QImage sharp = skin_picture(picture.id, 2.0);
        QVERIFY2(!sharp.isNull(), qPrintable(QString::number(picture.id)));
        QCOMPARE(sharp.devicePixelRatio(), 2.0);
        QCOMPARE(sharp.size(), size * 2);
        QCOMPARE(logical_size(sharp), size);
        // 1.5: brought down to the screen's pixels, rounded.
        const QImage between = skin_picture(picture.id, 1.5);
        QCOMPARE(between.devicePixelRatio(), 1.5);
        QCOMPARE(between.size(), QSize(qRound(picture.width * 1.5), qRound(picture.height * 1.5)));
        QCOMPARE(skin_picture(picture.id, 1.0).size(), size);
    }
    // The same art at both ratios: the Decode All button's middle is its accent blue in both.
    const QImage plain = skin_picture(pictures::DECODE_ALL[0], 1.0);
    const QImage sharp = skin_picture(pictures::DECODE_ALL[0], 2.0);
    const QColor a = plain.pixelColor(8, plain.height() / 2);
    const QColor b = sharp.pixelColor(16, sharp.height() / 2);
    QVERIFY2(std::abs(a.red() - b.red()) < 24 && std::abs(a.blue() - b.blue()) < 24,
             qPrintable(a.name() + QLatin1Char(' ') + b.name()));

    // A page's outline from the sharper picture keeps no pixel of the cut-away green inside,
    // and differs from the plain picture's outline only along the edge.
    QWidget page;
    page.resize(layout::PAGE.width, layout::PAGE.height);
    SkinnedDialog sharpSkin(&page, 0);
    sharpSkin.setBackground(skin_picture(pictures::OUTPUT_PAGE, 2.0));
    QVERIFY(sharpSkin.makeRegionFromBackground(qRgb(0, 255, 0)));
    QWidget plainPage;
    SkinnedDialog plainSkin(&plainPage, 0);
    plainSkin.setBackground(skin_picture(pictures::OUTPUT_PAGE, 1.0));
    QVERIFY(plainSkin.makeRegionFromBackground(qRgb(0, 255, 0)));
    QCOMPARE(sharpSkin.region().boundingRect(), plainSkin.region().boundingRect());
    const QRegion apart = sharpSkin.region().xored(plainSkin.region());
    int apartPixels = 0;
    for (const QRect& r : apart) {
        apartPixels += r.width() * r.height();
    }
    QVERIFY2(apartPixels < 40, qPrintable(QString::number(apartPixels)));
    for (const QRect& r : sharpSkin.region()) {
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                for (int dy = 0; dy < 2; ++dy) {
                    for (int dx = 0; dx < 2; ++dx) {
                        QVERIFY(sharpSkin.background().pixelColor(2 * x + dx, 2 * y + dy) !=
                                QColor(0, 255, 0));
                    }
                }
            }
        }
    }
}

#include "skin_test.moc"
