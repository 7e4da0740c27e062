#pragma once
// Listing a room's music folder: the plain .mp3 files in it, in the order a person reading
// the folder expects (letter case ignored, locale-aware, "track10" before "track2").
#include <QString>
#include <QStringList>

namespace vuvedid {

struct FolderListing {
  QString folder;     // absolute, cleaned: no repeated or trailing separators
  QStringList names;  // plain file names, sorted
};

// Regular files only (no folders, no hidden dot-files, no sockets or dangling links) whose
// names end in ".mp3" in any letter case. A missing folder (or a path that is no folder)
// throws FileError "The specified file was not found".
FolderListing listMp3Folder(const QString& path);

// The comparison used for the listing: locale-aware, case-insensitive, not numeric; names
// the collator finds equal ("A.mp3" and "a.mp3") keep a fixed order by code units.
void sortFileNames(QStringList& names);

}  // namespace vuvedid
