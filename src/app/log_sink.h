#pragma once
// Where the program's log lines go: the log window in the application, standard
// error or a file on the command line. AppendLine may be called from any
// thread; an implementation that shows the line marshals it to the
// user-interface thread itself (through the dispatcher), keeping the order.
#include <string>

class ILogSink {
public:
    virtual ~ILogSink() = default;
    virtual void AppendLine(const std::string& line) = 0;
};
