// Downloads one URL with TWinHTTP as the downloader sets it up (progress
// handler bound) and prints "<seconds> <bytes> <progress steps>".
//   http_download URL [OUTPUT_FILE]   (no file: the body goes to memory)
// OV_BENCH_BUFFER sets TransferBufferSize (default 4096).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "win_http.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: http_download URL [OUTPUT_FILE]\n");
        return 2;
    }
    PlainDispatcher dispatcher;
    int64_t bytes = -1;
    bool finished = false, failed = false;
    int64_t progressSteps = 0;
    {
        TWinHTTP http(dispatcher);
        http.AcceptTypes = "*/*";
        http.Agent = "[Quillmarsh]";
        http.InternetOptions = {ioIgnoreCertificateInvalid, ioKeepConnection};
        http.URL = argv[1];
        if (argc > 2) http.OutputFileName = argv[2];
        if (const char* size = std::getenv("OV_BENCH_BUFFER")) http.TransferBufferSize = std::atoi(size);
        http.OnProgress = [&](TCustomWinHTTP*, const std::string&, int64_t, int64_t, int64_t, int64_t, uint8_t, float,
                              TStream*) { ++progressSteps; };
        http.OnDone = [&](TCustomWinHTTP*, const std::string&, int64_t size, TStream*) {
            bytes = size;
            finished = true;
        };
        http.OnAnyError = [&](TCustomWinHTTP*) { failed = finished = true; };
        const auto start = std::chrono::steady_clock::now();
        if (!http.Read(false)) return 1;
        dispatcher.runUntil([&] { return finished && !http.Busy(); });
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (failed) {
            std::fprintf(stderr, "transfer failed\n");
            return 1;
        }
        std::printf("%.4f %lld %lld\n", seconds, static_cast<long long>(bytes), static_cast<long long>(progressSteps));
    }
    TCustomWinThread::WaitForAllThreads(dispatcher, std::chrono::seconds(10));
    return 0;
}
