#include "support/FormFixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QThread>

namespace vuvedid::test {

FormFixture::FormFixture(FormOptions options) {
  exeDir_ = dir_.path() + QLatin1Char('/');
  if (options.prepare) options.prepare(exeDir_);
  IAudioLibrary* a = options.audio;
  if (!a) {
    audio = std::make_unique<SdlAudioLibrary>();
    a = audio.get();
  }
  Services s;
  s.audio = a;
  s.boxes = &boxes;
  s.saveDialog = &saveDialog;
  s.speech = options.speech ? options.speech : &speech;
  s.starter = options.starter ? options.starter : &starter;
  s.clock = &clock;
  s.arguments = options.arguments;
  s.exeDir = exeDir_;
  s.terminate = [this](int status) { terminatedWith = status; };
  host_ = std::make_unique<RoomHost>(
      s, [this](BoxIcon icon, const QString& caption, const QString& text) {
        boxes.show(icon, caption, text);
      });
  form_ = std::make_unique<TForm_player>(*host_);
  if (options.runFormCreate) form_->FormCreate();
}

FormFixture::~FormFixture() {
  if (form_ && !form_->closed()) form_->FormClose();
  form_.reset();
  host_.reset();
}

void spin(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
}

bool waitFor(const std::function<bool()>& pred, int ms) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > ms) return pred();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return true;
}

QStringList linesOf(const QPlainTextEdit* box) {
  QStringList out;
  if (box->document()->isEmpty()) return out;
  for (QTextBlock b = box->document()->begin(); b.isValid(); b = b.next()) out << b.text();
  return out;
}

}  // namespace vuvedid::test
