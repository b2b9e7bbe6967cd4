#pragma once

#include <QString>

#include <functional>
#include <memory>

// One program over one settings file: a second start asks the first to show its window and
// ends, rather than both writing their whole state over each other's at their end.
class SingleInstance
{
public:
    // key: what the instances share (the settings file's path).
    explicit SingleInstance(const QString &key);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when another instance holds the key and has been asked to show itself. Where the
    // system gives no private folder to meet in, every start runs.
    bool handedOver();
    // Called from the event loop each time a later start asks.
    std::function<void()> onAsked;

private:
    class Private;
    std::unique_ptr<Private> d_;
};
