#include "httpserver.h"

#include <ws2tcpip.h>

#include <chrono>
#include <cstdio>
#include <cstring>

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

std::string lowered(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

// The value of header name (lower case) in the request head, or "".
std::string headerValue(const std::string& head, const std::string& name)
{
    size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string::npos) {
        at += 2;
        size_t end = head.find("\r\n", at);
        if (end == std::string::npos) end = head.size();
        std::string line = head.substr(at, end - at);
        size_t colon = line.find(':');
        if (colon != std::string::npos && lowered(line.substr(0, colon)) == name) {
            size_t v = colon + 1;
            while (v < line.size() && line[v] == ' ') ++v;
            return line.substr(v);
        }
    }
    return "";
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

}  // namespace

bool LoopbackListener::start()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    socketsStarted = true;
    listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) return false;
    sockaddr_in address = loopback(0);
    int length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 8) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    boundPort = ntohs(address.sin_port);
    stopping = false;
    // Accepts until stopped, looking at the stop flag ten times a second.
    worker = std::thread([this] {
        while (!stopping) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(listener, &readable);
            timeval wait = {0, 100000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
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
    std::string head;
    char chunk[2048];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        int n = recv(client, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        head.append(chunk, static_cast<size_t>(n));
    }
    ScriptedResponse response;
    {
        std::lock_guard<std::mutex> lock(guard);
        if (head.find("\r\n\r\n") != std::string::npos) {
            RecordedRequest request;
            request.receivedAt = GetTickCount();
            request.requestLine = head.substr(0, head.find("\r\n"));
            request.userAgent = headerValue(head, "user-agent");
            request.via = headerValue(head, "via");
            seen.push_back(request);
        }
        response = script;
        std::string line = head.substr(0, head.find("\r\n"));
        for (const auto& route : routes)
            if (line.find(route.first) != std::string::npos) response = route.second;
    }

    if (response.pauseBeforeAnswerMs) Sleep(response.pauseBeforeAnswerMs);
    bool trickling = response.trickleHeadMs && sendAll(client, "HTTP/1.1 200 OK\r\n", 17);
    for (DWORD began = GetTickCount(); trickling && !stopRequested() && GetTickCount() - began < 60000;) {
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
    for (DWORD began = GetTickCount(); stall && !stopRequested() && GetTickCount() - began < 60000;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(client, &readable);
        timeval wait = {0, 50000};
        if (select(0, &readable, nullptr, nullptr, &wait) > 0 && recv(client, chunk, sizeof chunk, 0) <= 0) break;
    }
    if (abortive) {
        linger hard = {1, 0};  // closesocket sends RST
        setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
    } else {
        shutdown(client, SD_SEND);
        // Let the client take the rest before the socket goes, for at most a second.
        setTimeouts(client, 1000);
        while (recv(client, chunk, sizeof chunk, 0) > 0) {
        }
    }
    closesocket(client);
}

void HandshakeListener::handle(SOCKET client)
{
    ++accepted;
    // A TLS record: type 22 (handshake), version 3.x, then a ClientHello (1).
    unsigned char head[6] = {};
    int got = 0;
    while (got < 6) {
        int n = recv(client, reinterpret_cast<char*>(head) + got, 6 - got, 0);
        if (n <= 0) break;
        got += n;
    }
    if (got == 6 && head[0] == 22 && head[1] == 3 && head[5] == 1) ++hellos;
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
        if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            sendAll(s, request.data(), request.size())) {
            auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
            char chunk[2048];
            int n;
            while (std::chrono::steady_clock::now() < deadline && (n = recv(s, chunk, sizeof chunk, 0)) > 0)
                reply.append(chunk, static_cast<size_t>(n));
        }
        closesocket(s);
    }
    WSACleanup();
    return reply;
}

int deadLoopbackPort()
{
    int port = 0;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET) {
        sockaddr_in address = loopback(0);
        int length = sizeof address;
        if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        closesocket(s);
    }
    WSACleanup();
    return port;
}
