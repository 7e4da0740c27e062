#pragma once
// The main window: it owns every named control (the controls are the settings) and routes
// each control event to the object that holds its logic; the room's players tell it what
// to show.
// Every event entry point runs through runGuarded (app/EventGuard.h).
#include <QWidget>
#include <functional>
#include <memory>

#include "app/LogView.h"
#include "app/Problems.h"
#include "app/Services.h"
#include "app/Settings.h"
#include "audio/EffectsView.h"
#include "audio/PlayerView.h"
#include "commands/SpeechView.h"
#include "mqtt/SessionView.h"
#include "ui/Widgets.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QSystemTrayIcon;
class QTabWidget;
class QTableWidget;
class QToolButton;

namespace vuvedid {

class SettingsFile;
class Logs;
class Room;
class CommandInterpreter;
class MqttClient;
class RoomHost;

class TForm_player : public QWidget,
                     public PlayerView,
                     public EffectsView,
                     public SpeechView,
                     public LogView,
                     public SessionView {
  Q_OBJECT

 public:
  // The window of host's room: it shows the room's state and routes its controls' events
  // to the room. host outlives the window.
  explicit TForm_player(RoomHost& host, QWidget* parent = nullptr);
  ~TForm_player() override;

  RoomHost& host;
  const Services& services;

  // ---- Start-up and shutdown --------------------------------------------------------
  void FormCreate();  // run once by the entry point (and test fixtures) after construction
  void my_init();
  void FormClose();
  void JvTrayIcon1Click();
  bool closed() const;

  // ---- Event handlers, one per control event (each throws; the guard sits outside) ----
  void btn_playClick();
  void btn_pauseClick();
  void btn_stopClick();
  void JvTrackBar1Change();
  void JvTrackBar2Change();
  void JvTrackBar3Change();
  void JvTrackBar4Change();
  void JvTrackBar5Change();
  void SpeedButton1Click();
  void SpeedButton4Click();
  void SpeedButton7Click();
  void SpeedButton2Click();
  void btn_shufleClick();
  void btn_save_mqttClick();
  void btn_speakClick();
  void btnConnectClick();
  void btnDisconnectClick();
  void btn_SUBClick();
  void btnPublishClick();
  void BitBtn2Click();
  void BitBtn1Click();
  void Timer_actTimer();
  void Timer_start1Timer();
  void Timer_start2Timer();

  // ---- Operations other subsystems call ---------------------------------------------
  void AddSysLog(const QString& text);
  void CommandsRun(const QString& myCMD);
  // Runs a handler the way an event does: a silent abort is swallowed, any other
  // exception becomes the default error report.
  void guarded(const std::function<void()>& handler) noexcept;

  // ---- What the logic shows ------------------------------------------------------------
  // LogView: the protocol log in M_protokol, the system log in memo2.
  void appendLines(LogBox box, const QString& text) override;
  QStringList shownLines(LogBox box) const override;
  // SessionView: the debug tab's session options, its selected command, btnConnect, the
  // wait cursor.
  SessionOptions sessionOptions() const override;
  QString debugCommand() const override;
  void showConnectEnabled(bool enabled) override;
  void focusField(SessionField field) override;
  void showBusy(bool busy) override;

  // ---- The host's parts -------------------------------------------------------------
  // The settings the logic reads: the settings tab shows them, and every edit there
  // changes them at once. Loaded (and saved) by settingsFile.
  Settings& settings;
  // Where the logic reports a problem: a box on the window's message boxes.
  ProblemReporter& problems;
  SettingsFile* const settingsFile;
  Logs* const logs;
  Room* const room;
  CommandInterpreter* const interpreter;
  MqttClient* const mqtt;

  // ---- Controls ------------------------------------------------------------------------
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;  // player
  QWidget* TabSheet2 = nullptr;  // settings
  QWidget* TabSheet4 = nullptr;  // MQTT debug
  QWidget* TabSheet3 = nullptr;  // hidden, empty

  // Player tab
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* l_vers = nullptr;
  QFrame* pnl1 = nullptr;
  QToolButton* btn_play = nullptr;
  QToolButton* btn_pause = nullptr;
  QToolButton* btn_stop = nullptr;
  QSlider* JvTrackBar1 = nullptr;
  QLabel* l_volume = nullptr;
  QLabel* l_stoped = nullptr;
  QLabel* l1 = nullptr;
  QLabel* l_numtrack = nullptr;
  QLabel* l5 = nullptr;
  QLabel* l_time = nullptr;
  QLabel* l3 = nullptr;
  FileEdit* efilename = nullptr;
  QLabel* l_komnata = nullptr;
  QProgressBar* pb1 = nullptr;

  QFrame* Panel1 = nullptr;
  QFrame* Panel2 = nullptr;
  QFrame* Panel3 = nullptr;
  QFrame* Panel4 = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton4 = nullptr;
  QToolButton* SpeedButton7 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label9 = nullptr;
  FileEdit* efilename1 = nullptr;
  FileEdit* efilename2 = nullptr;
  FileEdit* efilename3 = nullptr;
  FileEdit* efilename4 = nullptr;
  QSlider* JvTrackBar2 = nullptr;
  QSlider* JvTrackBar3 = nullptr;
  QSlider* JvTrackBar4 = nullptr;
  QSlider* JvTrackBar5 = nullptr;

  // Hidden state of the player tab
  FileListBox* FileListBox1 = nullptr;
  QListWidget* ListBox1 = nullptr;
  QListWidget* ListBox2 = nullptr;
  QPushButton* btn_shufle = nullptr;

  // Settings tab
  QGroupBox* GroupBox3 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QGroupBox* GroupBox5 = nullptr;
  QGroupBox* GroupBox4 = nullptr;
  QToolButton* btn_save_mqtt = nullptr;
  QLabel* l4 = nullptr;
  QLabel* l6 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* l7 = nullptr;
  QLabel* l8 = nullptr;
  QLabel* l14 = nullptr;
  QLabel* l9 = nullptr;
  QLabel* l12 = nullptr;
  QLabel* l2 = nullptr;
  QLabel* l13 = nullptr;
  QLabel* Label10 = nullptr;
  QLineEdit* eIP = nullptr;
  SpinEdit* eport = nullptr;
  SpinEdit* cxsped_KeepAlive = nullptr;
  QLineEdit* eLogin = nullptr;
  QLineEdit* ePassword = nullptr;
  QLineEdit* eUID = nullptr;
  QLineEdit* eTopic = nullptr;
  QLineEdit* eTopicSend = nullptr;
  QLineEdit* cxte_WillTopic = nullptr;
  QLineEdit* cxte_WillPayload = nullptr;
  QLineEdit* e_con_act = nullptr;
  QCheckBox* chbx_act = nullptr;
  QCheckBox* chbx_reconnect = nullptr;
  QCheckBox* RetainBox = nullptr;
  QCheckBox* CleanBox2 = nullptr;
  QCheckBox* chbx_povtor = nullptr;
  RadioGroup* cxrg_SubQoS = nullptr;
  RadioGroup* cxrg_PubQoS = nullptr;
  QLabel* l10 = nullptr;
  QLabel* l11 = nullptr;
  QLabel* Label8 = nullptr;
  FileEdit* folder_m = nullptr;
  FileEdit* folder_s = nullptr;
  SpinEdit* vol_default = nullptr;
  QToolButton* btn_speak = nullptr;
  QLineEdit* e_speak = nullptr;
  QCheckBox* chbx_shufle = nullptr;

  // MQTT debug tab
  QToolButton* btnConnect = nullptr;
  QToolButton* btnDisconnect = nullptr;
  QToolButton* btn_SUB = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QToolButton* btnPublish = nullptr;
  QTableWidget* Commands = nullptr;
  QCheckBox* Protokol = nullptr;
  QToolButton* BitBtn2 = nullptr;
  QPlainTextEdit* M_protokol = nullptr;
  QCheckBox* cxchb_LogEnable = nullptr;
  QToolButton* BitBtn1 = nullptr;
  QPlainTextEdit* memo2 = nullptr;

  // Components without a place on a tab
  SaveDialogState SaveDialog1;
  QSystemTrayIcon* JvTrayIcon1 = nullptr;

  // ---- What the room shows ---------------------------------------------------------------
  void showTitle(const QString& text) override;
  void showListing(const QString& folder, const QStringList& names) override;
  void showPlaylist(const QStringList& paths) override;
  void showShuffled(const QStringList& paths) override;
  void showTrack(const QString& path) override;
  void showTrackNumber(const QString& text) override;
  void showTimeLeft(int seconds) override;
  void showProgress(int value, int maximum) override;
  void showPaused(bool paused) override;
  void showVolume(int bar, const QString& text) override;
  void showRoom(const QString& room) override;
  void showEffectFile(int slot, const QString& path) override;
  void showSpeechText(const QString& text) override;

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void createControls();
  void layoutControls();  // ui/FormLayout.cpp: geometry, fonts, pictures
  void connectEvents();
  // The settings tab shows settings; each edit of one of its controls updates settings.
  void showSettings();
  void bindSettings();

  // Whether hiding to the tray suspended the application's quit on last window closed
  // (restored when the tray icon brings the window back).
  bool trayHeldQuit_ = false;
};

// The one instance, set while it exists.
extern TForm_player* Form_player;

}  // namespace vuvedid
