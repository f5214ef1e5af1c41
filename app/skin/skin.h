// The skin's foundations: its pictures by number, window outlines from pictures and from region
// data, and SkinnedDialog, which paints a window's background picture and cuts it to its outline.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QRegion>
#include <functional>
#include <optional>

#include "app/skin/layout.h"

class QWidget;

inline QRect rect_of(layout::Box box) {
    return QRect(box.x, box.y, box.width, box.height);
}

// The largest pixel size at which the first available of families has a line height (ascent
// plus descent) of at most cellHeight: what a Windows font of positive height means.
QFont font_for_cell_height(const QStringList& families, int cellHeight, int weight);

QString skin_picture_path(int id);
QString skin_data_path(int id);
// The device pixel ratio the pictures are loaded for: the highest of the screens'.
double skin_ratio();
// A null image or pixmap when the skin has no such picture. Above a ratio of 1 the picture drawn
// for 2 is used (brought down to the ratio below 2), with its device pixel ratio set, so that a
// scaled window stays crisp; sizes in window pixels come from logical_size.
QImage skin_picture(int id, double ratio);
QImage skin_picture(int id);
QPixmap skin_pixmap(int id);
QSize logical_size(const QImage& picture);
QSize logical_size(const QPixmap& picture);

// The pixels of bitmap that are not of the transparent colour, within the tolerance below; with
// invert, those that are. Black and white have fixed bounds (0 to 16, 239 to 255); any other
// colour allows 17 either side of each channel. Nothing when there is no bitmap or no 32-bit copy
// of it can be made.
std::optional<QRegion> MakeRegionFromBitmap(const QImage& bitmap, QRgb transparent,
                                            bool invert = false);

// A region from an RGNDATA block (little-endian: header size 32, type 1, count, rectangle bytes,
// bounds, then the rectangles); nothing when the block is not one.
std::optional<QRegion> region_from_data(const QByteArray& block);

// The steps of reaching a data resource. Each can fail on its own and each failure has its own
// message, so tests can stand in for any of them.
class DataResources {
public:
    virtual ~DataResources() = default;
    virtual bool find(int id) = 0;
    virtual bool load() = 0;
    virtual qint64 size() = 0;
    virtual std::optional<QByteArray> lock() = 0;
};

// The blocks compiled into the program.
class EmbeddedResources : public DataResources {
public:
    bool find(int id) override;
    bool load() override;
    qint64 size() override;
    std::optional<QByteArray> lock() override;

private:
    QString path_;
};

// caption, text
using RegionMessage = std::function<void(const QString&, const QString&)>;

// Cuts window to the region stored under id: 1 on success, 0 after showing one of the "Init
// Region" messages, the window keeping its rectangular outline.
int ApplyRegionResource(QWidget* window, int id, const RegionMessage& message,
                        DataResources& resources);
int ApplyRegionResource(QWidget* window, int id, const RegionMessage& message);

// What every skinned window shares: its background picture drawn at (0, 0) at its own size, its
// outline, and, where asked, dragging the window from any point of its own surface. Owned by the
// window it serves.
class SkinnedDialog : public QObject {
    Q_OBJECT
public:
    SkinnedDialog(QWidget* window, int templateId);

    int templateId() const { return templateId_; }
    QWidget* window() const { return window_; }

    // False when the skin has no such picture: the window keeps its default background.
    bool setBackground(int pictureId);
    void setBackground(const QImage& picture);
    const QImage& background() const { return background_; }

    // The outline from the background picture; false when none could be made.
    bool makeRegionFromBackground(QRgb transparent = qRgb(0, 255, 0), bool invert = false);
    void setRegion(const QRegion& region) { region_ = region; }
    const QRegion& region() const { return region_; }
    // Cuts the window to the region made or set before; an empty region leaves it rectangular.
    // The background is drawn only inside the region, so that a window with a translucent
    // background shows its outline also where the platform ignores the cut.
    void applyRegion();

    // A press on the window's own surface (not taken by a control) moves the window.
    void setDragFromSurface(bool on) { drag_ = on; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    int templateId_;
    QImage background_;
    QRegion region_;
    bool drag_ = false;
};
