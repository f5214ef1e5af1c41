#include "app/settings.h"

#include <QSettings>

QString read_setting(const char* name, const QString& fallback) {
    QSettings settings;
    settings.beginGroup(QString::fromLatin1(SETTINGS_GROUP));
    return settings.value(QString::fromLatin1(name), fallback).toString();
}

void write_setting(const char* name, const QString& value) {
    QSettings settings;
    settings.beginGroup(QString::fromLatin1(SETTINGS_GROUP));
    settings.setValue(QString::fromLatin1(name), value);
}
