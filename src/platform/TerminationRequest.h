#pragma once

#include <QObject>
#include <memory>

namespace brevant {

// Turns the operating system's polite requests to end (SIGTERM, SIGINT, SIGHUP on POSIX) into a
// signal on the event loop, so that the program leaves through its orderly exit.
class TerminationRequest : public QObject
{
    Q_OBJECT

public:
    explicit TerminationRequest(QObject* parent = nullptr);
    ~TerminationRequest() override;

signals:
    void requested();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brevant
