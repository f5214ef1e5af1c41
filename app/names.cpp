#include "app/names.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QString>

void set_application_names() {
    QCoreApplication::setOrganizationName(QString::fromLatin1(ORGANIZATION_NAME));
    QCoreApplication::setApplicationName(QString::fromLatin1(APPLICATION_NAME));
    // Lets the desktop match the window to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.pelmora.Pelmora"));
}
