// A small HTTP server for the download tests: Winsock, 127.0.0.1, an ephemeral
// port, one connection at a time on its own thread. It answers every request
// with the scripted response and records what it was asked.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class ResponseEnding {
    Complete,    // the whole body, then an orderly close
    CloseAfter,  // cutAfter bytes of the body, then an orderly close
    ResetAfter,  // cutAfter bytes of the body, then an abortive close (RST)
    NoResponse,  // the request is read, then the connection closes unanswered
    StallAfter,  // cutAfter bytes of the body, then nothing until the client gives up or the server stops
};

struct ScriptedResponse {
    int status = 200;
    std::string contentType = "text/xml";
    std::string body;
    ResponseEnding ending = ResponseEnding::Complete;
    size_t cutAfter = 0;
    DWORD pauseBeforeCloseMs = 0;     // between the last byte sent and the close
    DWORD pauseBeforeAnswerMs = 0;    // between the request and the first byte of the answer
    std::string location;             // a Location header (for redirects) when not empty
    bool headOnly = false;            // with StallAfter: not even the head is sent
    bool cacheable = false;           // headers that let a cache keep the answer for a day
    DWORD trickleHeadMs = 0;          // when set: a status line, then one header line this often,
                                      // never the head's end, until the server stops (three minutes at most)
};

// A whole answer of that status with body; a redirect when location is given.
inline ScriptedResponse answering(int status, const std::string& body, const std::string& location = "")
{
    ScriptedResponse r;
    r.status = status;
    r.body = body;
    r.location = location;
    return r;
}

// A whole answer of status 200 with body, after pauseMs.
inline ScriptedResponse serving(const std::string& body, DWORD pauseMs = 0)
{
    ScriptedResponse r = answering(200, body);
    r.pauseBeforeAnswerMs = pauseMs;
    return r;
}

// response, ended as how once cutAfter bytes of its body are sent.
inline ScriptedResponse endedAs(ScriptedResponse response, ResponseEnding how, size_t cutAfter = 0)
{
    response.ending = how;
    response.cutAfter = cutAfter;
    return response;
}

struct RecordedRequest {
    std::string requestLine;  // e.g. "GET /scripts/XML_daily.asp?nocache HTTP/1.1"
    std::string userAgent;
    std::string via;  // set by a proxy on the way
    DWORD receivedAt = 0;  // GetTickCount when its head had arrived
};

// A socket listening on a free loopback port, and a thread that takes one
// connection at a time and hands it to handle(), which closes it. A subclass's
// destructor calls stop() first, so the thread never outlives its members.
class LoopbackListener {
public:
    bool start();
    void stop();
    int port() const { return boundPort; }

protected:
    virtual ~LoopbackListener() = default;
    virtual void handle(SOCKET client) = 0;
    bool stopRequested() const { return stopping.load(); }

private:
    SOCKET listener = INVALID_SOCKET;
    int boundPort = 0;
    bool socketsStarted = false;
    std::thread worker;
    std::atomic<bool> stopping{false};
};

class TestHttpServer : public LoopbackListener {
public:
    ~TestHttpServer() override { stop(); }
    void respondWith(const ScriptedResponse& response);
    // Requests whose line holds part are answered with response instead.
    void respondTo(const std::string& part, const ScriptedResponse& response);
    std::vector<RecordedRequest> requests();

protected:
    void handle(SOCKET client) override;

private:
    std::mutex guard;
    ScriptedResponse script;
    std::vector<std::pair<std::string, ScriptedResponse>> routes;
    std::vector<RecordedRequest> seen;
};

// A loopback listener that takes connections and notes whether the first bytes
// of each are a TLS handshake record (a ClientHello); it never answers one.
class HandshakeListener : public LoopbackListener {
public:
    ~HandshakeListener() override { stop(); }
    int connections() const { return accepted.load(); }
    int handshakes() const { return hellos.load(); }

protected:
    void handle(SOCKET client) override;

private:
    std::atomic<int> accepted{0};
    std::atomic<int> hellos{0};
};

// Sends request to 127.0.0.1:port and returns all that comes back before the
// peer closes or timeoutMs pass. Empty when the connection fails.
std::string exchangeWithLoopback(int port, const std::string& request, DWORD timeoutMs);

// A port on 127.0.0.1 that nothing listens on (bound and released again).
int deadLoopbackPort();
