#pragma once

#include <QString>

#include <cstdint>

// The outcome of every transport and protocol operation. Returned by value by operations that set
// up or tear down, and thrown by value by socket operations that move bytes.
class USBResult
{
public:
    enum Type { Success = 0, NoOutcome = 1, Error = 2 };
    enum Category { D2xxCategory = 0, LibraryCategory = 3 };
    // What a library failure (category 3) found, in its code: the last error text of a unit says
    // it in plain words.
    enum LibraryCode {
        OtherFailure = 0,
        NoReply = 1,
        ReplyCutShort = 2,
        ReplyNotUnderstood = 3,
        InstructionRefused = 4
    };

    // A success.
    USBResult();
    USBResult(int type, int category, int code, const QString& message);
    // The result of a D2XX call: an error for any non-zero status, with the D2XX status text.
    explicit USBResult(uint32_t d2xxStatus);

    // type 1: no outcome (the socket status query without an open device).
    static USBResult noOutcome();
    // An error found by the library itself (type 2, category 3, the code a LibraryCode).
    static USBResult failure(const QString& message, LibraryCode code = OtherFailure);
    // The text of a D2XX status ("Valid" for 0, "Unknown error" above 17).
    static QString d2xxMessage(uint32_t status);
    // The name of a D2XX status as the vendor's header spells it ("FT_IO_ERROR"), or
    // "FT_STATUS N" above 17.
    static QString d2xxName(uint32_t status);

    bool isSuccess() const { return m_type == Success; }
    // Whether D2XX answered that the unit's USB connection is gone: the handle is dead, the
    // device is not there, or its transfers fail (as they do once it is unplugged).
    bool isConnectionLost() const;
    // "Success" for a success, otherwise the message.
    QString text() const;
    // The failure's detail: the D2XX status name and text ("FT_IO_ERROR: Communication error"),
    // or the library's message; empty for a success.
    QString detail() const;

    int type() const { return m_type; }
    int category() const { return m_category; }
    int code() const { return m_code; }
    QString message() const { return m_message; }

private:
    int m_type;
    int m_category;
    int m_code;
    QString m_message;
};
