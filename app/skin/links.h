// A static text that behaves like a web link, and a static text on a horizontal two-colour
// gradient.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QLabel>
#include <functional>

// CHyperLink's option bits.
constexpr unsigned LINK_UNDERLINE = 0x01;
constexpr unsigned LINK_HOVER_COLOUR = 0x02;
constexpr unsigned LINK_SIZE_TO_TEXT = 0x04;
constexpr unsigned LINK_OPEN_ON_PRESS = 0x08;
constexpr unsigned LINK_TAKE_FOCUS = 0x10;
constexpr unsigned LINK_ARROW_CURSOR = 0x20;
constexpr unsigned LINK_NO_PRESSED_COLOUR = 0x40;
constexpr unsigned LINK_DEFAULT_OPTIONS = 0x15;

constexpr QColor LINK_COLOUR(0, 0, 255);       // blue
constexpr QColor PRESSED_COLOUR(0, 128, 128);  // teal
constexpr QColor VISITED_COLOUR(128, 0, 128);  // purple
constexpr QColor HOVER_COLOUR(255, 0, 0);      // red

// The colour a link is painted in.
QColor link_colour(unsigned options, bool hovering, bool pressedOnce, bool visited);

// A link's text and target once its window exists: an empty target is the text, an empty text
// the target.
struct LinkTexts {
    QString text;
    QString target;
};
LinkTexts resolve_link_texts(const QString& text, const QString& target);

// The Exec line of a desktop entry's [Desktop Entry] group; empty when it has none.
QString desktop_entry_exec(const QByteArray& entry);
// A registered program's command line with the target in place of its file or URL placeholder:
// the line is cut at the first quoted placeholder ("%u", "%U", "%f", "%F"), else at the first
// bare one, and the target is appended after a blank.
QString registered_command_line(const QString& exec, const QString& target);

// The desktop's opener first; when that fails, the program registered for text/html.
bool open_link_target(const QString& target);

class CHyperLink : public QLabel {
    Q_OBJECT
public:
    using Opener = std::function<bool(const QString&)>;
    using Reporter = std::function<void(QWidget*, const QString&)>;

    explicit CHyperLink(const QString& text = QString(), QWidget* parent = nullptr);

    // Stored; once the window exists also resizes it to its text and shows the target as its
    // tooltip.
    void SetURL(const QString& target);
    QString GetURL() const { return target_; }
    void setOptions(unsigned options) { options_ = options; }
    unsigned options() const { return options_; }

    bool visited() const { return visited_; }
    bool hovering() const { return hovering_; }
    bool pressedOnce() const { return pressedOnce_; }
    QColor currentColour() const;

    // How the target is opened and how a failure is told; tests replace both.
    void setOpener(Opener opener) { opener_ = std::move(opener); }
    void setReporter(Reporter reporter) { reporter_ = std::move(reporter); }

    // Opens the target; on failure beeps and reports.
    void activate();

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void created();
    void sizeToText();
    QFont linkFont() const;

    QString target_;
    unsigned options_ = LINK_DEFAULT_OPTIONS;
    bool created_ = false;
    bool hovering_ = false;
    bool pressedOnce_ = false;
    bool visited_ = false;
    bool armed_ = false;
    Opener opener_;
    Reporter reporter_;
};

// Static text on a gradient from the start colour (left) to the end colour (right).
class GradientStatic : public QLabel {
    Q_OBJECT
public:
    enum Alignment { Left = 0, Centre = 1, Right = 2 };
    static constexpr int MARGIN = 10;
    static constexpr int BANDS = 255;

    explicit GradientStatic(const QString& text = QString(), QWidget* parent = nullptr);

    void setColours(const QColor& start, const QColor& end, const QColor& text);
    void setTextAlignment(int alignment) { alignment_ = alignment; }
    // Off: the banded fill that stands in where no gradient function is available.
    void setGradientFunction(bool available) { gradientFunction_ = available; }

    QColor startColour() const { return start_; }
    QColor endColour() const { return end_; }

    // Band i of 255 across width: its left edge, and its colour between the two colours.
    static int band_left(int band, int width);
    static QColor band_colour(int band, const QColor& start, const QColor& end);
    static void paint_bands(QPainter& painter, const QRect& rect, const QColor& start,
                            const QColor& end);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor start_;
    QColor end_;
    QColor text_;
    int alignment_ = Left;
    bool gradientFunction_ = true;
};
