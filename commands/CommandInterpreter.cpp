#include "commands/CommandInterpreter.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "app/Trace.h"
#include "audio/AudioLibrary.h"
#include "audio/BackgroundPlayer.h"
#include "audio/EffectChannels.h"
#include "commands/CommandText.h"
#include "commands/ProgramLauncher.h"
#include "ui/TForm_player.h"

namespace vuvedid {

CommandInterpreter::CommandInterpreter(TForm_player& form) : form_(form) {}

// Each test looks at the whole text on its own, so one text may fire several commands and
// a keyword inside another command's argument fires too: controllers in the field send
// such combined texts on purpose. An argument runs to the end of the text.
void CommandInterpreter::CommandsRun(const QString& myCMD) {
  const QString& T = myCMD;
  const qsizetype L = T.size();
  TForm_player& f = form_;
  BackgroundPlayer& bg = *f.background;
  EffectChannels& fx = *f.effects;
  IAudioLibrary& audio = *f.services.audio;
  if (trace::on()) trace::mark("cmd", trace::nowNs(), 0, myCMD.toUtf8().constData());

  if (trim(T) == QLatin1String("reset")) {
    f.timer3->setEnabled(false);
    f.pb1->setValue(0);
    f.l_time->setText(QStringLiteral("0"));
    f.Timer_playfone->setEnabled(false);
    audio.ChannelStop(bg.fone_chan);
    audio.ChannelStop(fx.fx_chan1);
    audio.ChannelStop(fx.fx_chan2);
    audio.ChannelStop(fx.fx_chan3);
    audio.ChannelStop(fx.fx_chan4);
  }

  if (const qsizetype P = position(T, QStringLiteral("play:")); P > 0) {
    f.timer3->setEnabled(false);
    f.pb1->setValue(0);
    f.l_time->setText(QStringLiteral("0"));
    audio.ChannelStop(bg.fone_chan);
    bg.fone_state = 0;
    bg.room = trim(copy(T, P + 5, L - P - 4));
    f.l_komnata->setText(bg.room);
    bg.playmusfoldername();
  }

  if (const qsizetype P = position(T, QStringLiteral("volume:")); P > 0) {
    bg.setlevel1(trim(copy(T, P + 7, L - P - 6)));
  }

  if (const qsizetype P = position(T, QStringLiteral("fx:")); P > 0) {
    fx.playfx(trim(copy(T, P + 3, L - P - 2)));
  }

  if (position(T, QStringLiteral("pause")) > 0) {
    f.l_stoped->setVisible(true);
    f.timer3->setEnabled(false);
    f.Timer_playfone->setEnabled(false);
    if (bg.fone_state == 1) {
      audio.ChannelPause(bg.fone_chan);
      bg.fone_state = 2;
    }
  }

  if (position(T, QStringLiteral("resume")) > 0) {
    f.l_stoped->setVisible(false);
    f.timer3->setEnabled(true);
    bg.Player();
    f.Timer_playfone->setEnabled(true);
  }

  if (const qsizetype P = position(T, QStringLiteral("cmdstr:")); P > 0) {
    // The first blank of the whole text ends the program, even one before the keyword.
    const qsizetype S = position(T, QStringLiteral(" "));
    const QString program = copy(T, P + 7, S - P - 7);
    const QString parameters = copy(T, S + 1, L - S);
    f.launcher->RunProgram(toLocal8Bit255(program), toLocal8Bit255(parameters));
  }

  if (position(T, QStringLiteral("next")) > 0) audio.ChannelStop(bg.fone_chan);

  if (position(T, QStringLiteral("shufle")) > 0) f.btn_shufleClick();

  if (const qsizetype P = position(T, QStringLiteral("speak:")); P > 0) {
    f.e_speak->setText(copy(T, P + 6, L - P - 5));
    f.btn_speakClick();
  }
  if (trace::on()) trace::mark("done", trace::nowNs());
}

}  // namespace vuvedid
