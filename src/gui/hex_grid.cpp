// SPDX-License-Identifier: GPL-3.0-or-later
#include "hex_grid.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

namespace nyra::gui {

namespace {

const QColor kFixedText(0, 0, 255);
const QColor kDataText(204, 204, 204);
const QColor kWhite(255, 255, 255);
const QColor kLine(192, 192, 192);

}  // namespace

HexGrid::HexGrid(QWidget* parent) : QWidget(parent), cells_(kRows * kColumns) {
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            cell(row, column) = {QString(), fixed(row, column) ? kFixedText : kDataText, kWhite};
        }
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(13);
    setFont(font);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAcceptDrops(true);
}

int HexGrid::columnWidth(int column) {
    if (column == 0)
        return kColumnWidths[0];
    if (column == kColumns - 1)
        return kColumnWidths[2];
    return kColumnWidths[1];
}

QRect HexGrid::cellRect(int row, int column) const {
    if (!inside(row, column))
        return {};
    int x = 0;
    for (int c = 0; c < column; ++c)
        x += columnWidth(c);
    return {x, row * kRowHeight, columnWidth(column), kRowHeight};
}

std::pair<int, int> HexGrid::cellAt(QPoint point) const {
    if (point.x() < 0 || point.y() < 0)
        return {-1, -1};
    const int row = point.y() / kRowHeight;
    int x = 0;
    for (int column = 0; column < kColumns; ++column) {
        x += columnWidth(column);
        if (point.x() < x)
            return row < kRows ? std::pair{row, column} : std::pair{-1, -1};
    }
    return {-1, -1};
}

void HexGrid::setCellText(int row, int column, const QString& text) {
    if (!inside(row, column) || cell(row, column).text == text)
        return;
    cell(row, column).text = text;
    update(cellRect(row, column));
}

QString HexGrid::cellText(int row, int column) const {
    return inside(row, column) ? cell(row, column).text : QString();
}

void HexGrid::setCellColours(int row, int column, QColor text, QColor background) {
    if (!inside(row, column))
        return;
    cell(row, column).textColour = text;
    cell(row, column).background = background;
    update(cellRect(row, column));
}

void HexGrid::setFocusCell(int row, int column) {
    focus_ =
        inside(row, column) && !fixed(row, column) ? std::pair{row, column} : std::pair{-1, -1};
    update();
}

void HexGrid::setFocusMarkShown(bool shown) {
    focusMarkShown_ = shown;
    update();
}

QSize HexGrid::sizeHint() const {
    const QRect last = cellRect(kRows - 1, kColumns - 1);
    return {last.right() + 2, last.bottom() + 2};
}

void HexGrid::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setFont(font());
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            const QRect box = cellRect(row, column);
            const Cell& c = cell(row, column);
            painter.fillRect(box, c.background);
            painter.setPen(kLine);
            painter.drawRect(box);
            painter.setPen(c.textColour);
            const int flags = column == kColumns - 1 || column == 0
                                  ? Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine
                                  : Qt::AlignCenter | Qt::TextSingleLine;
            painter.drawText(box.adjusted(2, 0, -2, 0), flags, c.text);
        }
    }
    if (focusMarkShown_ && focus_.first >= 0) {
        QPen pen(QColor(0, 0, 0));
        pen.setWidth(2);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(cellRect(focus_.first, focus_.second).adjusted(1, 1, -1, -1));
    }
}

void HexGrid::mousePressEvent(QMouseEvent* event) {
    const auto [row, column] = cellAt(event->position().toPoint());
    if (row > 0 && column > 0)
        setFocusCell(row, column);
    QWidget::mousePressEvent(event);
}

void HexGrid::mouseReleaseEvent(QMouseEvent* event) {
    emit released();
    QWidget::mouseReleaseEvent(event);
}

void HexGrid::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void HexGrid::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile());
    }
    if (!paths.isEmpty()) {
        event->acceptProposedAction();
        emit filesDropped(paths);
    }
}

}  // namespace nyra::gui
