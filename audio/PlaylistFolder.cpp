#include "audio/PlaylistFolder.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "app/Errors.h"

namespace vuvedid {

void sortFileNames(QStringList& names) {
  QCollator collator;  // the system locale
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  collator.setNumericMode(false);
  std::stable_sort(names.begin(), names.end(), [&collator](const QString& a, const QString& b) {
    const int c = collator.compare(a, b);
    if (c != 0) return c < 0;
    return a < b;
  });
}

FolderListing listMp3Folder(const QString& path) {
  const QFileInfo info(path);
  if (!info.isDir()) throw FileError(std::string("The specified file was not found"));
  FolderListing out;
  out.folder = QDir::cleanPath(info.absoluteFilePath());
  const QDir dir(out.folder);
  // QDir::Files without QDir::Hidden and QDir::System: regular files (and links to them)
  // that are not dot-files; name filters ignore letter case by default.
  const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.mp3")},
                                                QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
  out.names.reserve(files.size());
  for (const QFileInfo& f : files) out.names << f.fileName();
  sortFileNames(out.names);
  return out;
}

}  // namespace vuvedid
