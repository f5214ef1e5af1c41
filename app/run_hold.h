// The progress dialog's loop beside the main window rather than over it: a window that a
// modal dialog blocks never hears the window manager's close, so the run's dialog is shown
// without modality while the main window's own input is held back.
#pragma once

class QDialog;
class QWidget;

// Shows dialog and runs a local loop until it finishes; meanwhile clicks, keys, shortcuts,
// menus and drops meant for window (the dialog's owner) are dropped, while its close reaches
// it, and it repaints as the run moves its rows.
void run_beside(QWidget* window, QDialog& dialog);
