#pragma once
// A real pseudo-terminal standing in for the serial line: the tool opens the slave side (through a
// COMn link in a temporary program directory), the test holds the master side as the far end.
#include <QByteArray>
#include <QString>

class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Makes dir/COMn a link to the slave side.
    bool linkAs(const QString &dir, int port) const;

    // Writes bytes from the far end.
    bool write(const QByteArray &bytes);
    // Reads what the tool wrote until count bytes arrived or the deadline passed, running Qt's
    // event loop meanwhile so the tool can do its work.
    QByteArray read(int count, int timeoutMs = 2000);
    // Everything readable right now, without waiting.
    QByteArray readAvailable();
    // The baud rate the tool set on the line, as the far end sees it; -1 when unknown.
    int baudRate() const;
    // The stop bits (1 or 2) the tool set, as the far end sees them; -1 when unknown. Data bits and
    // parity cannot be read back here: the pty driver forces 8 bits without parity on every change.
    int stopBits() const;
    // Closes the far end, as an unplugged adapter would.
    void closeMaster();

private:
    int m_master = -1;
    int m_slave = -1; // held open so the line does not hang up between the tool's opens
    QString m_slavePath;
};
