// A real serial port as the link's transport: 19200 baud, 8 data bits, one
// stop bit, the parity bit switched between mark and space. Before a parity
// switch it drains the transmitter, so the start byte leaves with its own
// parity. A port that fails for good (unplugged) reports it once and closes;
// a port that does not open says why.
#pragma once

#include "link/transport.h"

#include <QSerialPort>

namespace kt::link {

class SerialTransport : public Transport {
    Q_OBJECT

public:
    explicit SerialTransport(const QString& device, QObject* parent = nullptr);

    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_port.isOpen(); }
    OpenFailure LastOpenFailure() const override { return m_openFailure; }
    QString DeviceName() const override { return m_device; }
    void SetParity(Parity parity) override;
    void Write(const QByteArray& bytes) override;
    qint64 BytesAvailable() const override { return m_port.bytesAvailable(); }
    QByteArray ReadAll() override { return m_port.readAll(); }

    // Why the last Open() failed, in the system's words ("No such file or
    // directory"); empty after one that succeeded.
    QString OpenErrorText() const { return m_openErrorText; }
    // Whether the last Open() failed because another program holds the port.
    bool OpenFailedInUse() const { return m_openFailedInUse; }

signals:
    // Open() failed; OpenErrorText() and OpenFailedInUse() tell why.
    void OpenFailed();

private:
    void Drain(bool withMargin);
    void OnBytesWritten();
    void OnError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    QString m_device;
    OpenFailure m_openFailure = OpenFailure::Unavailable;
    QSerialPort::SerialPortError m_openError = QSerialPort::NoError;
    QString m_openErrorText;
    QString m_lastErrorText;
    bool m_openFailedInUse = false;
    bool m_lost = false;
    Parity m_parity = Parity::Space;
};

} // namespace kt::link
