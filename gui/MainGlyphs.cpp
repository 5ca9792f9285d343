#include "gui/MainGlyphs.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace quillon {

namespace {

constexpr int kGlyph = 20;

QPixmap Canvas(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  return pm;
}

// A page printer drawn into a square of side s at the painter's origin.
void DrawPrinter(QPainter& p, qreal s) {
  p.save();
  p.scale(s / 32.0, s / 32.0);
  p.setRenderHint(QPainter::Antialiasing);
  // Paper in the feeder.
  p.setPen(QPen(QColor(120, 120, 120), 1));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(8.5, 2.5, 15, 11));
  p.setPen(QPen(QColor(170, 170, 170), 1));
  p.drawLine(QPointF(11, 6), QPointF(21, 6));
  p.drawLine(QPointF(11, 9), QPointF(19, 9));
  // Body.
  QLinearGradient body(0, 11, 0, 27);
  body.setColorAt(0, QColor(236, 236, 240));
  body.setColorAt(1, QColor(168, 170, 178));
  p.setPen(QPen(QColor(70, 72, 80), 1.2));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(2.5, 11.5, 27, 15), 2.5, 2.5);
  // Output slot and tray.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 62, 70));
  p.drawRect(QRectF(7, 20, 18, 2));
  p.setBrush(Qt::white);
  p.setPen(QPen(QColor(120, 120, 120), 1));
  p.drawRect(QRectF(8.5, 22.5, 15, 6));
  // Panel lamp.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 190, 70));
  p.drawEllipse(QPointF(25.5, 15.5), 1.6, 1.6);
  p.restore();
}

QPainterPath DownArrow(qreal cx, qreal top, qreal w, qreal h) {
  QPainterPath a;
  const qreal stem = w * 0.42;
  const qreal headTop = top + h * 0.5;
  a.moveTo(cx - stem / 2, top);
  a.lineTo(cx + stem / 2, top);
  a.lineTo(cx + stem / 2, headTop);
  a.lineTo(cx + w / 2, headTop);
  a.lineTo(cx, top + h);
  a.lineTo(cx - w / 2, headTop);
  a.lineTo(cx - stem / 2, headTop);
  a.closeSubpath();
  return a;
}

}  // namespace

QIcon OpenFileGlyph() {
  QPixmap pm = Canvas(kGlyph);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(150, 110, 20), 1));
  p.setBrush(QColor(240, 200, 90));
  QPainterPath back;
  back.moveTo(1.5, 4.5);
  back.lineTo(7.5, 4.5);
  back.lineTo(9.5, 6.5);
  back.lineTo(16.5, 6.5);
  back.lineTo(16.5, 16.5);
  back.lineTo(1.5, 16.5);
  back.closeSubpath();
  p.drawPath(back);
  p.setBrush(QColor(252, 222, 120));
  QPainterPath flap;
  flap.moveTo(1.5, 16.5);
  flap.lineTo(4.5, 9.5);
  flap.lineTo(19.0, 9.5);
  flap.lineTo(16.5, 16.5);
  flap.closeSubpath();
  p.drawPath(flap);
  return QIcon(pm);
}

QIcon DownloadGlyph() {
  QPixmap pm = Canvas(kGlyph);
  QPainter p(&pm);
  DrawPrinter(p, kGlyph);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(20, 60, 140), 0.8));
  p.setBrush(QColor(40, 110, 220));
  p.drawPath(DownArrow(10, 0, 10, 11));
  return QIcon(pm);
}

QIcon RefreshGlyph() {
  QPixmap pm = Canvas(kGlyph);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor green(30, 150, 60);
  p.setPen(QPen(green, 2.2, Qt::SolidLine, Qt::FlatCap));
  p.setBrush(Qt::NoBrush);
  const QRectF ring(3.5, 3.5, 13, 13);
  p.drawArc(ring, 30 * 16, 150 * 16);
  p.drawArc(ring, 210 * 16, 150 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(green);
  QPainterPath h1;  // head at the end of the upper arc (left side)
  h1.moveTo(0.5, 8.5);
  h1.lineTo(7.0, 8.5);
  h1.lineTo(3.8, 12.8);
  h1.closeSubpath();
  p.drawPath(h1);
  QPainterPath h2;  // head at the end of the lower arc (right side)
  h2.moveTo(19.5, 11.5);
  h2.lineTo(13.0, 11.5);
  h2.lineTo(16.2, 7.2);
  h2.closeSubpath();
  p.drawPath(h2);
  return QIcon(pm);
}

QIcon VersionGlyph() {
  QPixmap pm = Canvas(kGlyph);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient g(QPointF(8, 7), 10);
  g.setColorAt(0, QColor(110, 170, 250));
  g.setColorAt(1, QColor(30, 80, 190));
  p.setPen(QPen(QColor(20, 50, 130), 1));
  p.setBrush(g);
  p.drawEllipse(QRectF(1.5, 1.5, 17, 17));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(10, 5.8), 1.6, 1.6);
  p.drawRoundedRect(QRectF(8.6, 8.5, 2.8, 7.5), 1, 1);
  return QIcon(pm);
}

QPixmap GenericPrinterPixmap() {
  QPixmap pm = Canvas(32);
  QPainter p(&pm);
  DrawPrinter(p, 32);
  return pm;
}

QPixmap ProgramIconPixmap(int size) {
  QPixmap pm = Canvas(size);
  QPainter p(&pm);
  DrawPrinter(p, size);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  p.setPen(QPen(QColor(20, 60, 140), 1));
  p.setBrush(QColor(40, 110, 220));
  p.drawPath(DownArrow(16, 0, 14, 15));
  return pm;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64}) icon.addPixmap(ProgramIconPixmap(size));
  return icon;
}

QIcon UntintedIcon(const QPixmap& image) {
  QIcon icon(image);
  icon.addPixmap(image, QIcon::Selected);
  return icon;
}

QPixmap GhostedPixmap(const QPixmap& image) {
  QPixmap out(image.size());
  out.fill(Qt::transparent);
  QPainter p(&out);
  p.setOpacity(0.35);
  p.drawPixmap(0, 0, image);
  return out;
}

}  // namespace quillon
