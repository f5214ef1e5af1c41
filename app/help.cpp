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

QString open_help_page(const QString& name) {
    const QString path = help_page_path(name);
    if (path.isEmpty() || QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        return {};
    }
    return QCoreApplication::translate("Help",
                                       "No web browser could be started to show the help page:"
                                       "\n\n%1")
        .arg(path);
}
