// Paths reach the core as the file system's bytes, and come back the same way.
#pragma once

#include <QString>
#include <string>

std::string path_bytes(const QString& path);
QString path_text(const std::string& bytes);
// Messages made by the core (they may hold paths).
QString core_text(const std::string& text);
