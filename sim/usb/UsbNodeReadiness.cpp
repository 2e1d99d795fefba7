#include "UsbNodeReadiness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Pipes report writable while at least one page of their buffer is free.
constexpr int kPage = 4096;

} // namespace

UsbNodeReadiness::UsbNodeReadiness(const QString& path) : m_path(path)
{
    recreate();
}

void UsbNodeReadiness::recreate()
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    m_ready = true;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    const QByteArray file = QFile::encodeName(m_path);
    unlink(file.constData());
    if (mkfifo(file.constData(), 0666) != 0)
        return;
    // Read and write ends in one: opening never blocks, and the FIFO never loses its reader.
    m_fd = open(file.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    setReady(false);
}

UsbNodeReadiness::~UsbNodeReadiness()
{
    if (m_fd >= 0)
        close(m_fd);
}

void UsbNodeReadiness::setReady(bool ready)
{
    if (m_fd < 0 || ready == m_ready)
        return;
    static const char page[kPage] = {};
    if (ready) {
        char drained[kPage];
        while (read(m_fd, drained, sizeof drained) < 0 && errno == EINTR) { }
    } else {
        ssize_t written;
        do {
            written = write(m_fd, page, sizeof page);
        } while (written > 0 || (written < 0 && errno == EINTR));
    }
    m_ready = ready;
}
