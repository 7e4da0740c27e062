// The main window as a user and the other subsystems meet it: every named control with
// its kind, designed value and place; the fixed size, fonts and colours; captions that
// fit; the tray behaviour when minimized.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

#include "commands/Room.h"
#include "mqtt/MqttClient.h"
#include "support/FormFixture.h"
#include "ui/Fonts.h"

using namespace vuvedid;
using namespace vuvedid::test;

namespace {

std::string s(const QString& q) { return q.toStdString(); }

// What a control shows: caption, title or text, by kind.
QString textOf(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* f = qobject_cast<FileEdit*>(w)) return f->text();
  if (auto* sp = qobject_cast<SpinEdit*>(w)) return sp->text();
  return {};
}

// The rest of a control's designed state in one readable word list.
QString stateOf(QWidget* w) {
  QStringList out;
  if (auto* sl = qobject_cast<QSlider*>(w))
    out << QStringLiteral("%1 in %2..%3").arg(sl->value()).arg(sl->minimum()).arg(sl->maximum());
  if (auto* pb = qobject_cast<QProgressBar*>(w))
    out << QStringLiteral("%1 in %2..%3").arg(pb->value()).arg(pb->minimum()).arg(pb->maximum());
  if (auto* sp = qobject_cast<SpinEdit*>(w))
    out << (sp->minimum() == sp->maximum()
                ? QStringLiteral("any")
                : QStringLiteral("%1..%2").arg(sp->minimum()).arg(sp->maximum()));
  if (auto* c = qobject_cast<QCheckBox*>(w)) out << (c->isChecked() ? "ticked" : "unticked");
  if (auto* r = qobject_cast<RadioGroup*>(w))
    out << r->items().join(QLatin1Char('|')) + QStringLiteral(" @%1").arg(r->itemIndex());
  if (auto* t = qobject_cast<QToolButton*>(w)) {
    out << (t->autoRaise() ? "flat" : "raised");
    if (!t->icon().isNull()) out << "picture";
  }
  if (auto* e = qobject_cast<QLineEdit*>(w); e && e->echoMode() != QLineEdit::Normal)
    out << "masked";
  if (w->isHidden()) out << "hidden";
  if (!w->isEnabled()) out << "disabled";
  return out.join(QLatin1Char(' '));
}

struct ControlCase {
  const char* name;
  const char* kind;  // Qt class name
  const char* in;    // a container it sits in
  QString text;
  QString hint;
  QString state;
};

const QString kQoS = QStringLiteral("QoS 0|QoS 1|QoS 2 @0");
const QString kQoSHint = QStringLiteral("Качество доставки (уровень гарантии)");

// clang-format off
const ControlCase kControls[] = {
  // Player tab
  {"Label4", "QLabel", "TabSheet1", "Фоновые мелодии", "", ""},
  {"Label5", "QLabel", "TabSheet1", "Сигнальные звуки", "", ""},
  {"l_vers", "QLabel", "TabSheet1", "Vuvedid_m_1.1.104.39", "", "disabled"},
  {"pnl1", "QFrame", "TabSheet1", "", "", ""},
  {"btn_play", "QToolButton", "pnl1", "", "", "flat picture"},
  {"btn_pause", "QToolButton", "pnl1", "", "", "flat picture"},
  {"btn_stop", "QToolButton", "pnl1", "", "", "flat picture"},
  {"JvTrackBar1", "QSlider", "pnl1", "", "", "50 in 0..100"},
  {"l_volume", "QLabel", "pnl1", "00", "", ""},
  {"l_stoped", "QLabel", "pnl1", "S", "", "hidden"},
  {"l1", "QLabel", "pnl1", "Трек номер", "", ""},
  {"l_numtrack", "QLabel", "pnl1", "0", "", ""},
  {"l5", "QLabel", "pnl1", "Осталось", "", ""},
  {"l_time", "QLabel", "pnl1", "0", "", ""},
  {"l3", "QLabel", "pnl1", "Файл", "", ""},
  {"efilename", "vuvedid::FileEdit", "pnl1", "", "", ""},
  {"l_komnata", "QLabel", "pnl1", "___________", "", ""},
  {"pb1", "QProgressBar", "pnl1", "", "", "0 in 0..100"},
  {"Panel1", "QFrame", "TabSheet1", "", "", ""},
  {"SpeedButton1", "QToolButton", "Panel1", "", "", "flat picture"},
  {"Label1", "QLabel", "Panel1", "Файл", "", ""},
  {"efilename1", "vuvedid::FileEdit", "Panel1", "", "", ""},
  {"JvTrackBar2", "QSlider", "Panel1", "", "", "50 in 0..100"},
  {"Panel2", "QFrame", "TabSheet1", "", "", ""},
  {"SpeedButton4", "QToolButton", "Panel2", "", "", "flat picture"},
  {"Label2", "QLabel", "Panel2", "Файл", "", ""},
  {"efilename2", "vuvedid::FileEdit", "Panel2", "", "", ""},
  {"JvTrackBar3", "QSlider", "Panel2", "", "", "50 in 0..100"},
  {"Panel3", "QFrame", "TabSheet1", "", "", ""},
  {"SpeedButton7", "QToolButton", "Panel3", "", "", "flat picture"},
  {"Label3", "QLabel", "Panel3", "Файл", "", ""},
  {"efilename3", "vuvedid::FileEdit", "Panel3", "", "", ""},
  {"JvTrackBar4", "QSlider", "Panel3", "", "", "50 in 0..100"},
  {"Panel4", "QFrame", "TabSheet1", "", "", ""},
  {"SpeedButton2", "QToolButton", "Panel4", "", "", "flat picture"},
  {"Label9", "QLabel", "Panel4", "Файл", "", ""},
  {"efilename4", "vuvedid::FileEdit", "Panel4", "", "", ""},
  {"JvTrackBar5", "QSlider", "Panel4", "", "", "50 in 0..100"},
  {"FileListBox1", "vuvedid::FileListBox", "TabSheet1", "", "", "hidden"},
  {"ListBox1", "QListWidget", "TabSheet1", "", "", "hidden"},
  {"ListBox2", "QListWidget", "TabSheet1", "", "", "hidden"},
  {"btn_shufle", "QPushButton", "TabSheet1", "Shufle", "", "hidden"},
  // Settings tab
  {"GroupBox3", "QGroupBox", "TabSheet2", "", "", ""},
  {"btn_save_mqtt", "QToolButton", "GroupBox3", "Сохранить настройки", "Сохранить настройки", "flat picture"},
  {"GroupBox2", "QGroupBox", "GroupBox3", "MQTT", "", ""},
  {"l4", "QLabel", "GroupBox2", "Адрес сервера", "", ""},
  {"eIP", "QLineEdit", "GroupBox2", "", "", ""},
  {"l6", "QLabel", "GroupBox2", "Порт ", "", ""},
  {"eport", "vuvedid::SpinEdit", "GroupBox2", "1883", "", "any"},
  {"Label6", "QLabel", "GroupBox2", "Keep Alive", "", ""},
  {"cxsped_KeepAlive", "vuvedid::SpinEdit", "GroupBox2", "60", "Время, в течение которого нужно подтвердить коннект ", "1..60"},
  {"l7", "QLabel", "GroupBox2", "Логин", "", ""},
  {"eLogin", "QLineEdit", "GroupBox2", "", "", ""},
  {"l8", "QLabel", "GroupBox2", "Пароль", "", ""},
  {"ePassword", "QLineEdit", "GroupBox2", "", "", ""},
  {"l14", "QLabel", "GroupBox2", "User ID", "", ""},
  {"eUID", "QLineEdit", "GroupBox2", "ID1", "", ""},
  {"l9", "QLabel", "GroupBox2", "Топик  приема", "", ""},
  {"eTopic", "QLineEdit", "GroupBox2", "recive", "", ""},
  {"l12", "QLabel", "GroupBox2", "Топик  отправки", "", ""},
  {"eTopicSend", "QLineEdit", "GroupBox2", "send", "", ""},
  {"GroupBox5", "QGroupBox", "GroupBox2", "", "", ""},
  {"l2", "QLabel", "GroupBox5", "Топик Last will", "", ""},
  {"cxte_WillTopic", "QLineEdit", "GroupBox5", "Will", "Топик для отправки сообщения при дисконнекте", ""},
  {"l13", "QLabel", "GroupBox5", "Сообщение", "", ""},
  {"cxte_WillPayload", "QLineEdit", "GroupBox5", "Will", "Сообщение для отправки сообщения при дисконнекте", ""},
  {"Label10", "QLabel", "GroupBox2", "Сообщение \"коннект активен\"", "", ""},
  {"e_con_act", "QLineEdit", "GroupBox2", "ping?MAC=DO3VEZEZO", "", ""},
  {"chbx_act", "QCheckBox", "GroupBox2", "подтверждать активность", "", "unticked"},
  {"chbx_reconnect", "QCheckBox", "GroupBox2", "разрешить реконнект", "Повторный коннект при обрыве связи", "unticked"},
  {"RetainBox", "QCheckBox", "GroupBox2", "Retain", "Сохранять сообщение у брокера", "unticked"},
  {"CleanBox2", "QCheckBox", "GroupBox2", "Clean Session", "\"Чистая\" сессия - брокер создает новую сессию", "unticked"},
  {"chbx_povtor", "QCheckBox", "GroupBox2", "Повтор", "Проверка и гашение сигнала такого же типа", "unticked"},
  {"cxrg_SubQoS", "vuvedid::RadioGroup", "GroupBox2", "Прием", kQoSHint, kQoS},
  {"cxrg_PubQoS", "vuvedid::RadioGroup", "GroupBox2", "Отправка", kQoSHint, kQoS},
  {"GroupBox4", "QGroupBox", "GroupBox3", "Плеер", "", ""},
  {"l10", "QLabel", "GroupBox4", "Музыка", "", ""},
  {"folder_m", "vuvedid::FileEdit", "GroupBox4", "", "", ""},
  {"l11", "QLabel", "GroupBox4", "Звуки", "", ""},
  {"folder_s", "vuvedid::FileEdit", "GroupBox4", "", "", ""},
  {"Label8", "QLabel", "GroupBox4", "Громкость фона по умолчанию", "", ""},
  {"vol_default", "vuvedid::SpinEdit", "GroupBox4", "60", "", "1..100"},
  {"btn_speak", "QToolButton", "GroupBox4", "", "Тест речевого синтезатора", "flat picture"},
  {"e_speak", "QLineEdit", "GroupBox4", "Hello", "Текст для речевого синтезатора", ""},
  {"chbx_shufle", "QCheckBox", "GroupBox4", "shufle", "", "unticked"},
  // MQTT debug tab
  {"btnConnect", "QToolButton", "TabSheet4", "Подключиться", "Подключить", "flat picture"},
  {"btnDisconnect", "QToolButton", "TabSheet4", "Отключиться", "Отключить", "flat picture"},
  {"btn_SUB", "QToolButton", "TabSheet4", "Подписаться", "Подписаться на топик в настройках", "flat picture"},
  {"GroupBox1", "QGroupBox", "TabSheet4", "Отладка", "", ""},
  {"btnPublish", "QToolButton", "GroupBox1", "Отправить команду", "Отправить в топик команду для плеера", "flat picture"},
  {"Commands", "QTableWidget", "GroupBox1", "", "", ""},
  {"Protokol", "QCheckBox", "GroupBox1", "Протокол", "", "ticked"},
  {"BitBtn2", "QToolButton", "GroupBox1", "", "", "raised picture"},
  {"M_protokol", "QPlainTextEdit", "GroupBox1", "", "", ""},
  {"cxchb_LogEnable", "QCheckBox", "GroupBox1", "Сис.лог", "", "ticked"},
  {"BitBtn1", "QToolButton", "GroupBox1", "", "", "raised picture"},
  {"memo2", "QPlainTextEdit", "GroupBox1", "", "", ""},
};
// clang-format on

// Named controls of the three visible pages (the window's own, not Qt's inner parts).
QList<QWidget*> namedControls(TForm_player& w) {
  QList<QWidget*> out;
  for (QWidget* page : {w.TabSheet1, w.TabSheet2, w.TabSheet4})
    for (QWidget* c : page->findChildren<QWidget*>())
      for (const ControlCase& k : kControls)
        if (c->objectName() == QLatin1String(k.name)) out << c;
  return out;
}

// Shows the window and each page once, so every control has been polished and laid out.
void showAllPages(TForm_player& w) {
  w.show();
  for (QWidget* page : {w.TabSheet1, w.TabSheet2, w.TabSheet4}) {
    w.PageControl1->setCurrentWidget(page);
    spin(5);
  }
}

}  // namespace

TEST(Window, EveryNamedControlHasItsKindDesignedValueAndPlace) {
  FormFixture f;
  TForm_player& w = f.form();
  for (const ControlCase& c : kControls) {
    SCOPED_TRACE(c.name);
    auto* widget = w.findChild<QWidget*>(QString::fromLatin1(c.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), c.kind);
    auto* container = w.findChild<QWidget*>(QString::fromLatin1(c.in));
    ASSERT_NE(container, nullptr);
    EXPECT_TRUE(container->isAncestorOf(widget)) << "not inside " << c.in;
    EXPECT_EQ(s(textOf(widget)), s(c.text));
    EXPECT_EQ(s(widget->toolTip()), s(c.hint));
    EXPECT_EQ(s(stateOf(widget)), s(c.state));
  }
}

TEST(Window, TabsTimersAndComponents) {
  FormFixture f;
  TForm_player& w = f.form();

  const struct {
    QWidget* page;
    const char* name;
    const char* caption;
    bool tabShown;
  } tabs[] = {
      {w.TabSheet1, "TabSheet1", "Плеер", true},
      {w.TabSheet2, "TabSheet2", "Настройки", true},
      {w.TabSheet4, "TabSheet4", "Отладка MQTT", true},
      {w.TabSheet3, "TabSheet3", "Диаграмма", false},
  };
  ASSERT_EQ(w.PageControl1->count(), 4);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(tabs[i].name);
    EXPECT_EQ(w.PageControl1->widget(i), tabs[i].page);
    EXPECT_EQ(tabs[i].page->objectName(), QLatin1String(tabs[i].name));
    EXPECT_EQ(s(w.PageControl1->tabText(i)), tabs[i].caption);
    EXPECT_EQ(w.PageControl1->isTabVisible(i), tabs[i].tabShown);
  }
  EXPECT_TRUE(w.TabSheet3->children().isEmpty());
  EXPECT_EQ(w.PageControl1->currentWidget(), w.TabSheet2);

  // The player's two timers belong to the room's background channel, the rest to the window.
  const struct {
    const char* name;
    int interval;
    const Timer* owned;  // the timer of the object that owns it
  } timers[] = {{"timer3", 1000, &w.room->background.timer3},
                {"Timer_playfone", 1000, &w.room->background.Timer_playfone},
                {"Timer_act", 20000, w.mqtt->Timer_act.get()},
                {"Timer_start1", 1000, w.mqtt->Timer_start1.get()},
                {"Timer_start2", 1000, w.mqtt->Timer_start2.get()}};
  for (const auto& t : timers) {
    SCOPED_TRACE(t.name);
    const Timer* timer = t.owned ? t.owned : w.findChild<Timer*>(QString::fromLatin1(t.name));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->objectName(), QLatin1String(t.name));
    EXPECT_EQ(timer->interval(), t.interval);
    EXPECT_FALSE(timer->enabled());
  }

  EXPECT_EQ(s(w.SaveDialog1.filter), "Текстовые файлы|*.txt|Все|*");
  EXPECT_EQ(s(w.SaveDialog1.defaultExt), "txt");

  ASSERT_EQ(w.JvTrayIcon1, w.findChild<QSystemTrayIcon*>(QStringLiteral("JvTrayIcon1")));
  EXPECT_EQ(s(w.JvTrayIcon1->toolTip()), "Vuvedid_m");
  EXPECT_FALSE(w.JvTrayIcon1->icon().isNull());
  EXPECT_FALSE(w.windowIcon().isNull());
}

TEST(Window, CommandGridHoldsTheTenExamples) {
  FormFixture f;
  showAllPages(f.form());
  QTableWidget* g = f.form().Commands;
  ASSERT_EQ(g->columnCount(), 2);
  ASSERT_EQ(g->rowCount(), 10);
  EXPECT_EQ(s(g->horizontalHeaderItem(0)->text()), "Команда");
  EXPECT_EQ(s(g->horizontalHeaderItem(1)->text()), "Описание");
  EXPECT_TRUE(g->verticalHeader()->isHidden());  // no row-number column
  const char* const rows[10][2] = {
      {"play:room1", "каталог фона"},       {"volume:30", "громкость фона"},
      {"next", "следующий трек фона"},      {"fx:30!insert.mp3", "громкость!файл сигнала"},
      {"reset", "остановить все звуки"},    {"pause", "пауза музыки фона"},
      {"resume", "продолжить музыку фона"}, {"cmdstr:", "выполнить команду"},
      {"shufle", "изменить порядок фона"},  {"speak:Hello", "для речевого синтезатора"},
  };
  for (int r = 0; r < 10; ++r)
    for (int c = 0; c < 2; ++c) {
      SCOPED_TRACE(rows[r][c]);
      ASSERT_NE(g->item(r, c), nullptr);
      EXPECT_EQ(s(g->item(r, c)->text()), rows[r][c]);
      EXPECT_TRUE(g->item(r, c)->flags() & Qt::ItemIsEditable);
    }
  EXPECT_LT(g->columnWidth(0), g->columnWidth(1));
  EXPECT_EQ(g->currentRow(), 0);
}

TEST(Window, FixedSizeFontsAndColours) {
  FormFixture f;
  TForm_player& w = f.form();
  showAllPages(w);
  EXPECT_EQ(w.size(), QSize(342, 585));
  EXPECT_EQ(w.minimumSize(), QSize(342, 585));
  EXPECT_EQ(w.maximumSize(), QSize(342, 585));
  EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(w.PageControl1->geometry(), w.rect());
  EXPECT_EQ(w.palette().color(QPalette::Window), w.palette().color(QPalette::Button));

  const struct {
    QWidget* control;
    int pixels;
    bool bold;
  } fonts[] = {
      {&w, 12, true},
      {w.Label4, 12, true},
      {w.eIP, 12, true},
      {w.btnConnect, 12, true},
      {w.l_volume, 16, true},
      {w.l_stoped, 16, true},
      {w.l_komnata, 13, true},
      {w.M_protokol, 11, false},
      {w.memo2, 11, false},
      {w.Commands, 11, true},
      {w.Commands->horizontalHeader(), 11, false},
  };
  for (const auto& c : fonts) {
    SCOPED_TRACE(s(c.control->objectName()));
    const QFontInfo info(c.control->font());
    EXPECT_EQ(info.family(), uiFontFamily());
    EXPECT_EQ(info.pixelSize(), c.pixels);
    EXPECT_EQ(info.bold(), c.bold);
  }
  EXPECT_EQ(w.l_stoped->palette().color(QPalette::WindowText), QColor(Qt::red));
  EXPECT_EQ(w.l_komnata->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  for (QPlainTextEdit* memo : {w.M_protokol, w.memo2}) {
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  }
}

// A caption wider or taller than its control is cut off on screen.
TEST(Window, NoCaptionIsClipped) {
  FormFixture f;
  TForm_player& w = f.form();
  showAllPages(w);
  for (QWidget* page : {w.TabSheet1, w.TabSheet2, w.TabSheet4})
    for (QWidget* c : page->findChildren<QWidget*>()) {
      const bool captioned = qobject_cast<QLabel*>(c) || qobject_cast<QCheckBox*>(c) ||
                             qobject_cast<QGroupBox*>(c) || qobject_cast<QRadioButton*>(c) ||
                             (qobject_cast<QAbstractButton*>(c) && !textOf(c).isEmpty());
      if (!captioned || c->isHidden()) continue;
      SCOPED_TRACE(s(c->objectName().isEmpty() ? textOf(c) : c->objectName()));
      const QSize need = qobject_cast<QGroupBox*>(c) ? c->minimumSizeHint() : c->sizeHint();
      EXPECT_LE(need.width(), c->width()) << s(textOf(c));
      EXPECT_LE(need.height(), c->height()) << s(textOf(c));
    }

  // The three tab captions fit side by side without eliding or scroll arrows.
  EXPECT_LE(w.PageControl1->tabBar()->sizeHint().width(), w.PageControl1->width());

  // Labels the player rewrites, at the longest text they take in use.
  const struct {
    QLabel* label;
    const char* text;
  } longest[] = {
      {w.l_volume, "100"},    // volume:100
      {w.l_stoped, "S"},      // shown while paused
      {w.l_numtrack, "999"},  // a large room folder
      {w.l_time, "9999"},     // seconds left of a long mix
  };
  for (const auto& l : longest) {
    l.label->setText(QString::fromLatin1(l.text));
    EXPECT_LE(l.label->sizeHint().width(), l.label->width()) << s(l.label->objectName());
  }
}

// Every visible control lies wholly inside its page, group or panel, and no two visible
// neighbours cover each other.
TEST(Window, EveryControlFitsWithoutOverlap) {
  FormFixture f;
  TForm_player& w = f.form();
  showAllPages(w);
  const QList<QWidget*> controls = namedControls(w);
  for (QWidget* c : controls) {
    if (c->isHidden()) continue;
    SCOPED_TRACE(s(c->objectName()));
    EXPECT_TRUE(c->parentWidget()->rect().contains(c->geometry()))
        << "outside " << s(c->parentWidget()->objectName());
    for (QWidget* other : controls) {
      if (other == c || other->isHidden() || other->parentWidget() != c->parentWidget()) continue;
      EXPECT_FALSE(c->geometry().intersects(other->geometry())) << s(other->objectName());
    }
  }
}

// Minimizing hides the window into the tray only where a tray exists to bring it back;
// a click on the tray icon restores it either way.
TEST(Window, MinimizeKeepsTheWindowReachable) {
  FormFixture f;
  TForm_player& w = f.form();
  w.show();
  w.JvTrayIcon1->show();  // as the program does from its start
  auto restored = [&] { return w.isVisible() && !(w.windowState() & Qt::WindowMinimized); };
  w.setWindowState(Qt::WindowMinimized);
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    EXPECT_TRUE(waitFor([&] { return w.isHidden(); }, 2000));
    spin(300);  // let a window manager finish the minimize before the click
  } else {
    spin(30);
    EXPECT_TRUE(w.isVisible()) << "minimized without a tray: nothing could bring it back";
  }
  w.JvTrayIcon1Click();
  EXPECT_TRUE(waitFor(restored, 2000));

  // Hidden to the tray (as on a desktop with one): the click brings it back as well.
  w.setWindowState(Qt::WindowMinimized);
  w.hide();
  spin(300);
  w.JvTrayIcon1Click();
  EXPECT_TRUE(waitFor(restored, 2000));
}

// On a desktop with a notification area: a message box closed while the window sits in
// the tray (it is then the last visible window) must not end the program.
TEST(Window, BoxClosedWhileInTheTrayDoesNotEndTheProgram) {
  if (!QSystemTrayIcon::isSystemTrayAvailable())
    GTEST_SKIP() << "needs a notification area, e.g. Xvfb with trayer and a window manager";
  const bool quitBefore = QApplication::quitOnLastWindowClosed();
  QApplication::setQuitOnLastWindowClosed(true);  // as the program runs
  {
    FormFixture f;
    TForm_player& w = f.form();
    w.show();
    w.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(waitFor([&] { return w.isHidden(); }, 2000));

    // The application's own loop, as in the program: only there does the last window's
    // close quit, which would end it early with 0.
    QTimer::singleShot(0, [] {
      QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), QStringLiteral("x"),
                      QMessageBox::Ok);
      QTimer::singleShot(100, &box, &QDialog::accept);
      box.exec();
    });
    QTimer::singleShot(600, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QApplication::exec(), 7) << "closing the box ended the program";
    spin(300);

    w.JvTrayIcon1Click();
    EXPECT_TRUE(waitFor([&] { return w.isVisible(); }, 2000));
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed()) << "closing the window must end it again";
  }
  QApplication::setQuitOnLastWindowClosed(quitBefore);
}
