// The drive served on a pseudo-terminal, reached as a client would: by
// opening its link and writing a request.
#include "drive/pty_drive_server.h"
#include "drive/virtual_drive.h"
#include "tests/drive/frames.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

using kt::drive::PtyDriveServer;
using kt::drive::VirtualDrive;
using namespace kt::drive::test;

#ifdef Q_OS_UNIX

TEST(PtyDriveServerTest, RoundTripThroughItsLink) {
    QTemporaryDir dir;
    const QString link = dir.filePath("drive");
    ASSERT_TRUE(QFile::link("/nonexistent", link)) << "an old link is replaced";
    VirtualDrive drive;
    drive.SetDataByte(62, 0x31);
    {
        PtyDriveServer server(drive, link);
        QString error;
        ASSERT_TRUE(server.Start(&error)) << error.toStdString();
        EXPECT_EQ(QFileInfo(server.LinkPath()).symLinkTarget(), server.DevicePath());

        const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        // Garbage first: the drive must find the request behind it.
        const QByteArray request = Hex("12 00 34 00") + kReadStatus;
        ASSERT_EQ(::write(fd, request.constData(), size_t(request.size())), request.size());
        QByteArray reply;
        char buffer[16];
        EXPECT_TRUE(QTest::qWaitFor([&] {
            reply.append(buffer, std::max<ssize_t>(::read(fd, buffer, sizeof buffer), 0));
            return reply.size() >= 3;
        }));
        ::close(fd);
        EXPECT_EQ(reply, Hex("31 CF FF"));
    }
    EXPECT_FALSE(QFileInfo(link).isSymLink()) << "the link goes with the server";
}

#else

TEST(PtyDriveServerTest, NotSupported) {
    VirtualDrive drive;
    QString error;
    EXPECT_FALSE(PtyDriveServer(drive).Start(&error));
    EXPECT_FALSE(error.isEmpty());
}

#endif
