#include "record/recorder.h"

#include "record/csv.h"

Recorder::Recorder(const QStringList &columns, QObject *parent) : QObject(parent), m_columns(columns) {}

bool Recorder::start(const QString &path)
{
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
    emit recordingChanged(true);
    return true;
}

void Recorder::stop()
{
    if (!m_file.isOpen())
        return;
    m_file.close();
    emit recordingChanged(false);
}

void Recorder::record(const QDateTime &time, const QStringList &values)
{
    if (!m_file.isOpen())
        return;
    if (write(csvRow(time, values)))
        return;
    stop();
    emit failed(m_error);
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
