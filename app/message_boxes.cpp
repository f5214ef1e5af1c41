#include "app/message_boxes.h"

#include "app/names.h"

void QtMessageBoxes::tell(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, QString::fromLatin1(APPLICATION_NAME), text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtMessageBoxes::ask(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(APPLICATION_NAME), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}
