// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProgressBar>
#include <QString>

namespace nyra::gui {

// A progress bar that draws its own label over a plain green fill, so the
// label reads the same under every style and skin.
class LabelledProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit LabelledProgressBar(QWidget* parent = nullptr);

    // Stores the label and sets the position (clamped to the range).
    void setPositionAndLabel(int position, const QString& label);
    QString label() const { return label_; }

    static QColor fillColour() { return {0, 255, 0}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString label_;
};

}  // namespace nyra::gui
