#pragma once

#include <QString>

#include <exception>

// The one error type the program raises: a number, a source and a description,
// as a caller at a handler boundary needs to report or ignore it.
class AppError : public std::exception
{
public:
    AppError(qint64 number, QString source, QString description)
        : m_number(number), m_source(std::move(source)), m_description(std::move(description)),
          m_what(m_description.toUtf8())
    {
    }

    qint64 number() const noexcept { return m_number; }
    const QString &source() const noexcept { return m_source; }
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    qint64 m_number;
    QString m_source;
    QString m_description;
    QByteArray m_what;
};

// Error numbers of the runtime errors the text procedures raise.
namespace ErrorNumber {
inline constexpr qint64 InvalidArgument = 5;
inline constexpr qint64 Overflow = 6;
inline constexpr qint64 FileNotFound = 53;
inline constexpr qint64 PathFileAccess = 75;
} // namespace ErrorNumber

// A position or count went past the 16-bit range the text procedures work in.
inline AppError overflowError(const QString &source)
{
    return AppError(ErrorNumber::Overflow, source, QStringLiteral("Overflow"));
}

// A procedure was handed an argument it cannot work with (a negative length, say).
inline AppError invalidArgumentError(const QString &source)
{
    return AppError(ErrorNumber::InvalidArgument, source,
                    QStringLiteral("Invalid procedure call or argument"));
}
