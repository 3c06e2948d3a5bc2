// SPDX-License-Identifier: GPL-3.0-or-later
#include "log_view_feed.h"

#include <QScrollBar>
#include <QTextEdit>

#include "panel_binder.h"

namespace nyra::gui {

namespace {

QString viewText(const std::string& line) {
    return QString::fromStdString(line).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

LogViewFeed::LogViewFeed(LogModel& model, QTextEdit* view, QObject* parent)
    : QObject(parent), model_(model), view_(view) {
    auto [token, snapshot] = model_.subscribe([this](const LogChange& change) { collect(change); });
    token_ = token;
    for (std::string& line : snapshot.lines)
        apply({LogChange::Kind::Appended, std::move(line), 0});
}

LogViewFeed::~LogViewFeed() {
    model_.unsubscribe(token_);
}

// Any thread: one queued apply covers all changes collected until it runs.
void LogViewFeed::collect(const LogChange& change) {
    bool first = false;
    {
        std::lock_guard lock(mutex_);
        first = collected_.empty();
        collected_.push_back(change);
    }
    if (first)
        QMetaObject::invokeMethod(this, &LogViewFeed::applyCollected, Qt::QueuedConnection);
}

void LogViewFeed::applyCollected() {
    std::vector<LogChange> changes;
    {
        std::lock_guard lock(mutex_);
        changes.swap(collected_);
    }
    if (!view_)
        return;
    for (const LogChange& change : changes)
        apply(change);
    view_->verticalScrollBar()->setValue(view_->verticalScrollBar()->maximum());
}

void LogViewFeed::apply(const LogChange& change) {
    if (!view_)
        return;
    QTextDocument* document = view_->document();
    if (change.kind == LogChange::Kind::Cleared) {
        document->clear();
        lines_ = 0;
        lastLineStart_ = 0;
        return;
    }
    QTextCharFormat format;
    format.setForeground(PanelBinder::logText());
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    if (change.kind == LogChange::Kind::ReplacedLast && lines_ > 0) {
        cursor.setPosition(lastLineStart_, QTextCursor::KeepAnchor);
    } else {
        if (lines_ > 0)
            cursor.insertText(QStringLiteral("\n"), format);
        lastLineStart_ = cursor.position();
        ++lines_;
    }
    cursor.insertText(viewText(change.line), format);
}

}  // namespace nyra::gui
