// The message at the end of a run (and after an addition that refused files): the summary, the
// first few files, and every file with its reason in a details list that scrolls, so that the
// window never grows past the screen however many files there are.
#pragma once

#include <QDialog>
#include <QMessageBox>

#include "app/core/end_report.h"

class QFontMetrics;
class QPushButton;
class QTreeWidget;

// How many files the message itself names; the rest are in the details.
inline constexpr int REPORT_SHORT_ROWS = 5;

// "path: reason" within width where it can be: the path's folder is cut in its middle, the
// file name and the reason are kept whole even when they alone are wider.
QString report_line(const QFontMetrics& metrics, const QString& path, const QString& reason,
                    int width);

class ReportDialog : public QDialog {
    Q_OBJECT
public:
    ReportDialog(const EndReport& report, QMessageBox::Icon icon, QWidget* parent = nullptr);

    QTreeWidget* details() const { return details_; }
    QPushButton* detailsButton() const { return detailsButton_; }

public Q_SLOTS:
    void showDetails(bool shown);

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Within the screen the dialog is on, at most.
    void fitToScreen();
    // Over the middle of the window it belongs to, on the screen.
    void centreOnParent();

    QTreeWidget* details_;
    QPushButton* detailsButton_;
};
