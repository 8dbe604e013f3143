#pragma once

#include <QString>

// The visible message list as the filter pass fills it.
class MessageListSink
{
public:
    virtual ~MessageListSink() = default;
    virtual void clearLines() = 0;
    virtual void appendLine(const QString &text, bool checked) = 0;
    // The last line is in.
    virtual void linesDone() {}
};
