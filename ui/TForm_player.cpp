#include "ui/TForm_player.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

#include "app/AppInfo.h"
#include "app/Errors.h"
#include "app/EventGuard.h"
#include "app/Logs.h"
#include "app/Problems.h"
#include "app/SettingsFile.h"
#include "app/Trace.h"
#include "audio/AudioLibrary.h"
#include "commands/CommandInterpreter.h"
#include "commands/Room.h"
#include "host/RoomHost.h"
#include "mqtt/MqttClient.h"
#include "ui/MessageBoxes.h"

namespace vuvedid {

TForm_player* Form_player = nullptr;

namespace {

template <class W, class... Args>
W* make(QWidget* parent, const char* name, Args&&... args) {
  auto* w = new W(std::forward<Args>(args)..., parent);
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption) {
  return make<QLabel>(parent, name, caption);
}

QToolButton* flatButton(QWidget* parent, const char* name, const QString& caption = {},
                        const QString& hint = {}) {
  auto* b = make<QToolButton>(parent, name);
  b->setAutoRaise(true);
  b->setText(caption);
  b->setToolTip(hint);
  return b;
}

QSlider* trackBar(QWidget* parent, const char* name) {
  auto* s = make<QSlider>(parent, name, Qt::Horizontal);
  s->setRange(0, 100);
  s->setValue(50);
  return s;
}

QLineEdit* textField(QWidget* parent, const char* name, const QString& value = {},
                     const QString& hint = {}) {
  auto* e = make<QLineEdit>(parent, name);
  e->setText(value);
  e->setToolTip(hint);
  return e;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption, bool ticked,
                    const QString& hint = {}) {
  auto* c = make<QCheckBox>(parent, name, caption);
  c->setChecked(ticked);
  c->setToolTip(hint);
  return c;
}

}  // namespace

TForm_player::TForm_player(RoomHost& h, QWidget* parent)
    : QWidget(parent),
      host(h),
      services(h.services),
      settings(h.settings),
      problems(h.problems),
      settingsFile(&h.settingsFile),
      logs(&h.logs),
      room(h.room.get()),
      interpreter(h.interpreter.get()),
      mqtt(h.mqtt.get()) {
  Form_player = this;
  setObjectName(QStringLiteral("Form_player"));
  setWindowTitle(QStringLiteral("Vuvedid_m"));
  createControls();
  layoutControls();

  host.views.attach(*this);
  host.logs.setView(this);

  connectEvents();
  showSettings();
  bindSettings();
}

TForm_player::~TForm_player() {
  // From here on nothing the room does reaches the controls.
  host.views.detach();
  host.logs.setView(nullptr);
  if (Form_player == this) Form_player = nullptr;
}

bool TForm_player::closed() const { return host.closed(); }

void TForm_player::createControls() {
  PageControl1 = make<QTabWidget>(this, "PageControl1");
  TabSheet1 = make<QWidget>(PageControl1, "TabSheet1");
  TabSheet2 = make<QWidget>(PageControl1, "TabSheet2");
  TabSheet4 = make<QWidget>(PageControl1, "TabSheet4");
  TabSheet3 = make<QWidget>(PageControl1, "TabSheet3");
  PageControl1->addTab(TabSheet1, QStringLiteral("Плеер"));
  PageControl1->addTab(TabSheet2, QStringLiteral("Настройки"));
  PageControl1->addTab(TabSheet4, QStringLiteral("Отладка MQTT"));
  PageControl1->addTab(TabSheet3, QStringLiteral("Диаграмма"));
  PageControl1->setTabVisible(3, false);
  PageControl1->setCurrentWidget(TabSheet2);

  // ---- Player tab ----
  QWidget* p = TabSheet1;
  Label4 = label(p, "Label4", QStringLiteral("Фоновые мелодии"));
  Label5 = label(p, "Label5", QStringLiteral("Сигнальные звуки"));
  l_vers = label(p, "l_vers", QStringLiteral("версия"));
  l_vers->setEnabled(false);

  pnl1 = make<QFrame>(p, "pnl1");
  btn_play = flatButton(pnl1, "btn_play");
  btn_pause = flatButton(pnl1, "btn_pause");
  btn_stop = flatButton(pnl1, "btn_stop");
  JvTrackBar1 = trackBar(pnl1, "JvTrackBar1");
  l_volume = label(pnl1, "l_volume", QStringLiteral("00"));
  l_stoped = label(pnl1, "l_stoped", QStringLiteral("S"));
  l_stoped->setVisible(false);
  l1 = label(pnl1, "l1", QStringLiteral("Трек номер"));
  l_numtrack = label(pnl1, "l_numtrack", QStringLiteral("0"));
  l5 = label(pnl1, "l5", QStringLiteral("Осталось"));
  l_time = label(pnl1, "l_time", QStringLiteral("0"));
  l3 = label(pnl1, "l3", QStringLiteral("Файл"));
  efilename = make<FileEdit>(pnl1, "efilename", FileEdit::Mode::File);
  l_komnata = label(pnl1, "l_komnata", QStringLiteral("___________"));
  pb1 = make<QProgressBar>(pnl1, "pb1");
  pb1->setRange(0, 100);
  pb1->setValue(0);
  pb1->setTextVisible(false);

  struct SlotNames {
    const char *panel, *button, *label, *file, *bar;
  };
  const SlotNames names[4] = {
      {"Panel1", "SpeedButton1", "Label1", "efilename1", "JvTrackBar2"},
      {"Panel2", "SpeedButton4", "Label2", "efilename2", "JvTrackBar3"},
      {"Panel3", "SpeedButton7", "Label3", "efilename3", "JvTrackBar4"},
      {"Panel4", "SpeedButton2", "Label9", "efilename4", "JvTrackBar5"},
  };
  QFrame** panels[4] = {&Panel1, &Panel2, &Panel3, &Panel4};
  QToolButton** buttons[4] = {&SpeedButton1, &SpeedButton4, &SpeedButton7, &SpeedButton2};
  QLabel** labels[4] = {&Label1, &Label2, &Label3, &Label9};
  FileEdit** files[4] = {&efilename1, &efilename2, &efilename3, &efilename4};
  QSlider** bars[4] = {&JvTrackBar2, &JvTrackBar3, &JvTrackBar4, &JvTrackBar5};
  for (int i = 0; i < 4; ++i) {
    *panels[i] = make<QFrame>(p, names[i].panel);
    *buttons[i] = flatButton(*panels[i], names[i].button);
    *labels[i] = label(*panels[i], names[i].label, QStringLiteral("Файл"));
    *files[i] = make<FileEdit>(*panels[i], names[i].file, FileEdit::Mode::File);
    *bars[i] = trackBar(*panels[i], names[i].bar);
  }

  FileListBox1 = make<FileListBox>(p, "FileListBox1");
  FileListBox1->setVisible(false);
  ListBox1 = make<QListWidget>(p, "ListBox1");
  ListBox1->setVisible(false);
  ListBox2 = make<QListWidget>(p, "ListBox2");
  ListBox2->setVisible(false);
  btn_shufle = make<QPushButton>(p, "btn_shufle", QStringLiteral("Shufle"));
  btn_shufle->setVisible(false);

  // ---- Settings tab ----
  GroupBox3 = make<QGroupBox>(TabSheet2, "GroupBox3");
  btn_save_mqtt = flatButton(GroupBox3, "btn_save_mqtt", QStringLiteral("Сохранить настройки"),
                             QStringLiteral("Сохранить настройки"));
  GroupBox2 = make<QGroupBox>(GroupBox3, "GroupBox2", QStringLiteral("MQTT"));
  QWidget* g = GroupBox2;
  l4 = label(g, "l4", QStringLiteral("Адрес сервера"));
  eIP = textField(g, "eIP");
  l6 = label(g, "l6", QStringLiteral("Порт "));
  eport = make<SpinEdit>(g, "eport", 0, 0, 1883);
  Label6 = label(g, "Label6", QStringLiteral("Keep Alive"));
  cxsped_KeepAlive = make<SpinEdit>(g, "cxsped_KeepAlive", 1, 60, 60);
  cxsped_KeepAlive->setToolTip(
      QStringLiteral("Время, в течение которого нужно подтвердить коннект "));
  l7 = label(g, "l7", QStringLiteral("Логин"));
  eLogin = textField(g, "eLogin");
  l8 = label(g, "l8", QStringLiteral("Пароль"));
  ePassword = textField(g, "ePassword");
  l14 = label(g, "l14", QStringLiteral("User ID"));
  eUID = textField(g, "eUID", QStringLiteral("ID1"));
  l9 = label(g, "l9", QStringLiteral("Топик  приема"));
  eTopic = textField(g, "eTopic", QStringLiteral("recive"));
  l12 = label(g, "l12", QStringLiteral("Топик  отправки"));
  eTopicSend = textField(g, "eTopicSend", QStringLiteral("send"));
  GroupBox5 = make<QGroupBox>(g, "GroupBox5");
  l2 = label(GroupBox5, "l2", QStringLiteral("Топик Last will"));
  cxte_WillTopic = textField(GroupBox5, "cxte_WillTopic", QStringLiteral("Will"),
                             QStringLiteral("Топик для отправки сообщения при дисконнекте"));
  l13 = label(GroupBox5, "l13", QStringLiteral("Сообщение"));
  cxte_WillPayload = textField(GroupBox5, "cxte_WillPayload", QStringLiteral("Will"),
                               QStringLiteral("Сообщение для отправки сообщения при дисконнекте"));
  Label10 = label(g, "Label10", QStringLiteral("Сообщение \"коннект активен\""));
  e_con_act = textField(g, "e_con_act", QStringLiteral("ping?MAC=DO3VEZEZO"));
  chbx_act = checkBox(g, "chbx_act", QStringLiteral("подтверждать активность"), false);
  chbx_reconnect = checkBox(g, "chbx_reconnect", QStringLiteral("разрешить реконнект"), false,
                            QStringLiteral("Повторный коннект при обрыве связи"));
  RetainBox = checkBox(g, "RetainBox", QStringLiteral("Retain"), false,
                       QStringLiteral("Сохранять сообщение у брокера"));
  CleanBox2 = checkBox(g, "CleanBox2", QStringLiteral("Clean Session"), false,
                       QStringLiteral("\"Чистая\" сессия - брокер создает новую сессию"));
  chbx_povtor = checkBox(g, "chbx_povtor", QStringLiteral("Повтор"), false,
                         QStringLiteral("Проверка и гашение сигнала такого же типа"));
  const QStringList qos{QStringLiteral("QoS 0"), QStringLiteral("QoS 1"), QStringLiteral("QoS 2")};
  cxrg_SubQoS = make<RadioGroup>(g, "cxrg_SubQoS", QStringLiteral("Прием"), qos, 0);
  cxrg_SubQoS->setToolTip(QStringLiteral("Качество доставки (уровень гарантии)"));
  cxrg_PubQoS = make<RadioGroup>(g, "cxrg_PubQoS", QStringLiteral("Отправка"), qos, 0);
  cxrg_PubQoS->setToolTip(QStringLiteral("Качество доставки (уровень гарантии)"));

  GroupBox4 = make<QGroupBox>(GroupBox3, "GroupBox4", QStringLiteral("Плеер"));
  QWidget* g4 = GroupBox4;
  l10 = label(g4, "l10", QStringLiteral("Музыка"));
  folder_m = make<FileEdit>(g4, "folder_m", FileEdit::Mode::Folder);
  l11 = label(g4, "l11", QStringLiteral("Звуки"));
  folder_s = make<FileEdit>(g4, "folder_s", FileEdit::Mode::Folder);
  Label8 = label(g4, "Label8", QStringLiteral("Громкость фона по умолчанию"));
  vol_default = make<SpinEdit>(g4, "vol_default", 1, 100, 60);
  btn_speak = flatButton(g4, "btn_speak", {}, QStringLiteral("Тест речевого синтезатора"));
  e_speak = textField(g4, "e_speak", QStringLiteral("Hello"),
                      QStringLiteral("Текст для речевого синтезатора"));
  chbx_shufle = checkBox(g4, "chbx_shufle", QStringLiteral("shufle"), false);

  // ---- MQTT debug tab ----
  QWidget* d = TabSheet4;
  btnConnect =
      flatButton(d, "btnConnect", QStringLiteral("Подключиться"), QStringLiteral("Подключить"));
  btnDisconnect =
      flatButton(d, "btnDisconnect", QStringLiteral("Отключиться"), QStringLiteral("Отключить"));
  btn_SUB = flatButton(d, "btn_SUB", QStringLiteral("Подписаться"),
                       QStringLiteral("Подписаться на топик в настройках"));
  GroupBox1 = make<QGroupBox>(d, "GroupBox1", QStringLiteral("Отладка"));
  QWidget* g1 = GroupBox1;
  btnPublish = flatButton(g1, "btnPublish", QStringLiteral("Отправить команду"),
                          QStringLiteral("Отправить в топик команду для плеера"));
  Commands = make<QTableWidget>(g1, "Commands", 10, 2);
  Commands->setHorizontalHeaderLabels({QStringLiteral("Команда"), QStringLiteral("Описание")});
  Commands->verticalHeader()->setVisible(false);
  static const char16_t* const rows[10][2] = {
      {u"play:room1", u"каталог фона"},       {u"volume:30", u"громкость фона"},
      {u"next", u"следующий трек фона"},      {u"fx:30!insert.mp3", u"громкость!файл сигнала"},
      {u"reset", u"остановить все звуки"},    {u"pause", u"пауза музыки фона"},
      {u"resume", u"продолжить музыку фона"}, {u"cmdstr:", u"выполнить команду"},
      {u"shufle", u"изменить порядок фона"},  {u"speak:Hello", u"для речевого синтезатора"},
  };
  for (int r = 0; r < 10; ++r)
    for (int c = 0; c < 2; ++c)
      Commands->setItem(r, c, new QTableWidgetItem(QString::fromUtf16(rows[r][c])));
  Commands->setCurrentCell(0, 0);
  Protokol = checkBox(g1, "Protokol", QStringLiteral("Протокол"), true);
  BitBtn2 = flatButton(g1, "BitBtn2");
  BitBtn2->setAutoRaise(false);
  M_protokol = make<QPlainTextEdit>(g1, "M_protokol");
  M_protokol->setLineWrapMode(QPlainTextEdit::NoWrap);
  M_protokol->setMaximumBlockCount(kLogLineLimit);
  cxchb_LogEnable = checkBox(g1, "cxchb_LogEnable", QStringLiteral("Сис.лог"), true);
  BitBtn1 = flatButton(g1, "BitBtn1");
  BitBtn1->setAutoRaise(false);
  memo2 = make<QPlainTextEdit>(g1, "memo2");
  memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo2->setMaximumBlockCount(kLogLineLimit);

  // ---- Components ----
  SaveDialog1.filter = QStringLiteral("Текстовые файлы|*.txt|Все|*");
  SaveDialog1.defaultExt = QStringLiteral("txt");
  JvTrayIcon1 = new QSystemTrayIcon(this);
  JvTrayIcon1->setObjectName(QStringLiteral("JvTrayIcon1"));
  JvTrayIcon1->setToolTip(QStringLiteral("Vuvedid_m"));
}

void TForm_player::connectEvents() {
  auto on = [this](auto* sender, auto signal, void (TForm_player::*handler)()) {
    connect(sender, signal, this,
            [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
  };
  on(btn_play, &QToolButton::clicked, &TForm_player::btn_playClick);
  on(btn_pause, &QToolButton::clicked, &TForm_player::btn_pauseClick);
  on(btn_stop, &QToolButton::clicked, &TForm_player::btn_stopClick);
  on(JvTrackBar1, &QSlider::valueChanged, &TForm_player::JvTrackBar1Change);
  on(JvTrackBar2, &QSlider::valueChanged, &TForm_player::JvTrackBar2Change);
  on(JvTrackBar3, &QSlider::valueChanged, &TForm_player::JvTrackBar3Change);
  on(JvTrackBar4, &QSlider::valueChanged, &TForm_player::JvTrackBar4Change);
  on(JvTrackBar5, &QSlider::valueChanged, &TForm_player::JvTrackBar5Change);
  on(SpeedButton1, &QToolButton::clicked, &TForm_player::SpeedButton1Click);
  on(SpeedButton4, &QToolButton::clicked, &TForm_player::SpeedButton4Click);
  on(SpeedButton7, &QToolButton::clicked, &TForm_player::SpeedButton7Click);
  on(SpeedButton2, &QToolButton::clicked, &TForm_player::SpeedButton2Click);
  on(btn_shufle, &QPushButton::clicked, &TForm_player::btn_shufleClick);
  on(btn_save_mqtt, &QToolButton::clicked, &TForm_player::btn_save_mqttClick);
  on(btn_speak, &QToolButton::clicked, &TForm_player::btn_speakClick);
  on(btnConnect, &QToolButton::clicked, &TForm_player::btnConnectClick);
  on(btnDisconnect, &QToolButton::clicked, &TForm_player::btnDisconnectClick);
  on(btn_SUB, &QToolButton::clicked, &TForm_player::btn_SUBClick);
  on(btnPublish, &QToolButton::clicked, &TForm_player::btnPublishClick);
  on(BitBtn2, &QToolButton::clicked, &TForm_player::BitBtn2Click);
  on(BitBtn1, &QToolButton::clicked, &TForm_player::BitBtn1Click);
  // What the user types or chooses as a track or effect file is what plays next.
  connect(efilename->lineEdit(), &QLineEdit::textChanged, this,
          [this](const QString& path) { room->background.track_path = path; });
  QString* const effectFiles[4] = {&room->effects.fx_file1, &room->effects.fx_file2,
                                   &room->effects.fx_file3, &room->effects.fx_file4};
  FileEdit* const effectFields[4] = {efilename1, efilename2, efilename3, efilename4};
  for (int i = 0; i < 4; ++i)
    connect(effectFields[i]->lineEdit(), &QLineEdit::textChanged, this,
            [file = effectFiles[i]](const QString& path) { *file = path; });
  connect(JvTrayIcon1, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context ||
                reason == QSystemTrayIcon::MiddleClick)
              guarded([this] { JvTrayIcon1Click(); });
          });
}

void TForm_player::showSettings() {
  const Settings& s = settings;
  eIP->setText(s.ip);
  eLogin->setText(s.login);
  ePassword->setText(s.password);
  eTopic->setText(s.topic);
  eTopicSend->setText(s.eTopicSend);
  eport->setText(s.port);
  e_con_act->setText(s.e_con_act);
  eUID->setText(s.UID);
  folder_m->setText(s.folder_m);
  folder_s->setText(s.folder_s);
  vol_default->setText(s.vol_default_text);
  cxchb_LogEnable->setChecked(s.log);
  Protokol->setChecked(s.protokol);
  chbx_act->setChecked(s.chbx_act);
  chbx_povtor->setChecked(s.povtor);
  chbx_reconnect->setChecked(s.reconnect);
  chbx_shufle->setChecked(s.shufle);
}

void TForm_player::bindSettings() {
  auto text = [this](QLineEdit* edit, QString Settings::*field) {
    connect(edit, &QLineEdit::textChanged, this,
            [this, field](const QString& t) { settings.*field = t; });
  };
  auto tick = [this](QCheckBox* box, bool Settings::*field) {
    connect(box, &QCheckBox::toggled, this, [this, field](bool on) { settings.*field = on; });
  };
  text(eIP, &Settings::ip);
  text(eLogin, &Settings::login);
  text(ePassword, &Settings::password);
  text(eTopic, &Settings::topic);
  text(eTopicSend, &Settings::eTopicSend);
  text(eport->textEdit(), &Settings::port);
  text(e_con_act, &Settings::e_con_act);
  text(eUID, &Settings::UID);
  text(folder_m->lineEdit(), &Settings::folder_m);
  text(folder_s->lineEdit(), &Settings::folder_s);
  connect(vol_default->textEdit(), &QLineEdit::textChanged, this,
          [this](const QString& t) { settings.setVolDefault(t); });
  tick(cxchb_LogEnable, &Settings::log);
  tick(Protokol, &Settings::protokol);
  tick(chbx_act, &Settings::chbx_act);
  tick(chbx_povtor, &Settings::povtor);
  tick(chbx_reconnect, &Settings::reconnect);
  tick(chbx_shufle, &Settings::shufle);
}

void TForm_player::guarded(const std::function<void()>& handler) noexcept { host.guarded(handler); }

// ---- Start-up and shutdown ----------------------------------------------------------

void TForm_player::FormCreate() {
  my_init();
  host.checkLibraries();
}

void TForm_player::my_init() {
  setWindowTitle(QString::fromLatin1(kVersionCaption));
  l_vers->setText(windowTitle());
  if (!host.my_init()) return;
  showSettings();
  PageControl1->setCurrentWidget(TabSheet1);
  if (host.startArgument()) setWindowState(windowState() | Qt::WindowMinimized);
}

void TForm_player::FormClose() { host.FormClose(); }

void TForm_player::JvTrayIcon1Click() {
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  show();
  raise();
  activateWindow();
  if (trayHeldQuit_) {
    QApplication::setQuitOnLastWindowClosed(true);
    trayHeldQuit_ = false;
  }
}

void TForm_player::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Minimizing hides the program to the tray; the tray icon brings it back. Without a
  // tray to click (no notification area, or the icon not shown) a hidden window could
  // never return, so it then stays an ordinary minimized window.
  auto trayCanRestore = [this] {
    return QSystemTrayIcon::isSystemTrayAvailable() && JvTrayIcon1->isVisible();
  };
  if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) &&
      trayCanRestore()) {
    QTimer::singleShot(0, this, [this, trayCanRestore] {
      if (!(windowState() & Qt::WindowMinimized) || !trayCanRestore()) return;
      // With the window in the tray, a message box is the last visible window: closing
      // it must not end the program (it runs unattended and must come back).
      if (QApplication::quitOnLastWindowClosed()) {
        QApplication::setQuitOnLastWindowClosed(false);
        trayHeldQuit_ = true;
      }
      hide();
    });
  }
}

void TForm_player::closeEvent(QCloseEvent* event) {
  guarded([this] { FormClose(); });
  event->accept();
}

// ---- Routing ----------------------------------------------------------------------------

void TForm_player::btn_playClick() { room->playButton(); }
void TForm_player::btn_pauseClick() { room->pauseButton(); }
void TForm_player::btn_stopClick() { room->stopButton(); }
void TForm_player::JvTrackBar1Change() { room->musicVolume(JvTrackBar1->value()); }
void TForm_player::JvTrackBar2Change() { room->effectVolume(1, JvTrackBar2->value()); }
void TForm_player::JvTrackBar3Change() { room->effectVolume(2, JvTrackBar3->value()); }
void TForm_player::JvTrackBar4Change() { room->effectVolume(3, JvTrackBar4->value()); }
void TForm_player::JvTrackBar5Change() { room->effectVolume(4, JvTrackBar5->value()); }
void TForm_player::SpeedButton1Click() { room->effectButton(1); }
void TForm_player::SpeedButton4Click() { room->effectButton(2); }
void TForm_player::SpeedButton7Click() { room->effectButton(3); }
void TForm_player::SpeedButton2Click() { room->effectButton(4); }
void TForm_player::btn_shufleClick() { room->shuffle(); }
void TForm_player::btn_save_mqttClick() {
  settingsFile->save(settings);
  services.boxes->show(BoxIcon::None, QString::fromLatin1(kAppTitle), QStringLiteral("Записано"));
}
void TForm_player::btn_speakClick() { room->speakButton(e_speak->text()); }
void TForm_player::btnConnectClick() { mqtt->btnConnectClick(); }
void TForm_player::btnDisconnectClick() { mqtt->btnDisconnectClick(); }
void TForm_player::btn_SUBClick() { mqtt->btn_SUBClick(); }
void TForm_player::btnPublishClick() { mqtt->btnPublishClick(); }
void TForm_player::BitBtn2Click() { logs->BitBtn2Click(*services.saveDialog, SaveDialog1); }
void TForm_player::BitBtn1Click() { logs->BitBtn1Click(*services.saveDialog, SaveDialog1); }
void TForm_player::Timer_actTimer() { mqtt->Timer_actTimer(); }

void TForm_player::Timer_start1Timer() { mqtt->Timer_start1Timer(); }
void TForm_player::Timer_start2Timer() { mqtt->Timer_start2Timer(); }

// ---- What the room shows ------------------------------------------------------------------

void TForm_player::showTitle(const QString& text) { setWindowTitle(text); }

void TForm_player::showListing(const QString& folder, const QStringList& names) {
  FileListBox1->setDirectory(folder);
  FileListBox1->setMask(QStringLiteral("*.mp3"));
  FileListBox1->setEntries(names);
}

void TForm_player::showPlaylist(const QStringList& paths) {
  ListBox1->clear();
  ListBox1->addItems(paths);
}

void TForm_player::showShuffled(const QStringList& paths) {
  ListBox2->clear();
  ListBox2->addItems(paths);
}

void TForm_player::showTrack(const QString& path) { efilename->setText(path); }
void TForm_player::showTrackNumber(const QString& text) { l_numtrack->setText(text); }
void TForm_player::showTimeLeft(int seconds) { l_time->setText(QString::number(seconds)); }

void TForm_player::showProgress(int value, int maximum) {
  if (pb1->maximum() != maximum) pb1->setMaximum(maximum);
  pb1->setValue(value);
}

void TForm_player::showPaused(bool paused) { l_stoped->setVisible(paused); }

void TForm_player::showVolume(int bar, const QString& text) {
  JvTrackBar1->setValue(bar);
  l_volume->setText(text);
}

void TForm_player::showRoom(const QString& name) { l_komnata->setText(name); }

void TForm_player::showEffectFile(int slot, const QString& path) {
  FileEdit* const files[4] = {efilename1, efilename2, efilename3, efilename4};
  if (slot >= 1 && slot <= 4) files[slot - 1]->setText(path);
}

void TForm_player::showSpeechText(const QString& text) { e_speak->setText(text); }

void TForm_player::AddSysLog(const QString& text) { logs->AddSysLog(text); }

void TForm_player::appendLines(LogBox box, const QString& text) {
  (box == LogBox::Protocol ? M_protokol : memo2)->appendPlainText(text);
}

SessionOptions TForm_player::sessionOptions() const {
  SessionOptions o;
  o.CleanBox2 = CleanBox2->isChecked();
  o.RetainBox = RetainBox->isChecked();
  o.cxte_WillTopic = cxte_WillTopic->text();
  o.cxte_WillPayload = cxte_WillPayload->text();
  o.cxsped_KeepAlive = cxsped_KeepAlive->value();
  o.cxrg_SubQoS = cxrg_SubQoS->itemIndex();
  o.cxrg_PubQoS = cxrg_PubQoS->itemIndex();
  return o;
}

QString TForm_player::debugCommand() const {
  const QTableWidgetItem* cell = Commands->item(Commands->currentRow(), 0);
  return cell ? cell->text() : QString();
}

void TForm_player::showConnectEnabled(bool enabled) { btnConnect->setEnabled(enabled); }

void TForm_player::focusField(SessionField field) {
  QWidget* w = nullptr;
  switch (field) {
    case SessionField::eLogin:
      w = eLogin;
      break;
    case SessionField::cxte_WillTopic:
      w = cxte_WillTopic;
      break;
    case SessionField::eIP:
      w = eIP;
      break;
    case SessionField::eTopic:
      w = eTopic;
      break;
    case SessionField::eTopicSend:
      w = eTopicSend;
      break;
  }
  if (w) w->setFocus();
}

void TForm_player::showBusy(bool busy) {
  if (busy)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

QStringList TForm_player::shownLines(LogBox box) const {
  const QTextDocument* doc = (box == LogBox::Protocol ? M_protokol : memo2)->document();
  QStringList lines;
  if (doc->isEmpty()) return lines;
  lines.reserve(doc->blockCount());
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) lines << b.text();
  return lines;
}
void TForm_player::CommandsRun(const QString& myCMD) { host.CommandsRun(myCMD); }

}  // namespace vuvedid
