// SPDX-License-Identifier: GPL-3.0-or-later
#include "labelled_progress_bar.h"

#include <QPainter>
#include <algorithm>

namespace nyra::gui {

LabelledProgressBar::LabelledProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(14);
    font.setWeight(QFont::Light);  // weight 300
    setFont(font);
    setMinimumHeight(20);
}

void LabelledProgressBar::setPositionAndLabel(int position, const QString& label) {
    label_ = label;
    setValue(std::clamp(position, minimum(), maximum()));
    update();
}

void LabelledProgressBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(rect(), palette().base());
    const int span = std::max(1, maximum() - minimum());
    const int filled = (rect().width() - 2) * (value() - minimum()) / span;
    if (filled > 0) {
        painter.fillRect(QRect(1, 1, filled, rect().height() - 2), fillColour());
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
    painter.setPen(QColor(0, 0, 0));
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, label_);
}

}  // namespace nyra::gui
