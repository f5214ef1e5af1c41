// Message boxes behind an interface, so that tests can answer them without a modal loop.
#pragma once

#include <QMessageBox>
#include <QString>

#include "app/core/end_report.h"

class QWidget;

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A box with an OK button.
    virtual void tell(QWidget* parent, const QString& text, QMessageBox::Icon icon) = 0;
    // A Yes/No question with the question icon; true for Yes.
    virtual bool ask(QWidget* parent, const QString& text) = 0;
    // A summary with files and their reasons; stays within the screen however many there are.
    virtual void report(QWidget* parent, const EndReport& report, QMessageBox::Icon icon) = 0;
};

// The real boxes, captioned with the program's name.
class QtMessageBoxes : public MessageBoxes {
public:
    void tell(QWidget* parent, const QString& text, QMessageBox::Icon icon) override;
    bool ask(QWidget* parent, const QString& text) override;
    void report(QWidget* parent, const EndReport& report, QMessageBox::Icon icon) override;
};
