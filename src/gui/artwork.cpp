// SPDX-License-Identifier: GPL-3.0-or-later
#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <array>
#include <functional>
#include <map>

namespace nyra::gui::art {

namespace {

// One palette for every picture.
const QColor kOutline(0x1F, 0x3F, 0x6E);
const QColor kBlue(0x3C, 0x6F, 0xB8);
const QColor kLightBlue(0xDD, 0xE9, 0xF8);
const QColor kChipBody(0x33, 0x38, 0x3F);
const QColor kLeg(0xB8, 0xBE, 0xC6);
const QColor kGreen(0x2E, 0x9E, 0x4A);
const QColor kRed(0xD1, 0x3B, 0x2E);
const QColor kAmber(0xF0, 0xA8, 0x30);
const QColor kWhite(0xFF, 0xFF, 0xFF);
const QColor kPaper(0xFB, 0xFC, 0xFE);

QPen outlinePen(qreal width = 1.0, QColor colour = kOutline) {
    QPen pen(colour, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// A small IC seen from above, legs left and right.
void drawChip(QPainter& p, const QRectF& body, QColor fill = kChipBody) {
    const int legs = body.height() >= 8 ? 3 : 2;
    const qreal step = body.height() / legs;
    const qreal legLength = std::max(1.2, body.width() * 0.14);
    p.setPen(Qt::NoPen);
    p.setBrush(kLeg);
    for (int i = 0; i < legs; ++i) {
        const qreal y = body.top() + step * (i + 0.5) - step * 0.22;
        p.drawRect(QRectF(body.left() - legLength, y, legLength, step * 0.44));
        p.drawRect(QRectF(body.right(), y, legLength, step * 0.44));
    }
    p.setPen(outlinePen(0.8, kChipBody.darker(150)));
    p.setBrush(fill);
    p.drawRoundedRect(body, 1, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(fill == kChipBody ? kLeg : kOutline);
    const qreal dot = std::max(1.0, body.width() * 0.14);
    p.drawEllipse(QRectF(body.left() + dot * 0.6, body.top() + dot * 0.6, dot, dot));
}

void drawDocument(QPainter& p, const QRectF& r) {
    const qreal fold = r.width() * 0.3;
    QPainterPath page;
    page.moveTo(r.topLeft());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.bottomRight());
    page.lineTo(r.bottomLeft());
    page.closeSubpath();
    p.setPen(outlinePen(0.9));
    p.setBrush(kPaper);
    p.drawPath(page);
    p.setBrush(kLightBlue);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.drawPath(corner);
    p.setPen(outlinePen(0.7, kBlue.lighter(130)));
    for (qreal y = r.top() + fold + 1.5; y < r.bottom() - 1; y += 2.0) {
        p.drawLine(QPointF(r.left() + 1.8, y), QPointF(r.right() - 1.8, y));
    }
}

void drawArrow(QPainter& p, QPointF from, QPointF to, QColor colour, qreal width = 2.0) {
    const QLineF line(from, to);
    const qreal head = width * 2.1;
    QLineF shaft = line;
    shaft.setLength(std::max<qreal>(0, line.length() - head * 0.8));
    p.setPen(outlinePen(width, colour));
    p.drawLine(shaft);
    QLineF back(to, from);
    back.setLength(head);
    QLineF left = back;
    left.setAngle(back.angle() + 35);
    QLineF right = back;
    right.setAngle(back.angle() - 35);
    p.setPen(outlinePen(0.6, colour.darker(130)));
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({to, left.p2(), right.p2()}));
}

void drawCheck(QPainter& p, QPointF a, QPointF b, QPointF c, qreal width = 2.2) {
    p.setBrush(Qt::NoBrush);
    p.setPen(outlinePen(width + 1.4, kWhite));
    p.drawPolyline(QPolygonF({a, b, c}));
    p.setPen(outlinePen(width, kGreen));
    p.drawPolyline(QPolygonF({a, b, c}));
}

void drawMagnifier(QPainter& p, QPointF centre, qreal radius) {
    const QPointF offset(radius * 0.72, radius * 0.72);
    p.setPen(outlinePen(radius * 0.55, kChipBody));
    p.drawLine(centre + offset, centre + offset * 2.0);
    p.setPen(outlinePen(radius * 0.3));
    p.setBrush(QColor(0xBF, 0xDD, 0xF7, 220));
    p.drawEllipse(centre, radius, radius);
    p.setPen(outlinePen(radius * 0.18, kWhite));
    p.drawArc(
        QRectF(centre.x() - radius * 0.6, centre.y() - radius * 0.6, radius * 1.2, radius * 1.2),
        100 * 16, 70 * 16);
}

void drawDisk(QPainter& p, const QRectF& r) {
    p.setPen(outlinePen(0.9));
    p.setBrush(kBlue);
    p.drawRoundedRect(r, 1.2, 1.2);
    p.setBrush(kWhite);
    p.setPen(outlinePen(0.6, kBlue.darker(140)));
    p.drawRect(QRectF(r.left() + r.width() * 0.2, r.top(), r.width() * 0.6, r.height() * 0.4));
    p.setBrush(QColor(0xC8, 0xCE, 0xD6));
    p.drawRect(QRectF(r.left() + r.width() * 0.28, r.bottom() - r.height() * 0.33, r.width() * 0.44,
                      r.height() * 0.33));
}

void drawFolder(QPainter& p, const QRectF& r) {
    p.setPen(outlinePen(0.9, QColor(0x9A, 0x6B, 0x12)));
    p.setBrush(QColor(0xE8, 0xB6, 0x4A));
    QPainterPath back;
    back.moveTo(r.left(), r.bottom());
    back.lineTo(r.left(), r.top() + 1);
    back.lineTo(r.left() + r.width() * 0.35, r.top() + 1);
    back.lineTo(r.left() + r.width() * 0.45, r.top() + 2.5);
    back.lineTo(r.right() - 2, r.top() + 2.5);
    back.lineTo(r.right() - 2, r.bottom());
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(QColor(0xF8, 0xD7, 0x7A));
    p.drawPolygon(
        QPolygonF({QPointF(r.left(), r.bottom()), QPointF(r.left() + 2.5, r.top() + 5.5),
                   QPointF(r.right(), r.top() + 5.5), QPointF(r.right() - 2.5, r.bottom())}));
}

void drawPencil(QPainter& p, QPointF tip, QPointF end) {
    QLineF axis(tip, end);
    const qreal angle = axis.angle();
    p.save();
    p.translate(tip);
    p.rotate(-angle);
    const qreal length = axis.length();
    p.setPen(outlinePen(0.7));
    p.setBrush(QColor(0xF5, 0xD0, 0x8A));
    p.drawPolygon(QPolygonF({QPointF(0, 0), QPointF(3, -1.6), QPointF(3, 1.6)}));
    p.setBrush(kAmber);
    p.drawRect(QRectF(3, -1.6, length - 5, 3.2));
    p.setBrush(QColor(0xE0, 0x7A, 0x8E));
    p.drawRect(QRectF(length - 2, -1.6, 2, 3.2));
    p.setPen(Qt::NoPen);
    p.setBrush(kChipBody);
    p.drawEllipse(QPointF(0.6, 0), 0.7, 0.7);
    p.restore();
}

void drawBucket(QPainter& p, QPointF origin) {
    p.save();
    p.translate(origin);
    p.setPen(outlinePen(0.8));
    p.setBrush(QColor(0xD8, 0xDE, 0xE6));
    p.drawPolygon(QPolygonF({QPointF(0, 2), QPointF(4.5, 0), QPointF(7, 4.8), QPointF(2.4, 7)}));
    p.setPen(outlinePen(0.7));
    p.setBrush(kAmber);
    QPainterPath drop;
    drop.moveTo(6.2, 3.8);
    drop.cubicTo(8.5, 6.5, 8.5, 8.5, 7.2, 8.8);
    drop.cubicTo(6.0, 9.0, 5.6, 7.2, 6.2, 3.8);
    p.drawPath(drop);
    p.restore();
}

void drawTag(QPainter& p, QPointF centre, qreal radius, QColor fill) {
    p.setPen(outlinePen(0.8, fill.darker(150)));
    p.setBrush(fill);
    p.drawEllipse(centre, radius, radius);
}

using Glyph = std::function<void(QPainter&)>;

const std::map<int, Glyph>& glyphs() {
    static const std::map<int, Glyph> table = {
        {171,  // about
         [](QPainter& p) {
             drawTag(p, {8, 8}, 6.8, kBlue);
             p.setPen(Qt::NoPen);
             p.setBrush(kWhite);
             p.drawEllipse(QPointF(8, 4.6), 1.3, 1.3);
             p.drawRoundedRect(QRectF(6.9, 6.8, 2.2, 6), 0.6, 0.6);
         }},
        {173,  // auto program
         [](QPainter& p) {
             drawChip(p, {2.5, 1.5, 8, 9});
             p.setPen(outlinePen(0.9, kWhite));
             p.setBrush(kGreen);
             p.drawPolygon(QPolygonF({QPointF(8, 7.5), QPointF(15.5, 11.5), QPointF(8, 15.5)}));
         }},
        {172,  // verify
         [](QPainter& p) {
             drawDocument(p, {2, 1, 10, 13.5});
             drawCheck(p, {6, 9.5}, {8.8, 12.5}, {14.5, 5});
         }},
        {175,  // erase
         [](QPainter& p) {
             p.save();
             p.translate(8, 8.5);
             p.rotate(-35);
             p.setPen(outlinePen(0.9));
             p.setBrush(kWhite);
             p.drawRect(QRectF(-6.5, -3, 4.5, 6));
             p.setBrush(QColor(0xE0, 0x60, 0x7E));
             p.drawRect(QRectF(-2, -3, 8.5, 6));
             p.restore();
             p.setPen(outlinePen(1.0, QColor(0x90, 0x98, 0xA4)));
             p.drawLine(QPointF(1.5, 15), QPointF(14.5, 15));
         }},
        {176,  // detect chip
         [](QPainter& p) {
             drawChip(p, {2, 1.5, 8, 9});
             drawMagnifier(p, {10.2, 10.2}, 3.4);
         }},
        {177,  // program
         [](QPainter& p) {
             drawChip(p, {4, 8, 8, 7});
             drawArrow(p, {8, 0.5}, {8, 8.5}, kRed, 2.0);
         }},
        {186,  // read
         [](QPainter& p) {
             drawChip(p, {4, 8, 8, 7});
             drawArrow(p, {8, 9}, {8, 0.6}, kGreen, 2.0);
         }},
        {178,  // blank check
         [](QPainter& p) {
             drawChip(p, {3.5, 2.5, 9, 11}, kPaper);
             p.setBrush(Qt::NoBrush);
             p.setPen(outlinePen(1.1, kBlue));
             p.drawEllipse(QPointF(8, 8.3), 2.6, 2.6);
             p.drawLine(QPointF(5.6, 10.9), QPointF(10.4, 5.7));
         }},
        {179,  // exit
         [](QPainter& p) {
             p.setPen(outlinePen(0.9, QColor(0x5E, 0x3B, 0x17)));
             p.setBrush(QColor(0xA8, 0x72, 0x3A));
             p.drawRect(QRectF(1.5, 1, 8, 14));
             p.setPen(Qt::NoPen);
             p.setBrush(kAmber);
             p.drawEllipse(QPointF(7.8, 8.5), 0.9, 0.9);
             drawArrow(p, {7.5, 8}, {15.5, 8}, kRed, 2.0);
         }},
        {180,  // chip fill
         [](QPainter& p) {
             drawChip(p, {2, 6, 8, 9});
             drawBucket(p, {7.5, 0.5});
         }},
        {181,  // file fill
         [](QPainter& p) {
             drawDocument(p, {1, 2.5, 9, 12.5});
             drawBucket(p, {7.5, 0.5});
         }},
        {182,  // firmware version
         [](QPainter& p) {
             drawChip(p, {2, 5, 8, 9.5});
             drawTag(p, {11.5, 4.5}, 4.2, kBlue);
             p.setPen(outlinePen(1.3, kWhite));
             p.drawPolyline(QPolygonF({QPointF(9.8, 2.6), QPointF(11.5, 6.6), QPointF(13.2, 2.6)}));
         }},
        {184,  // data view
         [](QPainter& p) {
             const QRectF table(1, 2, 14, 12);
             p.setPen(outlinePen(0.9));
             p.setBrush(kPaper);
             p.drawRect(table);
             p.setPen(Qt::NoPen);
             p.setBrush(kBlue);
             p.drawRect(QRectF(1.5, 2.5, 13, 3));
             p.setPen(outlinePen(0.6, kBlue.lighter(120)));
             for (qreal x = 5.7; x < 15; x += 4.7)
                 p.drawLine(QPointF(x, 5.5), QPointF(x, 13.5));
             for (qreal y = 8.5; y < 14; y += 3)
                 p.drawLine(QPointF(1.5, y), QPointF(14.5, y));
         }},
        {185,  // open
         [](QPainter& p) {
             drawFolder(p, {1, 2.5, 14, 11.5});
         }},
        {187,  // save as
         [](QPainter& p) {
             drawDisk(p, {1, 1, 11, 11});
             drawPencil(p, {8, 14.5}, {15.5, 6.5});
         }},
        {195,  // save
         [](QPainter& p) {
             drawDisk(p, {1.5, 1.5, 13, 13});
         }},
        {188,  // edit mode off
         [](QPainter& p) {
             drawPencil(p, {2.5, 13.5}, {14, 2});
             p.setPen(outlinePen(0.9, QColor(0x90, 0x98, 0xA4)));
             p.drawLine(QPointF(1.5, 15), QPointF(9, 15));
         }},
        {189,  // edit mode on
         [](QPainter& p) {
             drawPencil(p, {2.5, 12}, {13, 1.5});
             drawCheck(p, {8, 12}, {10.5, 14.8}, {15.3, 8.5}, 2.0);
         }},
        {198,  // go to address
         [](QPainter& p) {
             p.setPen(outlinePen(1.0, kRed));
             p.setBrush(kWhite);
             p.drawEllipse(QPointF(10.5, 10.5), 4.5, 4.5);
             p.setBrush(kRed);
             p.drawEllipse(QPointF(10.5, 10.5), 1.6, 1.6);
             drawArrow(p, {1.2, 1.2}, {9, 9}, kBlue, 1.8);
         }},
        {201,  // firmware upgrade
         [](QPainter& p) {
             p.setPen(outlinePen(0.9, QColor(0x1B, 0x5E, 0x2C)));
             p.setBrush(QColor(0x3E, 0x9B, 0x55));
             p.drawRoundedRect(QRectF(0.8, 6, 11, 9), 1, 1);
             p.setPen(outlinePen(0.7, QColor(0xE8, 0xC5, 0x6A)));
             p.drawLine(QPointF(2.5, 9), QPointF(6, 9));
             p.drawLine(QPointF(6, 9), QPointF(7.5, 12.5));
             p.drawLine(QPointF(2.5, 12.5), QPointF(5, 12.5));
             drawArrow(p, {12.5, 15.5}, {12.5, 0.8}, kAmber, 2.2);
         }},
        {213,  // find
         [](QPainter& p) {
             drawMagnifier(p, {6.5, 6.5}, 4.6);
         }},
    };
    return table;
}

QImage blankImage(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void fillPictureBackground(QPainter& p, QSize size) {
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, kWhite);
    gradient.setColorAt(1, kLightBlue);
    p.setPen(outlinePen(1.0, QColor(0x99, 0xB4, 0xDA)));
    p.setBrush(gradient);
    p.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 4, 4);
}

struct Pinout {
    const char* title;
    std::array<const char*, 8> pins;  // pin 1 to pin 8
};

Pinout pinoutOf(PinoutPicture which) {
    switch (which) {
        case PinoutPicture::Spi:
            return {"SPI", {"CS", "SO", "WP", "GND", "SI", "SCK", "HOLD", "VCC"}};
        case PinoutPicture::I2c:
            return {"I2C", {"A0", "A1", "A2", "GND", "SDA", "SCL", "WP", "VCC"}};
        case PinoutPicture::I2cModeWc:
            return {"I2C", {"A0", "A1", "A2", "GND", "SDA", "SCL", "M/W", "VCC"}};
        case PinoutPicture::Microwire:
            return {"Microwire", {"CS", "SK", "DI", "DO", "GND", "ORG", "NC", "VCC"}};
        case PinoutPicture::MicrowireRotated:
            return {"Microwire", {"NC", "VCC", "CS", "SK", "DI", "DO", "GND", "ORG"}};
        case PinoutPicture::SclSda:
            return {"SCL/SDA", {"NC", "NC", "NC", "GND", "SDA", "SCL", "NC", "VCC"}};
    }
    return {"", {}};
}

QFont pictureFont(int pixelSize, bool bold = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace

bool hasMenuGlyph(int bitmap) {
    return glyphs().contains(bitmap);
}

QImage menuGlyph(int bitmap, int size) {
    QImage image = blankImage({size, size});
    const auto found = glyphs().find(bitmap);
    if (found == glyphs().end())
        return image;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    found->second(p);
    return image;
}

QIcon menuIcon(int bitmap) {
    QIcon icon;
    if (!hasMenuGlyph(bitmap))
        return icon;
    for (int size : {16, 24, 32, 48})
        icon.addPixmap(QPixmap::fromImage(menuGlyph(bitmap, size)));
    return icon;
}

QImage applicationImage(int size) {
    QImage image = blankImage({size, size});
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    // Eight silver legs, a dark body with a blue sheen, the notch and pin 1.
    p.setPen(outlinePen(1.0, QColor(0x7A, 0x82, 0x8C)));
    p.setBrush(QColor(0xD4, 0xD9, 0xE0));
    for (int i = 0; i < 4; ++i) {
        const qreal y = 12 + i * 11.5;
        p.drawRoundedRect(QRectF(3, y, 12, 6), 1.5, 1.5);
        p.drawRoundedRect(QRectF(49, y, 12, 6), 1.5, 1.5);
    }
    QLinearGradient body(0, 4, 0, 60);
    body.setColorAt(0, QColor(0x4A, 0x5A, 0x72));
    body.setColorAt(1, QColor(0x1C, 0x22, 0x2C));
    p.setPen(outlinePen(1.5, QColor(0x10, 0x14, 0x1A)));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(12, 4, 40, 56), 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x14, 0x1A));
    p.drawChord(QRectF(26, -2, 12, 12), 180 * 16, 180 * 16);
    p.setBrush(QColor(0x6F, 0xA8, 0xEA));
    p.drawEllipse(QPointF(20, 14), 3, 3);
    p.setPen(outlinePen(2.2, QColor(0x6F, 0xA8, 0xEA)));
    p.drawLine(QPointF(22, 44), QPointF(42, 44));
    p.drawLine(QPointF(22, 50), QPointF(34, 50));
    return image;
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        icon.addPixmap(QPixmap::fromImage(applicationImage(size)));
    }
    return icon;
}

QPixmap pinoutPicture(PinoutPicture which) {
    const Pinout pinout = pinoutOf(which);
    QImage image = blankImage(kPinoutSize);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    fillPictureBackground(p, kPinoutSize);

    p.setPen(kOutline);
    p.setFont(pictureFont(11, true));
    p.drawText(QRectF(0, 2, kPinoutSize.width(), 14), Qt::AlignCenter, pinout.title);

    const QRectF body(66, 20, 43, 82);
    const qreal pitch = body.height() / 4;
    p.setFont(pictureFont(10));
    for (int i = 0; i < 4; ++i) {
        const qreal y = body.top() + pitch * (i + 0.5);
        // Pins 1..4 down the left side, 8..5 down the right side.
        p.setPen(outlinePen(0.8, QColor(0x7A, 0x82, 0x8C)));
        p.setBrush(kLeg);
        p.drawRect(QRectF(body.left() - 9, y - 3, 9, 6));
        p.drawRect(QRectF(body.right(), y - 3, 9, 6));
        p.setPen(kOutline);
        p.drawText(QRectF(2, y - 7, body.left() - 13, 14), Qt::AlignRight | Qt::AlignVCenter,
                   pinout.pins[static_cast<std::size_t>(i)]);
        p.drawText(QRectF(body.right() + 12, y - 7, kPinoutSize.width() - body.right() - 14, 14),
                   Qt::AlignLeft | Qt::AlignVCenter, pinout.pins[static_cast<std::size_t>(7 - i)]);
        p.setPen(kLeg);
        p.setFont(pictureFont(8));
        p.drawText(QRectF(body.left() + 2, y - 6, 12, 12), Qt::AlignCenter, QString::number(i + 1));
        p.drawText(QRectF(body.right() - 14, y - 6, 12, 12), Qt::AlignCenter,
                   QString::number(8 - i));
        p.setFont(pictureFont(10));
    }
    p.setPen(outlinePen(1.0, QColor(0x10, 0x14, 0x1A)));
    p.setBrush(kChipBody);
    p.drawRoundedRect(body, 3, 3);
    p.setBrush(QColor(0x10, 0x14, 0x1A));
    p.drawChord(QRectF(body.center().x() - 6, body.top() - 6, 12, 12), 180 * 16, 180 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(kAmber);
    p.drawEllipse(QPointF(body.left() + 7, body.top() + 7), 2.5, 2.5);
    p.end();
    return QPixmap::fromImage(image);
}

QPixmap placementPicture(bool adapter) {
    QImage image = blankImage(kPlacementSize);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    fillPictureBackground(p, kPlacementSize);

    // A 40-pin zero-insertion-force socket, lever at the top.
    const QRectF socket(45, 26, 86, 180);
    p.setPen(outlinePen(1.5, QColor(0x1A, 0x1A, 0x1A)));
    p.setBrush(QColor(0x3A, 0x3F, 0x46));
    p.drawRoundedRect(socket, 4, 4);
    p.setPen(outlinePen(4, QColor(0x8A, 0x90, 0x98)));
    p.drawLine(QPointF(socket.right() - 8, socket.top() + 6), QPointF(socket.right() - 8, 6));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xC0, 0x30, 0x28));
    p.drawRoundedRect(QRectF(socket.right() - 13, 2, 10, 10), 3, 3);
    const qreal pitch = (socket.height() - 20) / 20;
    p.setBrush(QColor(0x15, 0x17, 0x1A));
    for (int row = 0; row < 20; ++row) {
        const qreal y = socket.top() + 10 + pitch * (row + 0.5);
        p.drawEllipse(QPointF(socket.left() + 16, y), 2.6, 2.6);
        p.drawEllipse(QPointF(socket.right() - 16, y), 2.6, 2.6);
    }

    // The chip (or its adapter board) sits at the lever end, pin 1 top left.
    const qreal top = socket.top() + 10;
    if (adapter) {
        const QRectF board(socket.left() + 8, top - 2, socket.width() - 16, pitch * 6 + 4);
        p.setPen(outlinePen(1.2, QColor(0x1B, 0x5E, 0x2C)));
        p.setBrush(QColor(0x3E, 0x9B, 0x55));
        p.drawRoundedRect(board, 2, 2);
        p.setPen(outlinePen(1, QColor(0xE8, 0xC5, 0x6A)));
        for (int i = 0; i < 4; ++i) {
            const qreal y = board.top() + 14 + i * 8;
            p.drawLine(QPointF(board.left() + 6, y), QPointF(board.left() + 22, y));
            p.drawLine(QPointF(board.right() - 6, y), QPointF(board.right() - 22, y));
        }
        const QRectF soic(board.center().x() - 13, board.top() + 10, 26, 30);
        p.setPen(Qt::NoPen);
        p.setBrush(kLeg);
        for (int i = 0; i < 4; ++i) {
            const qreal y = soic.top() + 3 + i * 7.3;
            p.drawRect(QRectF(soic.left() - 5, y, 5, 3));
            p.drawRect(QRectF(soic.right(), y, 5, 3));
        }
        p.setBrush(kChipBody);
        p.drawRoundedRect(soic, 2, 2);
        p.setBrush(kAmber);
        p.drawEllipse(QPointF(soic.left() + 5, soic.top() + 5), 2, 2);
    } else {
        const QRectF dip(socket.left() + 11, top + 1, socket.width() - 22, pitch * 4 - 2);
        p.setPen(Qt::NoPen);
        p.setBrush(kLeg);
        for (int i = 0; i < 4; ++i) {
            const qreal y = top + pitch * (i + 0.5) - 2;
            p.drawRect(QRectF(dip.left() - 3, y, 3, 4));
            p.drawRect(QRectF(dip.right(), y, 3, 4));
        }
        p.setPen(outlinePen(1.0, QColor(0x10, 0x14, 0x1A)));
        p.setBrush(QColor(0x22, 0x26, 0x2C));
        p.drawRoundedRect(dip, 2, 2);
        p.setBrush(QColor(0x10, 0x14, 0x1A));
        p.drawChord(QRectF(dip.center().x() - 5, dip.top() - 5, 10, 10), 180 * 16, 180 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(kAmber);
        p.drawEllipse(QPointF(dip.left() + 6, dip.top() + 7), 2.2, 2.2);
    }

    // Pin 1 marker beside the socket.
    p.setPen(kRed);
    p.setFont(pictureFont(10, true));
    p.drawText(QRectF(4, top - 4, 36, 14), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("1"));
    drawArrow(p, {30, top + pitch * 0.5 + 8}, {socket.left() + 10, top + pitch * 0.5}, kRed, 1.6);
    p.end();
    return QPixmap::fromImage(image);
}

QPixmap decorationPicture() {
    QImage image = blankImage(kDecorationSize);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    fillPictureBackground(p, kDecorationSize);

    // The programmer: a rounded box with its socket, a lamp and the USB cable.
    p.setPen(outlinePen(3, QColor(0x50, 0x55, 0x5C)));
    p.setBrush(Qt::NoBrush);
    QPainterPath cable;
    cable.moveTo(87, 128);
    cable.cubicTo(87, 150, 40, 140, 30, 160);
    p.drawPath(cable);
    p.setPen(outlinePen(1.0, QColor(0x70, 0x76, 0x7E)));
    p.setBrush(QColor(0xB0, 0xB6, 0xBE));
    p.drawRoundedRect(QRectF(79, 122, 16, 10), 2, 2);

    const QRectF box(28, 22, 119, 104);
    QLinearGradient shell(0, box.top(), 0, box.bottom());
    shell.setColorAt(0, QColor(0x5E, 0x93, 0xD6));
    shell.setColorAt(1, QColor(0x2A, 0x5C, 0xA3));
    p.setPen(outlinePen(1.5, kOutline));
    p.setBrush(shell);
    p.drawRoundedRect(box, 10, 10);

    const QRectF socket(46, 36, 60, 76);
    p.setPen(outlinePen(1.2, QColor(0x1A, 0x1A, 0x1A)));
    p.setBrush(QColor(0x3A, 0x3F, 0x46));
    p.drawRoundedRect(socket, 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x15, 0x17, 0x1A));
    for (int row = 0; row < 8; ++row) {
        const qreal y = socket.top() + 8 + row * 8.5;
        p.drawEllipse(QPointF(socket.left() + 10, y), 2, 2);
        p.drawEllipse(QPointF(socket.right() - 10, y), 2, 2);
    }
    p.setPen(outlinePen(3, QColor(0x8A, 0x90, 0x98)));
    p.drawLine(QPointF(socket.right() - 4, socket.top() + 4), QPointF(socket.right() - 4, 16));

    p.setPen(outlinePen(1.0, QColor(0x1B, 0x5E, 0x2C)));
    p.setBrush(QColor(0x4C, 0xE0, 0x6A));
    p.drawEllipse(QPointF(127, 44), 5, 5);
    p.setBrush(QColor(0xF0, 0xA8, 0x30));
    p.setPen(outlinePen(1.0, QColor(0x9A, 0x6B, 0x12)));
    p.drawEllipse(QPointF(127, 62), 5, 5);
    p.setPen(outlinePen(1.2, kWhite));
    p.drawLine(QPointF(118, 100), QPointF(138, 100));
    p.drawLine(QPointF(118, 108), QPointF(132, 108));
    p.end();
    return QPixmap::fromImage(image);
}

}  // namespace nyra::gui::art
