#ifndef KAVRAD_SCPIERROR_H
#define KAVRAD_SCPIERROR_H

#include <QString>

// One entry of the SCPI error queue: a code and its text. Negative codes are the standard SCPI
// errors; positive codes are the library's status codes, with the library's meaning as text.
class ScpiError
{
public:
    enum Code {
        NoError = 0,
        CommandError = -100,
        SyntaxError = -102,
        DataTypeError = -104,
        ParameterNotAllowed = -108,
        MissingParameter = -109,
        UndefinedHeader = -113,
        HeaderSuffixOutOfRange = -114,
        InvalidSuffix = -131,
        DataOutOfRange = -222,
        TooMuchData = -223,
        IllegalParameterValue = -224,
        HardwareMissing = -241,
        DeviceSpecificError = -300,
        QueueOverflow = -350,
    };

    ScpiError() = default;
    // A standard error with its standard text, and the detail after a ';' when there is one.
    explicit ScpiError(Code code, const QString& detail = QString());

    // The error a library status code (not 0) stands for: 10 is "Hardware missing", a rejected
    // argument "Data out of range" (the library checks its arguments before it sends anything),
    // every other code a device-specific error under its own number, whose text carries the cause
    // after a ';' when one is given.
    static ScpiError fromStatus(int status, const QString& cause = QString());

    int code() const { return m_code; }
    QString text() const { return m_text; }
    // The Standard Event Status Register bit that the error sets.
    int eventBit() const;
    // The queue's reply form: code,"text" (quotes in the text doubled).
    QString toReply() const;

private:
    ScpiError(int code, const QString& text) : m_code(code), m_text(text) { }

    int m_code = NoError;
    QString m_text = QStringLiteral("No error");
};

#endif
