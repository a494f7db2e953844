// The history fill's figures against a running rates service (the sample
// service): the core's own fill, with a plain socket download in place of
// WinINet and the real one-second spacing. It prints requests, bytes received,
// seconds and bytes written to the history file, and what the day-by-day way
// would have received; it judges nothing.
// Usage: fill_figures PORT CAPACITY FOLDER
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "data/history.h"
#include "platform/testhooks.h"
#include "update/document.h"
#include "update/download.h"
#include "update/fill.h"
#include "update/ratesurl.h"
#include "update/schedule.h"

namespace {

int port;
long long bytesReceived;
int requestsMade;
std::string body;
const auto started = std::chrono::steady_clock::now();

uint32_t milliseconds()
{
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
                        .count());
}

// GET of a URL's path on the service: the body of a 200 answer, or false.
bool get(const char16_t* url)
{
    std::string target;
    for (; *url; ++url) target += char(*url);
    size_t path = target.find('/', target.find("//") + 2);
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s < 0 || connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (s >= 0) close(s);
        return false;
    }
    std::string request = "GET " + target.substr(path) + " HTTP/1.0\r\nHost: www.cbr.ru\r\n\r\n";
    send(s, request.data(), request.size(), 0);
    std::string answer;
    char chunk[16384];
    for (ssize_t got; (got = recv(s, chunk, sizeof chunk, 0)) > 0;) answer.append(chunk, size_t(got));
    close(s);
    ++requestsMade;
    bytesReceived += static_cast<long long>(answer.size());
    size_t head = answer.find("\r\n\r\n");
    if (answer.compare(0, 12, "HTTP/1.0 200") != 0 || head == std::string::npos) return false;
    body = answer.substr(head + 4);
    return true;
}

bool fetch(const char16_t* url, char*& text, size_t& length)
{
    if (!get(url) || body.size() >= DocumentLimit) return false;
    text = &body[0];
    length = body.size();
    return true;
}

// The daily form, accepted or refused as the plug-in's download does it.
bool download(bool latest, const DayCode& day)
{
    char16_t url[RatesUrlCapacity];
    DayCode stored;
    return buildRatesUrl(url, RatesUrlCapacity, latest, day) && get(url) &&
           storeReceivedDocument(&body[0], body.size(), stored);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: fill_figures PORT CAPACITY FOLDER\n");
        return 2;
    }
    port = std::atoi(argv[1]);
    int capacity = std::atoi(argv[2]);
    std::string file = std::string(argv[3]) + "/vokCurrency.his";
    std::remove(file.c_str());
    std::u16string path(file.begin(), file.end());
    loadHistory(path.c_str(), capacity);
    schedulePlatform.tickCount = milliseconds;
    schedulePlatform.sleepMs = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    schedulePlatform.download = download;
    schedulePlatform.fetchDocument = fetch;
    schedulePlatform.startFillThread = [] {
        fillWorker();
        return true;
    };

    // The one day the store starts with, as the first update leaves it; and the
    // size of one daily table, the day-by-day way's cost per day.
    if (!download(true, DayCode{0, 0, 0})) {
        std::fprintf(stderr, "fill_figures: no table from 127.0.0.1:%d\n", port);
        return 1;
    }
    long long dailyBytes = bytesReceived;
    bytesReceived = 0;
    requestsMade = 0;
    long accessesBefore = fileAccessCount;
    uint32_t began = milliseconds();
    startFill();
    double seconds = (milliseconds() - began) / 1000.0;
    DayCode oldest;
    int32_t stored = storedDaySummary(oldest);
    // Each save replaces the history file and its companion: the saves times both
    // files' final size bounds what was written.
    long long saves = (fileAccessCount - accessesBefore) / 2;
    long long finalSize = (long long)capacity * 140 + 8 + (long long)stored * 220;
    long long written = saves * finalSize;
    int filled = 0;
    for (int c = 0; stored > 0 && c < CurrencyCount; ++c) filled += history.records[stored - 1].rates[c].nominal > 0;
    std::printf("fill of %d days: outcome %d (2 complete), %d days stored, oldest %02d.%02d.%04d\n", capacity,
                int(fillOutcome()), stored, oldest.day, oldest.month, yearOf(oldest));
    std::printf("  currencies filled: %d (of %d the service lists)\n", filled,
                [] {
                    int listed = 0;
                    for (int c = 0; c < CurrencyCount; ++c) listed += history.records[0].rates[c].nominal > 0;
                    return listed;
                }());
    std::printf("  requests: %d   seconds: %.1f\n", requestsMade, seconds);
    std::printf("  bytes received: %lld; day by day: about %lld (%d days x %lld), %.0f%% of it\n", bytesReceived,
                (stored - 1) * dailyBytes, stored - 1, dailyBytes, 100.0 * bytesReceived / ((stored - 1) * dailyBytes));
    std::printf("  bytes written to the history files: at most %lld, %.1f times their final size\n", written,
                double(written) / double(finalSize));
    freeHistory();
    return 0;
}
