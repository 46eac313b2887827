#pragma once

#include <QByteArray>
#include <QtGlobal>

// Sets (or, given a null value, removes) an environment variable for the scope's lifetime.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char* name, const QByteArray& value)
        : m_name(name)
        , m_previous(qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray())
    {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    ~ScopedEnvironment() { m_previous.isNull() ? qunsetenv(m_name) : qputenv(m_name, m_previous); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* m_name;
    QByteArray m_previous;
};
