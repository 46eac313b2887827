// One instance of the program as far as the single-instance guard goes, in a process of its own:
//   platformos_guard_helper <key> <runtime dir>
// prints "primary" and stays up (printing "message <text>" for every knock) until killed, or prints
// "secondary" and exits with status 1 after knocking.
#include "platform/qt/SingleInstanceGuard.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    QTextStream out(stdout);
    brevant::SingleInstanceGuard guard(args.at(1), args.at(2));
    if (!guard.tryAcquire()) {
        out << "secondary" << Qt::endl;
        return 1;
    }
    QObject::connect(&guard, &brevant::SingleInstanceGuard::messageReceived,
                     [&out](const QByteArray& message) { out << "message " << message << Qt::endl; });
    out << "primary" << Qt::endl;
    return app.exec();
}
