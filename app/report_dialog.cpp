#include "app/report_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/control_ids.h"
#include "app/names.h"
#include "app/paths.h"

namespace {

// Wide enough for a folder and a name, narrow enough for any screen the program runs on.
constexpr int SHORT_LIST_WIDTH = 520;

QPixmap icon_picture(QMessageBox::Icon icon, const QWidget* widget) {
    QStyle::StandardPixmap which = QStyle::SP_MessageBoxInformation;
    switch (icon) {
        case QMessageBox::Warning:
            which = QStyle::SP_MessageBoxWarning;
            break;
        case QMessageBox::Critical:
            which = QStyle::SP_MessageBoxCritical;
            break;
        case QMessageBox::Question:
            which = QStyle::SP_MessageBoxQuestion;
            break;
        case QMessageBox::NoIcon:
            return {};
        default:
            break;
    }
    const int size = widget->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, widget);
    return widget->style()->standardIcon(which, nullptr, widget).pixmap(size, size);
}

}  // namespace

QString report_line(const QFontMetrics& metrics, const QString& path, const QString& reason,
                    int width) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = path.left(slash + 1);
    QString name = path.mid(slash + 1);
    const QString said = QStringLiteral(": ") + reason;
    const int room = width - metrics.horizontalAdvance(name + said);
    if (folder.isEmpty() || metrics.horizontalAdvance(folder) <= room) {
        return folder + name + said;
    }
    // The folder's middle gives way first; its start and the last folder stay while they fit.
    const QString ellipsis(QChar(0x2026));
    const int least = metrics.horizontalAdvance(ellipsis + QLatin1Char('/'));
    if (room >= least) {
        return metrics.elidedText(folder, Qt::ElideMiddle, room) + name + said;
    }
    // A name too long even for a line of its own gives way in its middle too, keeping its
    // start and its extension; the reason stays whole.
    const int nameRoom = width - least - metrics.horizontalAdvance(said);
    name = metrics.elidedText(name, Qt::ElideMiddle,
                              std::max(nameRoom, metrics.horizontalAdvance(ellipsis) * 8));
    return ellipsis + QLatin1Char('/') + name + said;
}

namespace {

QString details_text(const EndReport& report) {
    QString text = core_text(report.summary) + QLatin1Char('\n');
    for (const ReportSection& section : report.sections) {
        text += QLatin1Char('\n') + core_text(section.heading) + QLatin1Char('\n');
        for (const ReportRow& row : section.rows) {
            text +=
                path_text(row.path) + QLatin1Char('\t') + core_text(row.reason) + QLatin1Char('\n');
        }
    }
    return text;
}

}  // namespace

ReportDialog::ReportDialog(const EndReport& report, QMessageBox::Icon icon, QWidget* parent)
    : QDialog(parent), details_(new QTreeWidget(this)), detailsButton_(nullptr) {
    setWindowTitle(QString::fromLatin1(APPLICATION_NAME));
    setObjectName(id_name(ids::REPORT_DIALOG));

    auto* summary = new QLabel(core_text(report.summary), this);
    summary->setObjectName(id_name(ids::REPORT_SUMMARY));
    summary->setTextFormat(Qt::PlainText);
    summary->setWordWrap(true);
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // The first files by name; where a line is too long its folder gives way in the middle,
    // while the file's name and its reason (which may name another file) stay whole.
    const QFontMetrics metrics(font());
    QStringList lines;
    const std::size_t total = report_row_count(report);
    for (const ReportSection& section : report.sections) {
        for (const ReportRow& row : section.rows) {
            if (lines.size() == REPORT_SHORT_ROWS) {
                break;
            }
            lines.push_back(
                report_line(metrics, path_text(row.path), core_text(row.reason), SHORT_LIST_WIDTH));
        }
    }
    if (total > static_cast<std::size_t>(lines.size())) {
        lines.push_back(tr("... and %1 more (see Details)").arg(total - lines.size()));
    }
    auto* shortList = new QLabel(lines.join(QLatin1Char('\n')), this);
    shortList->setObjectName(id_name(ids::REPORT_SHORT_LIST));
    shortList->setTextFormat(Qt::PlainText);
    shortList->setVisible(!lines.isEmpty());

    details_->setObjectName(id_name(ids::REPORT_DETAILS));
    details_->setAccessibleName(tr("Files and reasons"));
    details_->setColumnCount(2);
    details_->setHeaderLabels({tr("File"), tr("Reason")});
    details_->setUniformRowHeights(true);
    details_->setRootIsDecorated(true);
    details_->setAlternatingRowColors(true);
    details_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    details_->header()->setStretchLastSection(true);
    // Both columns can be widened by hand; what is cut loses its middle, so that a path keeps
    // its file name and a reason its end.
    details_->header()->setSectionResizeMode(QHeaderView::Interactive);
    details_->header()->setSectionsMovable(false);
    details_->setTextElideMode(Qt::ElideMiddle);
    for (const ReportSection& section : report.sections) {
        auto* heading = new QTreeWidgetItem(
            details_, {tr("%1 (%2)").arg(core_text(section.heading)).arg(section.rows.size())});
        heading->setFirstColumnSpanned(true);
        QList<QTreeWidgetItem*> rows;
        rows.reserve(static_cast<qsizetype>(section.rows.size()));
        for (const ReportRow& row : section.rows) {
            auto* item = new QTreeWidgetItem({path_text(row.path), core_text(row.reason)});
            item->setToolTip(0, item->text(0));
            item->setToolTip(1, item->text(1));
            rows.push_back(item);
        }
        heading->addChildren(rows);
        heading->setExpanded(true);
    }
    details_->header()->resizeSection(0, SHORT_LIST_WIDTH * 2 / 3);
    details_->setMinimumHeight(160);
    details_->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(id_name(ids::REPORT_OK));
    if (total > 0) {
        detailsButton_ = buttons->addButton(tr("&Details"), QDialogButtonBox::ActionRole);
        detailsButton_->setObjectName(id_name(ids::REPORT_DETAILS_BUTTON));
        detailsButton_->setCheckable(true);
        detailsButton_->setAutoDefault(false);
        connect(detailsButton_, &QPushButton::toggled, this, &ReportDialog::showDetails);
        QPushButton* copy = buttons->addButton(tr("&Copy list"), QDialogButtonBox::ActionRole);
        copy->setAutoDefault(false);
        const QString text = details_text(report);
        connect(copy, &QPushButton::clicked, this,
                [text] { QApplication::clipboard()->setText(text); });
    }
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* iconLabel = new QLabel(this);
    iconLabel->setPixmap(icon_picture(icon, this));
    iconLabel->setAlignment(Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(summary);
    texts->addWidget(shortList);
    texts->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(iconLabel);
    top->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(details_, 1);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetDefaultConstraint);
    fitToScreen();
}

void ReportDialog::showDetails(bool shown) {
    details_->setVisible(shown);
    if (detailsButton_ != nullptr) {
        detailsButton_->setText(shown ? tr("Hide &Details") : tr("&Details"));
    }
    fitToScreen();
}

void ReportDialog::fitToScreen() {
    QScreen* on = screen();
    if (parentWidget() != nullptr && parentWidget()->screen() != nullptr) {
        on = parentWidget()->screen();
    }
    // A margin for the window manager's frame, which the dialog's own size does not include.
    const QSize room =
        on != nullptr ? on->availableGeometry().size() - QSize(40, 60) : QSize(800, 600);
    setMaximumSize(room);
    layout()->activate();
    QSize wanted = sizeHint();
    if (details_->isVisible()) {
        wanted = wanted.expandedTo(QSize(SHORT_LIST_WIDTH + 160, 420));
    }
    resize(wanted.boundedTo(room));
    if (isVisible()) {
        centreOnParent();
    }
}

void ReportDialog::centreOnParent() {
    const QWidget* over = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    if (over == nullptr) {
        return;
    }
    QRect place(QPoint(), frameGeometry().size());
    place.moveCenter(over->frameGeometry().center());
    // Kept on the screen when the window stands near its edge or the list is long.
    if (const QScreen* on = over->screen()) {
        const QRect room = on->availableGeometry();
        place.moveLeft(std::clamp(place.left(), room.left(),
                                  std::max(room.left(), room.right() - place.width())));
        place.moveTop(std::clamp(place.top(), room.top(),
                                 std::max(room.top(), room.bottom() - place.height())));
    }
    move(place.topLeft());
}

void ReportDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Its size is only final once shown; Qt placed it for the size it had before.
    centreOnParent();
}
