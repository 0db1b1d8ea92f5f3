#include "link/serial_transport.h"

#include <QFileInfo>
#include <QThread>
#include <QTimer>

#ifdef Q_OS_WIN
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <termios.h>
#endif

namespace kt::link {

SerialTransport::SerialTransport(const QString& device, QObject* parent)
    : Transport(parent), m_device(device) {
    m_port.setPortName(device);
    connect(&m_port, &QSerialPort::bytesWritten, this, &SerialTransport::OnBytesWritten);
    connect(&m_port, &QSerialPort::readyRead, this, &Transport::Received);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialTransport::OnError);
}

bool SerialTransport::Open() {
    m_lost = false;
    m_openFailure = OpenFailure::Unavailable;
    m_openError = QSerialPort::NoError;
    m_openErrorText.clear();
    m_lastErrorText.clear();
    m_openFailedInUse = false;
    if (!m_port.open(QIODevice::ReadWrite)) {
        // Qt reports a port that another program holds (its lock file, or
        // the device busy) as a permission error too; only a device file we
        // may not use is the user's to fix.
        const QFileInfo file(m_device);
        if (m_openError == QSerialPort::PermissionError && file.exists() &&
            !(file.isReadable() && file.isWritable()))
            m_openFailure = OpenFailure::PermissionDenied;
        else
            m_openFailedInUse = m_openError == QSerialPort::PermissionError;
        m_openErrorText = m_lastErrorText;
        m_port.clearError();
        emit OpenFailed();
        return false;
    }
    const bool configured =
        m_port.setBaudRate(QSerialPort::Baud19200) && m_port.setDataBits(QSerialPort::Data8) &&
        m_port.setStopBits(QSerialPort::OneStop) && m_port.setParity(QSerialPort::SpaceParity);
    if (!configured) {
        m_openErrorText = m_lastErrorText;
        m_port.close();
        m_port.clearError();
        emit OpenFailed();
        return false;
    }
    return true;
}

void SerialTransport::Close() {
    if (m_port.isOpen())
        m_port.close();
}

void SerialTransport::SetParity(Parity parity) {
    if (!m_port.isOpen())
        return;
    // Only the start byte's switch to space is pressing: it must not take
    // the byte still on the line with it.
    Drain(parity == Parity::Space && m_parity == Parity::Mark);
    m_port.setParity(parity == Parity::Mark ? QSerialPort::MarkParity : QSerialPort::SpaceParity);
    m_parity = parity;
}

void SerialTransport::Write(const QByteArray& bytes) {
    if (m_port.isOpen())
        m_port.write(bytes);
}

void SerialTransport::Drain(bool withMargin) {
    // flush() only hands the bytes to the driver; the line must be empty.
    m_port.flush();
#ifdef Q_OS_WIN
    FlushFileBuffers(reinterpret_cast<HANDLE>(m_port.handle()));
    (void)withMargin; // the queue is empty only once the line is
#elif defined(Q_OS_UNIX)
    tcdrain(static_cast<int>(m_port.handle()));
    // USB adapters report an empty transmitter early: allow one more
    // character time (11 bits at 19200 baud is 0.57 ms).
    if (withMargin)
        QThread::usleep(600);
#endif
}

void SerialTransport::OnBytesWritten() {
    if (m_port.bytesToWrite() == 0)
        emit Sent();
}

void SerialTransport::OnError(QSerialPort::SerialPortError error) {
    // Handling clears it: keep the system's words for an Open() that fails.
    if (error != QSerialPort::NoError)
        m_lastErrorText = m_port.errorString();
    if (!m_port.isOpen()) {
        // Raised inside open(): why it failed, not a line error. Open()
        // clears it (clearing reports NoError, which must not overwrite it).
        if (error != QSerialPort::NoError)
            m_openError = error;
        return;
    }
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
        return;
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        // A vanished device repeats this error without end: report it once
        // and close, later, outside the notification.
        if (!m_lost) {
            m_lost = true;
            emit LineError(kLinePortLost, true);
            QTimer::singleShot(0, this, &SerialTransport::Close);
        }
        break;
    default:
        emit LineError(kLineOther, false);
        break;
    }
    m_port.clearError();
}

} // namespace kt::link
