#pragma once
// Strings between the window logic and Qt. The window logic's strings are bytes: its texts are
// UTF-8, its file names are spelled as the file system spells them, which need not be UTF-8.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <string>
#include <string_view>

namespace vellocar::qt {

inline QString ToQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string FromQt(const QString& text) { return text.toUtf8().toStdString(); }

inline std::string PathFromQt(const QString& path) { return QFile::encodeName(path).toStdString(); }
inline QString PathToQt(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

} // namespace vellocar::qt
