#pragma once
// A window on the real audio layer (SDL's dummy driver) whose volume calls are recorded:
// the players' window tests read what reached the layer and what the protocol log says.
#include <QPlainTextEdit>
#include <QStringList>

#include "audio/SdlAudioLibrary.h"
#include "support/AudioVolumeRecorder.h"
#include "support/FormFixture.h"

namespace vuvedid::test {

struct RecordedWindow {
  // The protocol log's non-empty lines.
  QStringList protocol() const {
    return form.M_protokol->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }

  SdlAudioLibrary real;
  AudioVolumeRecorder audio{real};
  FormFixture f{[this] {
    FormOptions o;
    o.audio = &audio;
    return o;
  }()};
  TForm_player& form = f.form();
};

}  // namespace vuvedid::test
