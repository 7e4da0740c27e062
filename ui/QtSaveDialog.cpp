#include "ui/QtSaveDialog.h"

#include <QFileDialog>

namespace vuvedid {

namespace {
// "Name|*.a|Other|*" becomes Qt's "Name (*.a);;Other (*)".
QString qtFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2)
    out << QStringLiteral("%1 (%2)").arg(parts[i], parts[i + 1]);
  return out.join(QStringLiteral(";;"));
}
}  // namespace

std::optional<QString> QtSaveDialog::choose(const QString& filter, const QString& defaultExt,
                                            const QString& initialFileName) {
  QFileDialog dialog;
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(qtFilter(filter));
  dialog.setDefaultSuffix(defaultExt);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (!initialFileName.isEmpty()) dialog.selectFile(initialFileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

}  // namespace vuvedid
