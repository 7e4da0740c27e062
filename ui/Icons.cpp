#include "ui/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace vuvedid::icons {

namespace {

// Every picture is drawn on a 100 x 100 canvas and scaled to each size, so small buttons
// and a large tray both get crisp edges instead of a resampled bitmap.
using Drawing = std::function<void(QPainter&)>;

QIcon paint(const Drawing& draw) {
  QIcon icon;
  for (int size : {16, 20, 24, 32, 48, 64, 128, 256}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 100.0, size / 100.0);
    draw(p);
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

const QColor kGreen(0x1e, 0x8c, 0x2a);
const QColor kBlue(0x1f, 0x52, 0xa8);
const QColor kRed(0xbf, 0x22, 0x22);
const QColor kDark(0x2c, 0x34, 0x40);

QPen outline(const QColor& c, qreal width = 5) {
  QPen pen(c.darker(150), width);
  pen.setJoinStyle(Qt::RoundJoin);
  pen.setCapStyle(Qt::RoundCap);
  return pen;
}

void drawArrowDown(QPainter& p, qreal cx, qreal top, qreal bottom, const QColor& c) {
  const qreal head = (bottom - top) * 0.45;
  QPolygonF arrow{{cx - 7, top},
                  {cx + 7, top},
                  {cx + 7, bottom - head},
                  {cx + 20, bottom - head},
                  {cx, bottom},
                  {cx - 20, bottom - head},
                  {cx - 7, bottom - head}};
  p.setPen(outline(c, 4));
  p.setBrush(c);
  p.drawPolygon(arrow);
}

void drawTray(QPainter& p, const QColor& c) {
  QPen pen(c, 9);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(QPolygonF{{12, 62}, {12, 88}, {88, 88}, {88, 62}});
}

// A plug (left) and a socket (right) drawn from the link's centre outwards; gap widens
// the break for the disconnected picture.
void drawLink(QPainter& p, const QColor& c, qreal gap) {
  const qreal half = gap / 2;
  QPen cable(c.darker(130), 10);
  cable.setCapStyle(Qt::RoundCap);
  p.setPen(cable);
  p.drawLine(QLineF(6, 50, 16 - half, 50));
  p.drawLine(QLineF(84 + half, 50, 94, 50));
  p.setPen(outline(c, 4));
  p.setBrush(c);
  p.drawRoundedRect(QRectF(14 - half, 26, 26, 48), 6, 6);  // plug body
  p.drawRoundedRect(QRectF(60 + half, 26, 26, 48), 6, 6);  // socket body
  p.drawRect(QRectF(40 - half, 34, 14, 9));                // upper prong
  p.drawRect(QRectF(40 - half, 57, 14, 9));                // lower prong
}

}  // namespace

QIcon play() {
  return paint([](QPainter& p) {
    p.setPen(outline(kGreen));
    p.setBrush(kGreen);
    p.drawPolygon(QPolygonF{{26, 14}, {86, 50}, {26, 86}});
  });
}

QIcon pause() {
  return paint([](QPainter& p) {
    p.setPen(outline(kBlue));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(20, 16, 22, 68), 4, 4);
    p.drawRoundedRect(QRectF(58, 16, 22, 68), 4, 4);
  });
}

QIcon stop() {
  return paint([](QPainter& p) {
    p.setPen(outline(kRed));
    p.setBrush(kRed);
    p.drawRoundedRect(QRectF(20, 20, 60, 60), 5, 5);
  });
}

QIcon save() {
  return paint([](QPainter& p) {
    p.setPen(outline(kBlue, 4));
    p.setBrush(kBlue);
    QPainterPath body;
    body.moveTo(10, 10);
    body.lineTo(76, 10);
    body.lineTo(90, 24);
    body.lineTo(90, 90);
    body.lineTo(10, 90);
    body.closeSubpath();
    p.drawPath(body);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd4, 0xd8, 0xe0));
    p.drawRect(QRectF(26, 10, 44, 28));  // metal shutter
    p.setBrush(kBlue.darker(130));
    p.drawRect(QRectF(54, 15, 10, 18));  // its window
    p.setBrush(Qt::white);
    p.drawRect(QRectF(20, 52, 60, 38));  // label
    p.setPen(QPen(QColor(0x90, 0x98, 0xa8), 4));
    p.drawLine(QLineF(28, 64, 72, 64));
    p.drawLine(QLineF(28, 76, 72, 76));
  });
}

QIcon saveFolder() {
  return paint([](QPainter& p) {
    const QColor folder(0xe8, 0xb4, 0x3c);
    p.setPen(outline(folder, 4));
    p.setBrush(folder.darker(112));
    p.drawPolygon(QPolygonF{{8, 40}, {8, 30}, {36, 30}, {44, 40}});  // tab
    p.setBrush(folder);
    p.drawRoundedRect(QRectF(8, 40, 84, 50), 4, 4);
    drawArrowDown(p, 50, 6, 76, kGreen);
  });
}

QIcon speak() {
  return paint([](QPainter& p) {
    p.setPen(outline(kBlue, 5));
    p.setBrush(Qt::white);
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(8, 12, 84, 58), 14, 14);
    QPainterPath tail;
    tail.addPolygon(QPolygonF{{26, 64}, {22, 92}, {50, 68}});
    p.drawPath(bubble.united(tail));
    QPen lines(kBlue, 7);
    lines.setCapStyle(Qt::RoundCap);
    p.setPen(lines);
    p.drawLine(QLineF(24, 32, 76, 32));
    p.drawLine(QLineF(24, 50, 62, 50));
  });
}

QIcon connect() {
  return paint([](QPainter& p) { drawLink(p, kGreen, 0); });
}

QIcon disconnect() {
  return paint([](QPainter& p) {
    drawLink(p, kRed, 12);
    QPen spark(QColor(0xe8, 0xa0, 0x10), 5);
    spark.setCapStyle(Qt::RoundCap);
    p.setPen(spark);
    p.drawLine(QLineF(50, 4, 50, 20));
    p.drawLine(QLineF(50, 80, 50, 96));
    p.drawLine(QLineF(36, 8, 42, 20));
    p.drawLine(QLineF(64, 92, 58, 80));
  });
}

QIcon subscribe() {
  return paint([](QPainter& p) {
    drawTray(p, kDark);
    drawArrowDown(p, 50, 6, 76, kGreen);
  });
}

QIcon publish() {
  return paint([](QPainter& p) {
    p.setPen(outline(kBlue, 4));
    p.setBrush(kBlue.lighter(130));
    p.drawPolygon(QPolygonF{{6, 46}, {94, 10}, {64, 90}, {46, 60}});
    p.setBrush(kBlue);
    p.drawPolygon(QPolygonF{{46, 60}, {94, 10}, {50, 84}});
  });
}

QIcon application() {
  return paint([](QPainter& p) {
    p.setPen(outline(kDark, 4));
    p.setBrush(kDark);
    p.drawRect(QRectF(8, 36, 18, 28));
    p.drawPolygon(QPolygonF{{26, 36}, {52, 12}, {52, 88}, {26, 64}});
    QPen wave(kBlue, 8);
    wave.setCapStyle(Qt::RoundCap);
    p.setPen(wave);
    p.setBrush(Qt::NoBrush);
    // Two arcs around the cone's mouth, 60 degrees either side of the horizontal.
    p.drawArc(QRectF(44, 32, 36, 36), -55 * 16, 110 * 16);
    p.drawArc(QRectF(30, 18, 60, 64), -55 * 16, 110 * 16);
  });
}

}  // namespace vuvedid::icons
