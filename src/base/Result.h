#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>
#include <utility>

namespace brevant {

// The outcome of an operation that can fail: success (with a value, for Result<T>), or a failure
// with the reason in words fit for the program log and a message box. Call sites read
// `if (!result.ok())`, so that success reads as success. Both outcomes are named where they are
// made: a bare `return text;` cannot pass for success in a Result<QString>.
template <typename T = void>
class [[nodiscard]] Result
{
public:
    static Result success(T value) { return Result(std::move(value)); }
    static Result failure(QString reason) { return Result(std::nullopt, std::move(reason)); }

    bool ok() const { return m_value.has_value(); }
    const T& value() const
    {
        Q_ASSERT_X(ok(), "Result::value", "the value of a failure");
        return *m_value;
    }
    T valueOr(T fallback) const { return m_value.value_or(std::move(fallback)); }
    const QString& error() const { return m_error; }

private:
    explicit Result(T value)
        : m_value(std::move(value))
    {}
    Result(std::nullopt_t, QString reason)
        : m_error(std::move(reason))
    {}

    std::optional<T> m_value;
    QString m_error;
};

template <>
class [[nodiscard]] Result<void>
{
public:
    static Result success() { return Result(); }
    static Result failure(QString reason)
    {
        Result result;
        result.m_failed = true;
        result.m_error = std::move(reason);
        return result;
    }

    bool ok() const { return !m_failed; }
    const QString& error() const { return m_error; }

private:
    Result() = default;

    bool m_failed = false;
    QString m_error;
};

using Status = Result<void>;

} // namespace brevant
