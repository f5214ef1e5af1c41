#include "app/paths.h"

#include <QByteArray>
#include <QFile>

std::string path_bytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString path_text(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

QString core_text(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}
