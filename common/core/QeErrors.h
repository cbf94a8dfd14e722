#pragma once
// Errors raised by the test library. Each carries the kind name that messages
// of the form "kind: text" show, e.g. "ERangeError: Ошибка в структуре теста".
#include <QString>
#include <exception>

class EQuizError : public std::exception {
public:
    EQuizError(QString kind, QString text) : m_kind(std::move(kind)), m_text(std::move(text)),
        m_what((m_kind + QStringLiteral(": ") + m_text).toUtf8()) {}
    const QString &kind() const noexcept { return m_kind; }
    const QString &text() const noexcept { return m_text; }
    // "kind: text", as the editor and the tools report it.
    QString message() const { return m_kind + QStringLiteral(": ") + m_text; }
    const char *what() const noexcept override { return m_what.constData(); }
private:
    QString m_kind, m_text;
    QByteArray m_what;
};

#define QE_DECLARE_ERROR(Name) \
    class Name : public EQuizError { \
    public: explicit Name(QString text) : EQuizError(QStringLiteral(#Name), std::move(text)) {} \
    };

QE_DECLARE_ERROR(ERangeError)          // "Ошибка в структуре теста"
QE_DECLARE_ERROR(EStreamError)         // "Invalid stream operation"
QE_DECLARE_ERROR(EReadError)           // "Stream read error": data ends early
QE_DECLARE_ERROR(EWriteError)          // "Stream write error"
QE_DECLARE_ERROR(EFOpenError)          // a file cannot be opened or locked
QE_DECLARE_ERROR(EBZCompressionError)  // "error %d" with the libbz2 code
QE_DECLARE_ERROR(EBZDecompressionError)
QE_DECLARE_ERROR(EListError)           // "WideString index out of bounds"
