#pragma once
// The text helpers every part shares. Indices and counts are 1-based where noted and count
// UTF-16 code units (QString indices), so a received text is cut exactly the way the
// controllers that send it expect, whatever characters it holds.
#include <QByteArray>
#include <QString>

namespace vuvedid {

// count units from the 1-based index: an index below 1 counts as 1, an index past the end
// or a count below 1 gives empty text, a count past the end stops at the end.
QString copy(const QString& text, qsizetype index, qsizetype count);

// Without every leading and trailing unit whose code is 32 or less (blanks, control
// characters, line breaks): how a command's parts are trimmed.
QString trim(const QString& text);

// Without blanks and control characters (C0, DEL, C1) at both ends: how a settings file's
// names and values are trimmed.
QString trimBlanksAndControls(const QString& text);

// At most maxBytes of a UTF-8 text, cut before a character that would not fit whole.
QByteArray cutUtf8(const QByteArray& bytes, qsizetype maxBytes);

// At most maxUnits of text, never ending in the first half of a surrogate pair.
QString cutText(const QString& text, qsizetype maxUnits);

}  // namespace vuvedid
