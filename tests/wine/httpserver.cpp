#include "httpserver.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>

namespace {

const DWORD SocketTimeoutMs = 5000;

void setTimeouts(SOCKET s, DWORD ms)
{
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}

bool sendAll(SOCKET s, const char* data, size_t size)
{
    while (size > 0) {
        int chunk = size > 16384 ? 16384 : static_cast<int>(size);
        int n = send(s, data, chunk, 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// What the peer sends until enough(all that came so far), the peer closes or a read fails.
std::string receiveUntil(SOCKET s, const std::function<bool(const std::string&)>& enough)
{
    std::string got;
    char chunk[2048];
    for (int n; !enough(got) && (n = recv(s, chunk, sizeof chunk, 0)) > 0;) got.append(chunk, size_t(n));
    return got;
}

// Whether s has bytes (or a connection) waiting within microseconds.
bool readable(SOCKET s, long microseconds)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait = {0, microseconds};
    return select(0, &set, nullptr, nullptr, &wait) > 0;
}

// The value of header name (lower case) in the request head, or "".
std::string headerValue(const std::string& head, const std::string& name)
{
    std::string lower = head;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    size_t at = lower.find("\r\n" + name + ":");
    if (at == std::string::npos) return "";
    at = head.find_first_not_of(' ', at + name.size() + 3);
    return head.substr(at, head.find("\r\n", at) - at);
}

const char* reasonOf(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

sockaddr_in loopback(int port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    return address;
}

// A TCP socket bound to a free port of 127.0.0.1, and that port (0 when either fails).
SOCKET boundLoopback(int& port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = loopback(0);
    int length = sizeof address;
    port = 0;
    if (s != INVALID_SOCKET && bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    return s;
}

}  // namespace

bool LoopbackListener::start()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    socketsStarted = true;
    listener = boundLoopback(boundPort);
    if (boundPort == 0 || listen(listener, 8) != 0) return false;
    stopping = false;
    // Accepts until stopped, looking at the stop flag ten times a second.
    worker = std::thread([this] {
        while (!stopping) {
            if (!readable(listener, 100000)) continue;
            SOCKET client = accept(listener, nullptr, nullptr);
            if (client == INVALID_SOCKET) continue;
            setTimeouts(client, SocketTimeoutMs);
            handle(client);
        }
    });
    return true;
}

void LoopbackListener::stop()
{
    stopping = true;
    if (worker.joinable()) worker.join();
    if (listener != INVALID_SOCKET) closesocket(listener);
    listener = INVALID_SOCKET;
    if (socketsStarted) WSACleanup();
    socketsStarted = false;
}

void TestHttpServer::respondWith(const ScriptedResponse& response)
{
    std::lock_guard<std::mutex> lock(guard);
    script = response;
}

void TestHttpServer::respondTo(const std::string& part, const ScriptedResponse& response)
{
    std::lock_guard<std::mutex> lock(guard);
    routes.emplace_back(part, response);
}

std::vector<RecordedRequest> TestHttpServer::requests()
{
    std::lock_guard<std::mutex> lock(guard);
    return seen;
}

void TestHttpServer::handle(SOCKET client)
{
    std::string head = receiveUntil(client, [](const std::string& got) {
        return got.find("\r\n\r\n") != std::string::npos || got.size() >= 65536;
    });
    std::string line = head.substr(0, head.find("\r\n"));
    ScriptedResponse response;
    {
        std::lock_guard<std::mutex> lock(guard);
        if (head.find("\r\n\r\n") != std::string::npos)
            seen.push_back({line, headerValue(head, "user-agent"), headerValue(head, "via"), GetTickCount()});
        response = script;
        for (const auto& route : routes)
            if (line.find(route.first) != std::string::npos) response = route.second;
    }

    if (response.pauseBeforeAnswerMs) Sleep(response.pauseBeforeAnswerMs);
    bool trickling = response.trickleHeadMs && sendAll(client, "HTTP/1.1 200 OK\r\n", 17);
    for (DWORD began = GetTickCount(); trickling && !stopRequested() && GetTickCount() - began < 180000;) {
        Sleep(response.trickleHeadMs);
        trickling = sendAll(client, "X-Trickle: 1\r\n", 15);
    }
    if (response.trickleHeadMs) response.ending = ResponseEnding::NoResponse;
    bool abortive = false;
    bool stall = response.ending == ResponseEnding::StallAfter;
    if (response.ending != ResponseEnding::NoResponse && !(stall && response.headOnly)) {
        std::string location = response.location.empty() ? "" : "Location: " + response.location + "\r\n";
        char header[768];
        std::snprintf(header, sizeof header,
                      "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %u\r\n%s%s\r\n",
                      response.status, reasonOf(response.status), response.contentType.c_str(),
                      static_cast<unsigned>(response.body.size()), location.c_str(),
                      response.cacheable ? "Cache-Control: public, max-age=86400\r\n"
                                           "Last-Modified: Mon, 07 Dec 2026 08:00:00 GMT\r\nConnection: close\r\n"
                                         : "Cache-Control: no-cache, no-store\r\nPragma: no-cache\r\n"
                                           "Connection: close\r\n");
        size_t bodyBytes = response.body.size();
        if (response.ending != ResponseEnding::Complete && response.cutAfter < bodyBytes)
            bodyBytes = response.cutAfter;
        if (sendAll(client, header, std::strlen(header))) sendAll(client, response.body.data(), bodyBytes);
        abortive = response.ending == ResponseEnding::ResetAfter;
    }
    if (response.pauseBeforeCloseMs) Sleep(response.pauseBeforeCloseMs);
    // A stall: hold the connection, sending nothing, until the client closes it
    // or the server stops (then at most a minute, so no test hangs on it).
    char chunk[2048];
    for (DWORD began = GetTickCount(); stall && !stopRequested() && GetTickCount() - began < 60000;)
        if (readable(client, 50000) && recv(client, chunk, sizeof chunk, 0) <= 0) break;
    if (abortive) {
        linger hard = {1, 0};  // closesocket sends RST
        setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
    } else {
        shutdown(client, SD_SEND);
        // Let the client take the rest before the socket goes, for at most a second.
        setTimeouts(client, 1000);
        receiveUntil(client, [](const std::string&) { return false; });
    }
    closesocket(client);
}

void HandshakeListener::handle(SOCKET client)
{
    ++accepted;
    // A TLS record: type 22 (handshake), version 3.x, then a ClientHello (1).
    std::string head = receiveUntil(client, [](const std::string& got) { return got.size() >= 6; });
    if (head.size() >= 6 && head[0] == 22 && head[1] == 3 && head[5] == 1) ++hellos;
    closesocket(client);
}

std::string exchangeWithLoopback(int port, const std::string& request, DWORD timeoutMs)
{
    std::string reply;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return reply;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET) {
        setTimeouts(s, timeoutMs);
        sockaddr_in address = loopback(port);
        DWORD began = GetTickCount();
        if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            sendAll(s, request.data(), request.size()))
            reply = receiveUntil(s, [&](const std::string&) { return GetTickCount() - began >= timeoutMs; });
        closesocket(s);
    }
    WSACleanup();
    return reply;
}

int deadLoopbackPort()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
    int port;
    SOCKET s = boundLoopback(port);
    if (s != INVALID_SOCKET) closesocket(s);
    WSACleanup();
    return port;
}
