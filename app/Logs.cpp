#include "app/Logs.h"

#include <QPlainTextEdit>
#include <QCheckBox>

#include "ui/TForm_player.h"

namespace vuvedid {

Logs::Logs(TForm_player& form) : form_(form) {}
QString Logs::timeStamp(const QDateTime& at, bool monthFirst) {
  return at.toString(monthFirst ? QStringLiteral("MM.dd.yy HH:mm:ss")
                                : QStringLiteral("dd.MM.yy HH:mm:ss"));
}
void Logs::AddSysLog(const QString& text) {
  if (form_.cxchb_LogEnable->isChecked()) form_.memo2->appendPlainText(text);
}
void Logs::appendProtocol(const QString& line) { form_.M_protokol->appendPlainText(line); }
void Logs::playbackFailure(const QString& text) {
  appendProtocol(text + timeStamp(form_.services.clock->now(), false));
}
void Logs::stampedProtocol(const QString& text, bool monthFirst) {
  if (form_.Protokol->isChecked())
    appendProtocol(text + QLatin1Char(' ') + timeStamp(form_.services.clock->now(), monthFirst));
}
void Logs::BitBtn2Click() {}
void Logs::BitBtn1Click() {}

}  // namespace vuvedid
