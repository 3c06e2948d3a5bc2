// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <mutex>
#include <vector>

#include "ui/log_model.h"

class QTextEdit;

namespace nyra::gui {

// Shows a LogModel in a text view. Changes made on any thread are collected
// and applied on the window thread in one go; each costs the same however
// long the log already is.
class LogViewFeed : public QObject {
    Q_OBJECT
public:
    LogViewFeed(LogModel& model, QTextEdit* view, QObject* parent = nullptr);
    ~LogViewFeed() override;

private:
    void collect(const LogChange& change);
    void applyCollected();
    void apply(const LogChange& change);

    LogModel& model_;
    QPointer<QTextEdit> view_;
    LogModel::Token token_ = 0;
    std::mutex mutex_;
    std::vector<LogChange> collected_;
    int lines_ = 0;          // lines shown
    int lastLineStart_ = 0;  // where the last shown line begins
};

}  // namespace nyra::gui
