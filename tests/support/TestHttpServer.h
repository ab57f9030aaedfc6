// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

#include <chrono>
#include <utility>

/// An HTTP/1.1 server on 127.0.0.1 that answers GET and HEAD requests from a
/// table of request targets: one request per connection, closed after the
/// answer. It records the requests and counts the connections still open, so a
/// test can see a client give up.
class TestHttpServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TestHttpServer)

public:
    /// How the server answers one request.
    struct Response
    {
        using ms = std::chrono::milliseconds;
        using Header = std::pair<QByteArray, QByteArray>;

        int status = 200;
        QByteArray body;
        /// Sent besides Content-Length and Connection, which the server adds.
        QList<Header> headers;
        /// The whole answer goes out this long after the request.
        ms delay{0};
        /// No answer at all: the connection stays open until the client closes it.
        bool silent = false;
        /// How the answer's bytes go out.
        enum class Delivery
        {
            Whole,
            /// One byte every 100 ms.
            Drip,
            /// The head without a length, then the body again and again until
            /// the client closes the connection.
            Endless,
            /// The head and half the body, then a reset.
            ResetInBody,
        };
        Delivery delivery = Delivery::Whole;

        static Response page(const QByteArray& body, const QByteArray& contentType = "text/html; charset=utf-8")
        {
            return {200, body, {{"Content-Type", contentType}}};
        }
        static Response withStatus(int code, const QByteArray& body = {}) { return {code, body, {}}; }
        static Response late(Response response, ms delay)
        {
            response.delay = delay;
            return response;
        }
        static Response redirect(int code, const QByteArray& location) { return {code, {}, {{"Location", location}}}; }
        static Response silence() { return {0, {}, {}, {}, true}; }
        static Response delivered(Response response, Delivery delivery)
        {
            response.delivery = delivery;
            return response;
        }
    };

    /// One request as received. Header names are in lower case.
    struct Request
    {
        QByteArray method;
        QByteArray target;
        QHash<QByteArray, QByteArray> headers;
    };

    /// Listens on a port the system chooses.
    TestHttpServer();
    ~TestHttpServer() override;

    /// The answer to requests for `target` (path and query, as in the request line).
    void setResponse(const QByteArray& target, const Response& response) { m_responses.insert(target, response); }
    /// The answer to requests without one of their own; 404 at first.
    void setDefaultResponse(const Response& response) { m_defaultResponse = response; }
    /// Stops listening, so that connections are refused.
    void refuseConnections() { m_server.close(); }

    /// "http://127.0.0.1:PORT" followed by `target`.
    QUrl url(const QByteArray& target = "/") const;
    quint16 port() const { return m_server.serverPort(); }

    const QList<Request>& requests() const { return m_requests; }
    /// Connections accepted and not yet closed by either side.
    int openConnections() const { return m_openConnections; }

Q_SIGNALS:
    void requestReceived(const QByteArray& target);
    /// A connection has ended, whichever side closed it.
    void connectionClosed();

private:
    void serve(QTcpSocket* socket, const QByteArray& head);
    void closed(QTcpSocket* socket);

    QTcpServer m_server;
    QHash<QByteArray, Response> m_responses;
    Response m_defaultResponse = Response::withStatus(404, "Not Found");
    QList<Request> m_requests;
    int m_openConnections = 0;
};
