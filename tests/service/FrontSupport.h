#pragma once

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <memory>

#include "QtTestSupport.h"

namespace kt::testing {

// A plain connection from the loopback address `from`.
inline std::unique_ptr<QTcpSocket> plainConnection(quint16 port, const QString& from) {
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(from));
    socket->connectToHost(QHostAddress::LocalHost, port);
    socket->waitForConnected(10000);
    return socket;
}

// Sends `bytes`; the reply, status 0 when the connection closed without one.
inline RawReply exchange(QTcpSocket& socket, const QByteArray& bytes) {
    socket.write(bytes);
    QByteArray received;
    bool complete = false;
    while (!complete && socket.waitForReadyRead(10000)) {
        received += socket.readAll();
        parseReply(received, &complete);
    }
    return parseReply(received);
}

inline RawReply plainGet(quint16 port, const QByteArray& path) {
    auto socket = plainConnection(port, "127.0.0.1");
    return exchange(*socket, "GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
}

// The port the service announced for `what` ("Behind a front", "Health and metrics").
inline quint16 announcedPort(ServiceProcess& service, const QString& what) {
    return QRegularExpression(what + " on http://127\\.0\\.0\\.1:(\\d+)/")
        .match(service.output())
        .captured(1)
        .toUShort();
}

inline const QString haproxyPath = QStringLiteral("/usr/sbin/haproxy");

inline quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The real HAProxy on 127.0.0.1:`frontPort` with the shipped example: the
// test's certificate, its two server lines on the instances' plain ports, and
// the open-file limit of a test (the example's connections need HAProxy to
// raise it as root). Its files in `dir`.
inline bool startHaproxy(QProcess& front, const QTemporaryDir& dir, quint16 frontPort,
                         quint16 firstPort, quint16 secondPort) {
    QFile example(QStringLiteral(KT_HAPROXY_EXAMPLE)), pem(dir.filePath("school.pem")),
        config(dir.filePath("haproxy.cfg"));
    QFile certificate(testTls().certificatePath), key(testTls().directory + "/key.pem");
    if (!example.open(QIODevice::ReadOnly) || !pem.open(QIODevice::WriteOnly) ||
        !certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly) ||
        !config.open(QIODevice::WriteOnly))
        return false;
    pem.write(certificate.readAll() + key.readAll());
    pem.close();
    config.write(example.readAll()
                     .replace("bind :443", "bind 127.0.0.1:" + QByteArray::number(frontPort))
                     .replace("/etc/haproxy/school.pem", pem.fileName().toUtf8())
                     .replace("127.0.0.1:8081", "127.0.0.1:" + QByteArray::number(firstPort))
                     .replace("127.0.0.1:8082", "127.0.0.1:" + QByteArray::number(secondPort))
                     .replace("maxconn 60000", "maxconn 1000"));
    config.close();
    front.setProcessChannelMode(QProcess::MergedChannels);
    front.start(haproxyPath, {"-db", "-f", config.fileName()});
    return front.waitForStarted();
}

}  // namespace kt::testing
