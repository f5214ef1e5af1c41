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

bool read_switch_setting(const char* name) {
    return read_setting(name) == QLatin1String("1");
}

void write_switch_setting(const char* name, bool on) {
    write_setting(name, on ? QStringLiteral("1") : QStringLiteral("0"));
}
