#pragma once
// Writes the decoded answers to a CSV file, one row each, until stopped or a write fails.
#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QTimer>

class Recorder : public QObject
{
    Q_OBJECT
public:
    // columns: the header's titles of the values, in the order record() is given them.
    explicit Recorder(const QStringList &columns, QObject *parent = nullptr);

    // Creates (or empties) the file and writes the header; false, with errorString(), when that fails.
    bool start(const QString &path);
    // Closes the file; a failure to close it emits failed().
    void stop();
    bool isRecording() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }
    QString errorString() const { return m_error; }

    // One row; nothing while not recording. A failed write stops the recording and emits failed().
    void record(const QDateTime &time, const QStringList &values);

signals:
    void recordingChanged(bool recording);
    void failed(const QString &reason);

private:
    bool write(const QByteArray &bytes);
    bool fileStillThere();
    bool close();
    void fail();

    QStringList m_columns;
    QFile m_file;
    qint64 m_written = 0; // the bytes of whole rows: a torn row is cut back to here
    QString m_error;
    QTimer m_check; // looks for the file once a second, also while no rows come
};
