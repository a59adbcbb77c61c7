#include "record/recorder.h"

#include "record/csv.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#else
#include <QFileInfo>
#endif

Recorder::Recorder(const QStringList &columns, QObject *parent) : QObject(parent), m_columns(columns)
{
    m_check.setInterval(1000);
    connect(&m_check, &QTimer::timeout, this, [this] {
        if (!fileStillThere())
            fail();
    });
}

bool Recorder::start(const QString &path)
{
#ifdef Q_OS_UNIX
    // A file-size limit (ulimit -f) then fails the write, which stops the recording, instead of
    // ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    stop();
    m_error.clear();
    m_file.setFileName(path);
    // Unbuffered: each row reaches the system in its own write, and after a failure no buffered rest
    // is left for close() to try again.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        return false;
    }
    m_written = 0;
    if (!write(csvHeader(m_columns))) {
        m_file.close();
        return false;
    }
    m_check.start();
    emit recordingChanged(true);
    return true;
}

void Recorder::stop()
{
    if (!close())
        emit failed(m_error);
}

bool Recorder::close()
{
    if (!m_file.isOpen())
        return true;
    m_check.stop();
    m_file.unsetError();
    m_file.close();
    const bool closed = m_file.error() == QFileDevice::NoError;
    if (!closed)
        m_error = m_file.errorString();
    emit recordingChanged(false);
    return closed;
}

void Recorder::fail()
{
    const QString reason = m_error; // the first failure is the one to tell
    close();
    m_error = reason;
    emit failed(reason);
}

void Recorder::record(const QDateTime &time, const QStringList &values)
{
    if (!m_file.isOpen())
        return;
    if (!fileStillThere() || !write(csvRow(time, values)))
        fail();
}

bool Recorder::fileStillThere()
{
    // Rows written to a file that was removed or renamed away, or whose medium is gone, are lost.
#ifdef Q_OS_UNIX
    struct stat atPath{}, open{};
    if (::stat(QFile::encodeName(m_file.fileName()).constData(), &atPath) != 0
        || ::fstat(m_file.handle(), &open) != 0) {
        m_error = qt_error_string(errno);
        return false;
    }
    if (atPath.st_dev != open.st_dev || atPath.st_ino != open.st_ino) {
        m_error = qt_error_string(ENOENT); // another file has taken its name
        return false;
    }
    return true;
#else
    if (QFileInfo::exists(m_file.fileName()))
        return true;
    m_error = QStringLiteral("文件已被删除或移走");
    return false;
#endif
}

bool Recorder::write(const QByteArray &bytes)
{
    qint64 done = 0;
    // A short write (the disk just filled) is followed by one that fails and tells why.
    while (done < bytes.size()) {
        const qint64 n = m_file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            m_error = m_file.errorString();
            // A spreadsheet would read a torn last row as a row of its own.
            if (done > 0)
                m_file.resize(m_written);
            return false;
        }
        done += n;
    }
    m_written += done;
    return true;
}
