#include "app/help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

QString help_page_path(const QString& name) {
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString candidates[] = {
        programFolder + QLatin1Char('/') + name,
        programFolder + QStringLiteral("/../share/pelmora/") + name,
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile()) {
            return QDir::cleanPath(candidate);
        }
    }
    return {};
}

void open_help_page(const QString& name) {
    const QString path = help_page_path(name);
    if (!path.isEmpty()) {
        // A desktop without a browser answers false; like a missing help viewer, that shows
        // nothing.
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
}
