#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <exception>

namespace zt::data {

// SQL Server's numbers of the refusals the wizard tells apart.
namespace servermessage {
constexpr int InvalidObject = 208; // "Invalid object name '...'": no such table
constexpr int DatabaseExists = 1801; // "Database '...' already exists."
} // namespace servermessage

// The one error type of the data-access layer. It carries the message text as the driver or
// server gave it, unchanged (callers append it to their own messages), and the server's message
// numbers, where a server answered, so that a caller tells one refusal from another by its number
// (servermessage), never by its wording.
class DataError : public std::exception
{
public:
    explicit DataError(QString message, QList<int> numbers = {})
        : m_message(std::move(message))
        , m_utf8(m_message.toUtf8())
        , m_numbers(std::move(numbers))
    { }

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }
    const QList<int> &numbers() const noexcept { return m_numbers; }
    bool hasNumber(int number) const { return m_numbers.contains(number); }

private:
    QString m_message;
    QByteArray m_utf8;
    QList<int> m_numbers;
};

} // namespace zt::data
