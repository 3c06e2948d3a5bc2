// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <vector>

namespace nyra::gui {

// The painted grid under the hex view: fixed geometry, per-cell text and
// colours, a focus cell. It holds no data of its own beyond what it is told
// to show.
class HexGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRows = 21;
    static constexpr int kColumns = 18;
    static constexpr int kRowHeight = 18;
    static constexpr std::array<int, 3> kColumnWidths = {85, 25, 132};  // first, bytes, last

    explicit HexGrid(QWidget* parent = nullptr);

    static int columnWidth(int column);
    // The cell's rectangle in the grid's own coordinates; empty outside the grid.
    QRect cellRect(int row, int column) const;
    // The cell under a point, or {-1, -1}.
    std::pair<int, int> cellAt(QPoint point) const;

    void setCellText(int row, int column, const QString& text);
    QString cellText(int row, int column) const;
    void setCellColours(int row, int column, QColor text, QColor background);

    void setFocusCell(int row, int column);
    std::pair<int, int> focusCell() const { return focus_; }
    void setFocusMarkShown(bool shown);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    // The mouse button was released over the grid (after a click set the focus cell).
    void released();
    // Files dropped onto the grid, as local paths.
    void filesDropped(const QStringList& paths);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct Cell {
        QString text;
        QColor textColour;
        QColor background;
    };
    static bool fixed(int row, int column) { return row == 0 || column == 0; }
    Cell& cell(int row, int column) {
        return cells_[static_cast<std::size_t>(row * kColumns + column)];
    }
    const Cell& cell(int row, int column) const {
        return cells_[static_cast<std::size_t>(row * kColumns + column)];
    }
    static bool inside(int row, int column) {
        return row >= 0 && row < kRows && column >= 0 && column < kColumns;
    }

    std::vector<Cell> cells_;
    std::pair<int, int> focus_{-1, -1};
    bool focusMarkShown_ = true;
};

}  // namespace nyra::gui
