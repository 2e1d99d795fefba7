#pragma once

#include <QtGlobal>

// Qt's warnings about rejected input (unknown variant types, bad JSON) would be printed for most
// fuzz inputs and slow every run down; the targets judge results, not messages.
inline void silenceQtMessages()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}
