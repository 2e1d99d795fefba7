// The exported report on the D2XX library: which file is loaded, or why none could be.

#include "D2xxLibrary.h"
#include "KavraDriver_Status.h"
#include "KavraLib.h"
#include "KavraTextBuffer.h"

#include <QByteArray>

namespace {

// The documented bound: a 1024-byte buffer always holds the text and its closing zero byte.
constexpr int LongestText = 1023;

QByteArray describe(const D2xxLibrary& d2xx)
{
    QString text;
    if (d2xx.isLoaded()) {
        text = QStringLiteral("loaded %1, version %2")
                   .arg(d2xx.loadedPath().isEmpty() ? d2xx.fileName() : d2xx.loadedPath(),
                       d2xx.version().isEmpty() ? QStringLiteral("not reported") : d2xx.version());
        // Which library is in use and why: named, FTDI's, or the one over libftdi1 in its place.
        if (!d2xx.reason().isEmpty())
            text += QStringLiteral(" (%1)").arg(d2xx.reason());
    } else {
        text = QStringLiteral("not loaded: tried %1: %2").arg(d2xx.fileName(), d2xx.errorText());
    }
    // One line, whatever the loader's message holds.
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    QByteArray bytes = text.toUtf8();
    if (bytes.size() > LongestText) {
        int end = LongestText;
        // Never cut inside a UTF-8 sequence: back off over its continuation bytes.
        while (end > 0 && (static_cast<unsigned char>(bytes.at(end)) & 0xC0) == 0x80)
            --end;
        bytes.truncate(end);
    }
    return bytes;
}

} // namespace

extern "C" {

int getDriverLibraryInfo(bool* loaded, char* buffer, int bufferSize)
{
    try {
        const D2xxLibrary& d2xx = D2xxLibrary::instance();
        const int status = KavraTextBuffer::copy(describe(d2xx), buffer, bufferSize);
        if (status == KavraDriver_Status::Success && loaded)
            *loaded = d2xx.isLoaded();
        return status;
    } catch (...) {
        return KavraDriver_Status::InternalFailure;
    }
}

} // extern "C"
