// A real serial port as the link's transport: 19200 baud, 8 data bits, one
// stop bit, the parity bit switched between mark and space. Before a parity
// switch it drains the transmitter, so the start byte leaves with its own
// parity. A port that fails for good (unplugged) reports it once and closes.
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

private:
    void Drain(bool withMargin);
    void OnBytesWritten();
    void OnError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    QString m_device;
    OpenFailure m_openFailure = OpenFailure::Unavailable;
    QSerialPort::SerialPortError m_openError = QSerialPort::NoError;
    bool m_lost = false;
    Parity m_parity = Parity::Space;
};

} // namespace kt::link
