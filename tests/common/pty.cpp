#include "common/pty.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

Pty::Pty()
{
    char name[256] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    termios raw{};
    tcgetattr(m_slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(m_slave, TCSANOW, &raw);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = QString::fromLocal8Bit(name);
}

Pty::~Pty()
{
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

bool Pty::linkAs(const QString &dir, int port) const
{
    const QString link = QDir(dir).filePath(QStringLiteral("COM%1").arg(port));
    QFile::remove(link);
    return QFile::link(m_slavePath, link);
}

bool Pty::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                QCoreApplication::processEvents();
                continue;
            }
            return false;
        }
        done += n;
    }
    return true;
}

QByteArray Pty::readAvailable()
{
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

QByteArray Pty::read(int count, int timeoutMs)
{
    QByteArray bytes;
    QDeadlineTimer deadline(timeoutMs);
    while (bytes.size() < count && !deadline.hasExpired()) {
        bytes += readAvailable();
        if (bytes.size() < count)
            QTest::qWait(1);
    }
    return bytes;
}

int Pty::baudRate() const
{
    termios settings{};
    if (m_master < 0 || tcgetattr(m_master, &settings) != 0)
        return -1;
    switch (cfgetospeed(&settings)) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return -1;
    }
}

int Pty::stopBits() const
{
    termios settings{};
    if (m_master < 0 || tcgetattr(m_master, &settings) != 0)
        return -1;
    return settings.c_cflag & CSTOPB ? 2 : 1;
}

void Pty::closeMaster()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}
