#pragma once
// What the background player and the effect slots share about a sound file that will not
// play: the file test and the protocol-log texts (each ends in a space; the stamp follows).
#include <QFileInfo>
#include <QString>

namespace vuvedid {

inline const QString kMissingFileLine = QStringLiteral("Файл не существует ");
inline const QString kLoadFailedLine = QStringLiteral("Ошибка загрузки файла ");
inline const QString kPlayFailedLine = QStringLiteral("Ошибка воспроизведения файла ");

// The file-exists test: a regular file, or a link whose target is one.
inline bool soundFileExists(const QString& path) {
  return !path.isEmpty() && QFileInfo(path).isFile();
}

}  // namespace vuvedid
