#include "app/message_boxes.h"

#include "app/names.h"
#include "app/paths.h"
#include "app/report_dialog.h"

void QtMessageBoxes::tell(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, QString::fromLatin1(APPLICATION_NAME), text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtMessageBoxes::ask(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(APPLICATION_NAME), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

void QtMessageBoxes::report(QWidget* parent, const EndReport& report, QMessageBox::Icon icon) {
    if (report_row_count(report) == 0) {
        tell(parent, core_text(report.summary), icon);
        return;
    }
    ReportDialog dialog(report, icon, parent);
    dialog.exec();
}
