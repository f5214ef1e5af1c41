#include "app/skin/links.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <array>

#include "app/skin/skin.h"

QColor link_colour(unsigned options, bool hovering, bool pressedOnce, bool visited) {
    if ((options & LINK_HOVER_COLOUR) != 0 && hovering) {
        return HOVER_COLOUR;
    }
    if (pressedOnce && (options & LINK_NO_PRESSED_COLOUR) == 0) {
        return PRESSED_COLOUR;
    }
    return visited ? VISITED_COLOUR : LINK_COLOUR;
}

LinkTexts resolve_link_texts(const QString& text, const QString& target) {
    LinkTexts resolved{text, target};
    if (resolved.target.isEmpty()) {
        resolved.target = resolved.text;
    }
    if (resolved.text.isEmpty()) {
        resolved.text = resolved.target;
    }
    return resolved;
}

QString desktop_entry_exec(const QByteArray& entry) {
    bool inEntry = false;
    for (const QByteArray& raw : entry.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
        } else if (inEntry && line.startsWith("Exec")) {
            const QByteArray key = line.left(line.indexOf('=')).trimmed();
            if (key == "Exec") {
                return QString::fromUtf8(line.mid(line.indexOf('=') + 1)).trimmed();
            }
        }
    }
    return QString();
}

QString registered_command_line(const QString& exec, const QString& target) {
    static const std::array<QString, 4> placeholders = {QStringLiteral("%u"), QStringLiteral("%U"),
                                                        QStringLiteral("%f"), QStringLiteral("%F")};
    auto first = [&](bool quoted) {
        qsizetype at = -1;
        for (const QString& p : placeholders) {
            const QString wanted = quoted ? QLatin1Char('"') + p + QLatin1Char('"') : p;
            const qsizetype found = exec.indexOf(wanted);
            if (found >= 0 && (at < 0 || found < at)) {
                at = found;
            }
        }
        return at;
    };
    qsizetype cut = first(true);
    if (cut < 0) {
        cut = first(false);
    }
    const QString program = cut < 0 ? exec : exec.left(cut);
    return program + QLatin1Char(' ') + target;
}

namespace {

bool open_with_registered_program(const QString& target) {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
    if (!query.waitForFinished(5000) || query.exitStatus() != QProcess::NormalExit ||
        query.exitCode() != 0) {
        return false;
    }
    const QString entryName = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
    if (entryName.isEmpty()) {
        return false;
    }
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entryName);
    QFile entry(path);
    if (path.isEmpty() || !entry.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QString exec = desktop_entry_exec(entry.readAll());
    if (exec.isEmpty()) {
        return false;
    }
    QStringList words = QProcess::splitCommand(registered_command_line(exec, target));
    if (words.isEmpty()) {
        return false;
    }
    const QString program = words.takeFirst();
    return QProcess::startDetached(program, words);
}

}  // namespace

bool open_link_target(const QString& target) {
    return QDesktopServices::openUrl(QUrl(target, QUrl::TolerantMode)) ||
           open_with_registered_program(target);
}

CHyperLink::CHyperLink(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setFocusPolicy(Qt::TabFocus);
}

bool CHyperLink::event(QEvent* event) {
    // A Qt widget is "created" when it is first polished: before it is shown or measured.
    if (event->type() == QEvent::Polish && !created_) {
        created();
    }
    return QLabel::event(event);
}

QFont CHyperLink::linkFont() const {
    QFont f = font();
    f.setUnderline((options_ & LINK_UNDERLINE) != 0);
    return f;
}

void CHyperLink::created() {
    created_ = true;
    const LinkTexts resolved = resolve_link_texts(text(), target_);
    target_ = resolved.target;
    setText(resolved.text);
    setFont(linkFont());
    if ((options_ & LINK_SIZE_TO_TEXT) != 0) {
        sizeToText();
    }
    if ((options_ & LINK_ARROW_CURSOR) == 0) {
        setCursor(Qt::PointingHandCursor);
    }
    setToolTip(target_);
}

void CHyperLink::SetURL(const QString& target) {
    target_ = target;
    if (created_) {
        if ((options_ & LINK_SIZE_TO_TEXT) != 0) {
            sizeToText();
        }
        setToolTip(target_);
        update();
    }
}

QSize CHyperLink::sizeHint() const {
    const QFontMetrics metrics(linkFont());
    return QSize(metrics.horizontalAdvance(text()), metrics.height());
}

void CHyperLink::sizeToText() {
    const QSize wanted = sizeHint();
    QRect r = geometry();
    const int spare = r.width() - wanted.width();
    if (alignment() & Qt::AlignHCenter) {
        r.translate(spare / 2, 0);
    } else if (alignment() & Qt::AlignRight) {
        r.translate(spare, 0);
    }
    r.setSize(wanted);
    setGeometry(r);
}

QColor CHyperLink::currentColour() const {
    return link_colour(options_, hovering_, pressedOnce_, visited_);
}

void CHyperLink::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(currentColour());
    painter.drawText(rect(), static_cast<int>(alignment()) | Qt::TextSingleLine, text());
    if (hasFocus()) {
        painter.setPen(QPen(currentColour(), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void CHyperLink::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    if ((options_ & LINK_TAKE_FOCUS) != 0) {
        setFocus(Qt::MouseFocusReason);
    }
    pressedOnce_ = true;
    update();
    event->accept();
    if ((options_ & LINK_OPEN_ON_PRESS) != 0) {
        activate();
    } else {
        armed_ = true;
    }
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
    const bool open =
        armed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    armed_ = false;
    event->accept();
    if (open) {
        activate();
    }
}

void CHyperLink::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        event->accept();
        activate();
        return;
    }
    QLabel::keyPressEvent(event);
}

void CHyperLink::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    update();
    QLabel::enterEvent(event);
}

void CHyperLink::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QLabel::leaveEvent(event);
}

void CHyperLink::activate() {
    const bool opened = opener_ ? opener_(target_) : open_link_target(target_);
    if (opened) {
        visited_ = true;
        update();
        return;
    }
    QApplication::beep();
    // The target goes in the message, so that the user can open it by other means.
    const QString text =
        tr("Cannot open the link:\n\n%1\n\nNo program for it could be started.").arg(target_);
    if (reporter_) {
        reporter_(this, text);
    } else {
        QMessageBox::warning(this, QApplication::applicationDisplayName(), text);
    }
}

GradientStatic::GradientStatic(const QString& text, QWidget* parent) : QLabel(text, parent) {
    const QPalette& p = palette();
    start_ = p.color(QPalette::Active, QPalette::Highlight);
    end_ = p.color(QPalette::Active, QPalette::Button);
    text_ = p.color(QPalette::Active, QPalette::HighlightedText);
}

void GradientStatic::setColours(const QColor& start, const QColor& end, const QColor& text) {
    start_ = start;
    end_ = end;
    text_ = text;
    update();
}

int GradientStatic::band_left(int band, int width) {
    return band * width / BANDS;
}

QColor GradientStatic::band_colour(int band, const QColor& start, const QColor& end) {
    // The first band is the start colour and the last the end colour.
    auto mix = [band](int from, int to) { return from + (to - from) * band / (BANDS - 1); };
    return QColor(mix(start.red(), end.red()), mix(start.green(), end.green()),
                  mix(start.blue(), end.blue()));
}

void GradientStatic::paint_bands(QPainter& painter, const QRect& rect, const QColor& start,
                                 const QColor& end) {
    for (int band = 0; band < BANDS; ++band) {
        const int left = rect.left() + band_left(band, rect.width());
        const int right = rect.left() + band_left(band + 1, rect.width());
        if (right > left) {
            painter.fillRect(QRect(left, rect.top(), right - left, rect.height()),
                             band_colour(band, start, end));
        }
    }
}

void GradientStatic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect r = rect();
    if (gradientFunction_) {
        QLinearGradient gradient(r.left(), 0, r.left() + r.width(), 0);
        gradient.setColorAt(0, start_);
        gradient.setColorAt(1, end_);
        painter.fillRect(r, gradient);
    } else {
        paint_bands(painter, r, start_, end_);
    }
    painter.setFont(font());
    painter.setPen(text_);
    int flags = Qt::AlignVCenter | Qt::TextSingleLine;
    QRect textRect = r;
    switch (alignment_) {
        case Centre:
            flags |= Qt::AlignHCenter;
            break;
        case Right:
            flags |= Qt::AlignRight;
            textRect.adjust(0, 0, -MARGIN, 0);
            break;
        default:
            flags |= Qt::AlignLeft;
            textRect.adjust(MARGIN, 0, 0, 0);
            break;
    }
    painter.drawText(textRect, flags, text());
}
