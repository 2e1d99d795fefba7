#include "StatusText.h"

#include <QHash>

QString StatusText::meaning(int status)
{
    static const QHash<int, QString> table = {
        {0, QStringLiteral("success")},
        {1, QStringLiteral("device index below 1, 100 or above, or beyond the attached supported units")},
        {3, QStringLiteral("the unit's USB connection could not be opened")},
        {4, QStringLiteral("the first identification instruction failed")},
        {6, QStringLiteral("no attached unit has the given serial number")},
        {7, QStringLiteral("the identification record could not be read")},
        {8, QStringLiteral("the identification record is not valid")},
        {9, QStringLiteral("the unit's hardware version is not accepted for its model")},
        {10, QStringLiteral("the operation is not supported by the unit's family")},
        {11, QStringLiteral("reading the unit's calibration failed while opening it")},
        {12, QStringLiteral("reading the unit's polarity failed while opening it")},
        {13, QStringLiteral("PWM channel out of range")},
        {14, QStringLiteral("PWM duty out of range")},
        {15, QStringLiteral("a PWM exchange failed")},
        {16, QStringLiteral("PWM frequency out of range")},
        {17, QStringLiteral("a PWM frequency exchange failed")},
        {18, QStringLiteral("channel out of range")},
        {19, QStringLiteral("voltage out of range")},
        {20, QStringLiteral("current out of range")},
        {21, QStringLiteral("a voltage exchange failed")},
        {22, QStringLiteral("polarity out of range")},
        {23, QStringLiteral("a polarity exchange failed")},
        {24, QStringLiteral("an output on or off exchange failed")},
        {26, QStringLiteral("bus level out of range")},
        {27, QStringLiteral("a bus enable exchange failed")},
        {28, QStringLiteral("a bus disable exchange failed")},
        {29, QStringLiteral("switching on refused: the unit's status shows it not ready")},
        {30, QStringLiteral("switching on output 2 or 3 refused: the unit's status shows them not ready")},
        {31, QStringLiteral("a status read failed")},
        {32, QStringLiteral("a current read failed")},
        {33, QStringLiteral("a clear-error exchange failed")},
        {34, QStringLiteral("PWM function out of range")},
        {35, QStringLiteral("second waveform level out of range")},
        {36, QStringLiteral("waveform period out of range")},
        {37, QStringLiteral("waveform code out of range")},
        {38, QStringLiteral("the text buffer is null or too small for the text and its closing zero byte")},
        {-1, QStringLiteral("an unexpected internal failure")},
    };
    return table.value(status, QStringLiteral("unknown status code"));
}
