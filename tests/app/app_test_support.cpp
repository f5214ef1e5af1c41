#include "tests/app/app_test_support.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QWidget>

#include "app/names.h"
#include "app/paths.h"
#include "app/report_dialog.h"
#include "tests/support/temp_dir.h"

bool StubMessageBoxes::ask(QWidget*, const QString& text) {
    asked.push_back(text);
    const bool answer = !answers.empty() && answers.front();
    if (!answers.empty()) {
        answers.pop_front();
    }
    return answer;
}

void StubMessageBoxes::report(QWidget*, const EndReport& report, QMessageBox::Icon icon) {
    told.push_back(core_text(report_text(report, REPORT_SHORT_ROWS)));
    icons.push_back(icon);
    reports.push_back(report);
}

void StubMessageBoxes::clear() {
    reports.clear();
    told.clear();
    icons.clear();
    asked.clear();
    answers.clear();
}

void set_up_window_tests(const QString& settingsFolder, UrlRecorder* recorder) {
    set_application_names();
    QSettings::setDefaultFormat(QSettings::IniFormat);
    for (auto format : {QSettings::IniFormat, QSettings::NativeFormat}) {
        QSettings::setPath(format, QSettings::UserScope, settingsFolder);
        QSettings::setPath(format, QSettings::SystemScope,
                           settingsFolder + QStringLiteral("/system"));
    }
    QDesktopServices::setUrlHandler(QStringLiteral("file"), recorder, "open");
}

QString save_screenshot(QWidget* widget, const QString& name) {
    const QString folder = QStringLiteral(PELMORA_SCREENSHOTS);
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name;
    widget->grab().save(path, "PNG");
    return path;
}

bool copy_file(const QString& from, const QString& to) {
    return QFile::copy(from, to) && QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
}

QString fixture(const char* name) {
    return QString::fromStdString(fixture_path(name));
}
