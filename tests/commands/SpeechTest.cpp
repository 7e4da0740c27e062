// Speech through a private speech-dispatcher whose voice writes each text to a file.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <cstdlib>

#include "app/Errors.h"
#include "commands/Room.h"
#include "commands/SpeechDispatcher.h"
#include "commands/SpeechOutput.h"
#include "support/FormFixture.h"
#include "support/SpeechServer.h"
#include "ui/TForm_player.h"

namespace vuvedid::test {
namespace {

const QString kUnavailable =
    QStringLiteral("Speech service (speech-dispatcher) is not available: ");

// Generous bounds for "returns at once": far below the voice's own speaking time.
constexpr qint64 kPromptMs = 1000;

class Speech : public testing::Test {
 protected:
  void TearDown() override { unsetenv("SPEECHD_ADDRESS"); }

  static bool waitForLine(const SpeechServer& server, const QString& line) {
    return waitFor([&] { return server.spoken().contains(line); }, 5000);
  }
};

TEST_F(Speech, TextsArriveUnchanged) {
  SpeechServer server;
  ASSERT_TRUE(server.start());
  server.exportAddress();
  SpeechDispatcher dispatcher;
  FormOptions options;
  options.speech = &dispatcher;
  FormFixture f(options);
  TForm_player& form = f.form();

  // The button speaks whatever the field holds.
  form.e_speak->setText(QStringLiteral("Привет мир"));
  form.guarded([&] { form.btn_speakClick(); });
  EXPECT_TRUE(waitForLine(server, QStringLiteral("start:Привет мир")))
      << server.spoken().join('|').toStdString();
  EXPECT_EQ(form.room->speech.gpIVTxt, QStringLiteral("Привет мир"));

  // The command's text, with a keyword inside it.
  form.guarded([&] { form.CommandsRun(QStringLiteral("speak:Hello, room 3 next")); });
  EXPECT_TRUE(waitForLine(server, QStringLiteral("start:Hello, room 3 next")))
      << server.spoken().join('|').toStdString();
  // Blanks around the text are part of it.
  form.guarded([&] { form.CommandsRun(QStringLiteral("speak:  spaced  ")); });
  EXPECT_TRUE(waitForLine(server, QStringLiteral("start:  spaced  ")))
      << server.spoken().join('|').toStdString();
  EXPECT_TRUE(f.boxes.boxes.empty());
}

TEST_F(Speech, SpeakingDoesNotWaitForTheVoice) {
  SpeechServer server(/*speakSeconds=*/3);
  ASSERT_TRUE(server.start());
  server.exportAddress();
  SpeechDispatcher dispatcher;
  FormOptions options;
  options.speech = &dispatcher;
  FormFixture f(options);
  TForm_player& form = f.form();

  QElapsedTimer t;
  form.e_speak->setText(QStringLiteral("first"));
  t.start();
  form.btn_speakClick();
  EXPECT_LT(t.elapsed(), kPromptMs);
  ASSERT_TRUE(waitForLine(server, QStringLiteral("start:first")));

  // The first text is still being spoken (no "end" yet); the second starts all the same.
  form.e_speak->setText(QStringLiteral("second"));
  t.restart();
  form.btn_speakClick();
  EXPECT_LT(t.elapsed(), kPromptMs);
  ASSERT_TRUE(waitForLine(server, QStringLiteral("start:second")));
  const QStringList lines = server.spoken();
  EXPECT_EQ(lines.mid(0, 2), (QStringList{"start:first", "start:second"}));
  EXPECT_EQ(form.room->speech.gpIVTxt, QStringLiteral("second"));
}

TEST_F(Speech, MissingServiceIsReportedAndNothingHangs) {
  QTemporaryDir dir;
  exportMissingSpeechAddress(dir.path());
  QElapsedTimer t;
  t.start();
  {
    SpeechDispatcher dispatcher;
    FormOptions options;
    options.speech = &dispatcher;
    FormFixture f(options);
    TForm_player& form = f.form();
    form.room->speech.gpIVTxt = QStringLiteral("earlier");
    form.guarded([&] { form.CommandsRun(QStringLiteral("speak:hello")); });
    ASSERT_EQ(f.boxes.boxes.size(), 1u);
    EXPECT_EQ(f.boxes.boxes[0].caption, QStringLiteral("Vuvedid"));
    EXPECT_EQ(f.boxes.boxes[0].icon, BoxIcon::Error);
    const QString text = f.boxes.boxes[0].text;
    EXPECT_TRUE(text.startsWith(kUnavailable)) << text.toStdString();
    EXPECT_TRUE(text.contains(dir.path())) << "names the socket: " << text.toStdString();
    EXPECT_TRUE(text.endsWith('.'));
    EXPECT_EQ(form.room->speech.gpIVTxt, QStringLiteral("earlier"));
  }
  EXPECT_LT(t.elapsed(), 5000);
}

TEST_F(Speech, ReconnectsAfterTheServerWasGone) {
  SpeechDispatcher::Timing timing;
  timing.retryInterval = std::chrono::milliseconds(300);
  SpeechServer server;
  ASSERT_TRUE(server.start());
  server.exportAddress();
  SpeechDispatcher dispatcher(timing);
  dispatcher.speak(QStringLiteral("one"));
  ASSERT_TRUE(waitForLine(server, QStringLiteral("start:one")));

  server.kill();
  // The loss shows on a later text (the first ones may be taken before the worker has
  // seen the connection drop).
  bool reported = false;
  for (int i = 0; i < 20 && !reported; ++i) {
    try {
      dispatcher.speak(QStringLiteral("lost"));
      spin(100);
    } catch (const AppError& e) {
      reported = e.text().startsWith(kUnavailable);
    }
  }
  EXPECT_TRUE(reported);

  // Back on the same address: a later text opens the connection again.
  ASSERT_TRUE(server.start());
  EXPECT_TRUE(waitFor(
      [&] {
        try {
          dispatcher.speak(QStringLiteral("two"));
          return true;
        } catch (const AppError&) {
          spin(100);
          return false;
        }
      },
      5000));
  EXPECT_TRUE(waitForLine(server, QStringLiteral("start:two")));
  EXPECT_FALSE(server.spoken().contains(QStringLiteral("start:lost"))) << "said to nobody";
}

TEST_F(Speech, HungServerNeverBlocksTheCaller) {
  // A stopped server accepts connections but never answers, as a wedged one does: while
  // the connection is being opened, or later while a text is being handed over.
  for (const bool connectedFirst : {false, true}) {
    SCOPED_TRACE(connectedFirst ? "hangs after connecting" : "hangs while connecting");
    SpeechServer server;
    ASSERT_TRUE(server.start());
    server.exportAddress();
    SpeechDispatcher::Timing timing;
    timing.hungAfter = std::chrono::milliseconds(300);
    QElapsedTimer t;
    {
      SpeechDispatcher dispatcher(timing);
      if (connectedFirst) {
        ASSERT_TRUE(waitFor([&] { return dispatcher.connected(); }, 5000));
        ASSERT_EQ(::kill(static_cast<pid_t>(server.pid()), SIGSTOP), 0);
        dispatcher.speak(QStringLiteral("taken, then stuck"));
        spin(400);
      } else {
        ASSERT_EQ(::kill(static_cast<pid_t>(server.pid()), SIGSTOP), 0);
      }
      for (int i = 0; i < 3; ++i) {
        t.restart();
        EXPECT_THROW(dispatcher.speak(QStringLiteral("anyone?")), AppError);
        EXPECT_LT(t.elapsed(), kPromptMs);
      }
      t.restart();
    }
    EXPECT_LT(t.elapsed(), kPromptMs) << "destruction waits only briefly";
    server.kill();  // the worker left behind returns once the socket closes
  }
}

TEST_F(Speech, WithDuckSetTheAudioLayerHearsWhenSpeechSounds) {
  const struct {
    const char* what;
    QByteArray ini;
    bool heard;
  } rows[] = {
      {"duck set", "[volume]\nduck=30\n", true},
      {"no duck key", "[volume]\nvol_default=60\n", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    SpeechServer server(/*speakSeconds=*/1.5);
    ASSERT_TRUE(server.start());
    server.exportAddress();
    SpeechDispatcher dispatcher;
    FormOptions options;
    options.speech = &dispatcher;
    options.prepare = [&](const QString& exeDir) {
      QFile ini(exeDir + QStringLiteral("MQTT.ini"));
      ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
      ini.write(row.ini);
    };
    FormFixture f(options);
    TForm_player& form = f.form();
    bool sawSounding = false;
    form.guarded([&] { form.CommandsRun(QStringLiteral("speak:first")); });
    ASSERT_TRUE(waitForLine(server, QStringLiteral("start:first")));
    // A second text cancels the first: the layer must still see the end of the second.
    form.guarded([&] { form.CommandsRun(QStringLiteral("speak:second")); });
    ASSERT_TRUE(waitForLine(server, QStringLiteral("start:second")));
    waitFor(
        [&] {
          sawSounding = sawSounding || f.audio->speechSounding();
          return server.spoken().contains(QStringLiteral("end"));
        },
        8000);
    EXPECT_EQ(sawSounding, row.heard);
    EXPECT_TRUE(waitFor([&] { return !f.audio->speechSounding(); }, 5000));
  }
}

}  // namespace
}  // namespace vuvedid::test
