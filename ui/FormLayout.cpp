// Geometry, fonts, colours and pictures of the main window. The window is a fixed-size
// form: every control sits at an absolute position inside its tab page, group or panel.
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>

#include "ui/Fonts.h"
#include "ui/Icons.h"
#include "ui/TForm_player.h"

namespace vuvedid {

namespace {

constexpr int kClientWidth = 342;
constexpr int kClientHeight = 585;

// Rows of label + field inside the settings groups.
constexpr int kRow = 23;
constexpr int kFieldHeight = 21;
constexpr int kCheckHeight = 20;
constexpr int kLabelHeight = 18;

void colour(QWidget* w, QPalette::ColorRole role, const QColor& c) {
  QPalette pal = w->palette();
  pal.setColor(role, c);
  w->setPalette(pal);
}

// A file field in the panel's colour: it shows a path more than it asks for one.
void panelColoured(FileEdit* e) {
  QPalette pal = e->lineEdit()->palette();
  pal.setColor(QPalette::Base, pal.color(QPalette::Button));
  e->lineEdit()->setPalette(pal);
}

void pictureButton(QToolButton* b, const QIcon& icon, int iconSize) {
  b->setIcon(icon);
  b->setIconSize(QSize(iconSize, iconSize));
  b->setToolButtonStyle(b->text().isEmpty() ? Qt::ToolButtonIconOnly
                                            : Qt::ToolButtonTextBesideIcon);
}

void raisedPanel(QFrame* f) {
  f->setFrameShape(QFrame::StyledPanel);
  f->setFrameShadow(QFrame::Raised);
}

}  // namespace

void TForm_player::layoutControls() {
  // ---- Window ----
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(uiFont(12, true));
  colour(this, QPalette::Window, palette().color(QPalette::Button));
  setAutoFillBackground(true);
  const QIcon appIcon = icons::application();
  setWindowIcon(appIcon);
  QApplication::setWindowIcon(appIcon);  // the tray and task bar show the application's icon
  JvTrayIcon1->setIcon(appIcon);
  // The tray icon is there from the start, before the window is first shown: an
  // unattended start sets the window minimized before that, and only a shown tray icon
  // lets the minimized window go to the tray (changeEvent).
  JvTrayIcon1->show();
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());

  PageControl1->setGeometry(0, 0, kClientWidth, kClientHeight);
  // The page size the style leaves inside the tab control (the pages get their real
  // geometry only when shown); everything below is placed against it so the foot rows
  // sit at the bottom whatever the tab bar's height.
  const int frame = PageControl1->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
  const int pw = kClientWidth - 2 * frame;
  const int ph = kClientHeight - PageControl1->tabBar()->sizeHint().height() - 2 * frame;

  // ---- Player tab ----
  Label4->setGeometry(8, 4, 220, kLabelHeight);
  pnl1->setGeometry(4, 22, pw - 8, 150);
  raisedPanel(pnl1);
  const int inner = pw - 8 - 16;  // usable width inside a panel
  btn_play->setGeometry(8, 8, 34, 34);
  btn_pause->setGeometry(44, 8, 34, 34);
  btn_stop->setGeometry(80, 8, 34, 34);
  pictureButton(btn_play, icons::play(), 24);
  pictureButton(btn_pause, icons::pause(), 24);
  pictureButton(btn_stop, icons::stop(), 24);
  // The volume label holds up to "100", the pause mark one letter beside it.
  JvTrackBar1->setGeometry(120, 12, inner - 112 - 62, 26);
  l_volume->setGeometry(inner - 52, 11, 38, 24);
  l_volume->setFont(uiFont(16, true));
  l_stoped->setGeometry(inner - 12, 11, 18, 24);
  l_stoped->setFont(uiFont(16, true));
  colour(l_stoped, QPalette::WindowText, Qt::red);
  l1->setGeometry(8, 50, 84, kLabelHeight);
  l_numtrack->setGeometry(94, 50, 50, kLabelHeight);
  l5->setGeometry(150, 50, 66, kLabelHeight);
  l_time->setGeometry(218, 50, inner - 210, kLabelHeight);
  l_komnata->setGeometry(8, 72, inner, 22);
  l_komnata->setFont(uiFont(13, true));
  colour(l_komnata, QPalette::WindowText, QColor(0, 0, 128));  // navy
  l3->setGeometry(8, 100, 36, kFieldHeight + 1);
  efilename->setGeometry(46, 100, inner - 38, kFieldHeight + 1);
  panelColoured(efilename);
  pb1->setGeometry(8, 128, inner, 14);

  Label5->setGeometry(8, 180, 220, kLabelHeight);
  QFrame* const panels[4] = {Panel1, Panel2, Panel3, Panel4};
  QToolButton* const tests[4] = {SpeedButton1, SpeedButton4, SpeedButton7, SpeedButton2};
  QLabel* const fileLabels[4] = {Label1, Label2, Label3, Label9};
  FileEdit* const files[4] = {efilename1, efilename2, efilename3, efilename4};
  QSlider* const bars[4] = {JvTrackBar2, JvTrackBar3, JvTrackBar4, JvTrackBar5};
  const QIcon playIcon = icons::play();
  for (int i = 0; i < 4; ++i) {
    panels[i]->setGeometry(4, 198 + i * 80, pw - 8, 74);
    raisedPanel(panels[i]);
    tests[i]->setGeometry(8, 10, 34, 34);
    pictureButton(tests[i], playIcon, 22);
    fileLabels[i]->setGeometry(48, 14, 36, kFieldHeight + 1);
    files[i]->setGeometry(86, 14, inner - 78, kFieldHeight + 1);
    panelColoured(files[i]);
    bars[i]->setGeometry(48, 44, inner - 40, 24);
  }
  l_vers->setGeometry(8, ph - 22, pw - 16, kLabelHeight);

  // ---- Settings tab ----
  GroupBox3->setGeometry(4, 2, pw - 8, ph - 6);
  const int g3w = pw - 8;
  const int gw = g3w - 12;  // width of the two inner groups
  const int fieldX = 122;   // fields start after the label column
  const int fieldW = gw - fieldX - 8;
  GroupBox2->setGeometry(6, 6, gw, 0);  // height set below, once the rows are placed
  // Labels as tall as their fields, so the caption sits on the field's middle line.
  auto row = [&](QLabel* l, QWidget* field, int y) {
    l->setGeometry(8, y, fieldX - 10, kFieldHeight);
    field->setGeometry(fieldX, y, fieldW, kFieldHeight);
  };
  int y = 20;
  row(l4, eIP, y);
  y += kRow;
  l6->setGeometry(8, y, fieldX - 10, kFieldHeight);
  eport->setGeometry(fieldX, y, 64, kFieldHeight);
  Label6->setGeometry(fieldX + 70, y, gw - 8 - 44 - 4 - fieldX - 70, kFieldHeight);
  cxsped_KeepAlive->setGeometry(gw - 8 - 44, y, 44, kFieldHeight);
  y += kRow;
  // Login and password share a row: both are short, and the room goes to the QoS choices.
  l7->setGeometry(8, y, 46, kFieldHeight);
  eLogin->setGeometry(56, y, 100, kFieldHeight);
  l8->setGeometry(162, y, 52, kFieldHeight);
  ePassword->setGeometry(216, y, gw - 8 - 216, kFieldHeight);
  y += kRow;
  row(l14, eUID, y);
  y += kRow;
  row(l9, eTopic, y);
  y += kRow;
  row(l12, eTopicSend, y);
  y += kRow + 2;
  GroupBox5->setGeometry(4, y, gw - 8, 2 * kRow + 6);
  l2->setGeometry(4, 5, fieldX - 10, kFieldHeight);
  cxte_WillTopic->setGeometry(fieldX - 4, 5, fieldW, kFieldHeight);
  l13->setGeometry(4, 5 + kRow, fieldX - 10, kFieldHeight);
  cxte_WillPayload->setGeometry(fieldX - 4, 5 + kRow, fieldW, kFieldHeight);
  y += 2 * kRow + 8;
  Label10->setGeometry(8, y, gw - 16, kLabelHeight);
  y += kLabelHeight;
  e_con_act->setGeometry(8, y, gw - 16, kFieldHeight);
  y += kFieldHeight + 3;
  chbx_act->setGeometry(8, y, gw - 16, kCheckHeight);
  y += kCheckHeight;
  chbx_reconnect->setGeometry(8, y, gw - 16, kCheckHeight);
  y += kCheckHeight + 2;
  // Three more boxes on the left, the two QoS choices side by side on the right.
  const int qosW = 90;
  const int qosH = 88;
  const int qosX = gw - 8 - 2 * qosW - 4;
  RetainBox->setGeometry(8, y + 8, qosX - 12, kCheckHeight);
  CleanBox2->setGeometry(8, y + 8 + kCheckHeight, qosX - 12, kCheckHeight);
  chbx_povtor->setGeometry(8, y + 8 + 2 * kCheckHeight, qosX - 12, kCheckHeight);
  cxrg_SubQoS->setGeometry(qosX, y, qosW, qosH);
  cxrg_PubQoS->setGeometry(qosX + qosW + 4, y, qosW, qosH);
  y += qosH + 4;
  GroupBox2->resize(gw, y);

  const int g4y = 6 + y + 4;
  GroupBox4->setGeometry(6, g4y, gw, 20 + 4 * kRow + 4);
  int y4 = 20;
  row(l10, folder_m, y4);
  y4 += kRow;
  row(l11, folder_s, y4);
  y4 += kRow;
  Label8->setGeometry(8, y4, gw - 8 - 60 - 12, kFieldHeight);
  vol_default->setGeometry(gw - 8 - 60, y4, 60, kFieldHeight);
  y4 += kRow;
  btn_speak->setGeometry(6, y4 - 2, 26, 24);
  pictureButton(btn_speak, icons::speak(), 18);
  chbx_shufle->setGeometry(gw - 8 - 76, y4, 76, kCheckHeight);
  e_speak->setGeometry(36, y4, gw - 8 - 76 - 36 - 8, kFieldHeight);

  const int saveY = g4y + GroupBox4->height() + 4;
  btn_save_mqtt->setGeometry(6, saveY, gw, GroupBox3->height() - saveY - 4);
  pictureButton(btn_save_mqtt, icons::saveFolder(), 20);

  // ---- MQTT debug tab ----
  const int bw = (pw - 8 - 4) / 3;
  QToolButton* const sessionButtons[3] = {btnConnect, btnDisconnect, btn_SUB};
  const QIcon sessionIcons[3] = {icons::connect(), icons::disconnect(), icons::subscribe()};
  for (int i = 0; i < 3; ++i) {
    sessionButtons[i]->setGeometry(4 + i * (bw + 2), 2, bw, 48);
    sessionButtons[i]->setIcon(sessionIcons[i]);
    sessionButtons[i]->setIconSize(QSize(22, 22));
    sessionButtons[i]->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  }

  GroupBox1->setGeometry(4, 52, pw - 8, ph - 56);
  const int g1w = pw - 8;
  const int g1h = ph - 56;
  const int cw = g1w - 16;
  btnPublish->setGeometry(8, 18, 180, 26);
  pictureButton(btnPublish, icons::publish(), 18);

  const QFont cellFont = uiFont(11, true);
  Commands->setFont(cellFont);
  Commands->horizontalHeader()->setFont(uiFont(11, false));
  Commands->verticalHeader()->setDefaultSectionSize(QFontMetrics(cellFont).height() + 4);
  Commands->verticalHeader()->setMinimumSectionSize(QFontMetrics(cellFont).height() + 2);
  Commands->horizontalHeader()->setStretchLastSection(true);
  Commands->setColumnWidth(0, 112);
  Commands->setWordWrap(false);
  const int gridH = Commands->horizontalHeader()->sizeHint().height() +
                    10 * Commands->verticalHeader()->defaultSectionSize() +
                    2 * Commands->frameWidth();
  Commands->setGeometry(8, 48, cw, gridH);
  Commands->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Commands->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

  const int logTop = 48 + gridH + 4;
  const int memoH = (g1h - logTop - 2 * 24 - 8) / 2;
  const QIcon saveIcon = icons::save();
  const QFont memoFont = uiFont(11, false);
  struct LogRow {
    QCheckBox* enable;
    QToolButton* save;
    QPlainTextEdit* memo;
  };
  const LogRow logs[2] = {{Protokol, BitBtn2, M_protokol}, {cxchb_LogEnable, BitBtn1, memo2}};
  int ly = logTop;
  for (const LogRow& r : logs) {
    r.enable->setGeometry(8, ly + 2, 100, kCheckHeight);
    r.save->setGeometry(110, ly, 26, 24);
    pictureButton(r.save, saveIcon, 18);
    r.memo->setGeometry(8, ly + 24, cw, memoH);
    r.memo->setFont(memoFont);
    r.memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    r.memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ly += 24 + memoH + 4;
  }
}

}  // namespace vuvedid
