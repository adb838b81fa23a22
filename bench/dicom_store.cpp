// Storage client against DCMTK's storescu: both store the same Secondary Capture objects to one
// local storescp (--ignore, so no disk cost), one association per object, with the same
// transfer syntax and maximum PDU (16384).
//
// Each object is one round: ours, the loopback limit (the same bytes through a local TCP peer),
// a storescu run and a storescu run against a port where nothing listens, their order turned
// round every round, all on the monotonic clock:
// - ours runs in this process; an object's time is from making the client to closing its socket
//   (parse of the file's bytes, association, transfer, response, release);
// - storescu runs once per object and its whole run is its time; the run against the closed port
//   does everything else a run does (process start, dictionary load, input file check) and ends
//   at the refused connect, and is printed as its start-up. The one is never taken from the other:
//   under load the start-up of one run can outlast the whole of another.
//
// Usage: bench_dicom_store [objects-per-kind]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchClock.h"
#include "bench/BenchPeer.h"
#include "dicom/CSecondaryCaptureDicomDocument.h"
#include "dicom/DicomDictionary.h"
#include "dicom/DicomNetworkClient.h"
#include "platform/base/memoryapi.h"
#include "platform/gdi/ImageCodec.h"

namespace {

using bench::Clock;
using bench::FreePort;
using bench::Ms;
using bench::Spawn;
using bench::WaitListening;

// The loopback limit: the bytes written to a local TCP peer that reads them all and answers one
// byte, from the connect to that answer; the wall time in ms.
double Loopback(const std::vector<uint8_t>& bytes)
{
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = bench::LoopbackAddress(0);
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    ::listen(listener, 1);
    socklen_t len = sizeof(a);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    std::thread peer([listener] {
        const int s = ::accept(listener, nullptr, nullptr);
        std::vector<char> buf(1 << 16);
        while (::read(s, buf.data(), buf.size()) > 0) {
        }
        const char done = 1;
        (void)::write(s, &done, 1);
        ::close(s);
    });
    const Clock::time_point t0 = Clock::now();
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::write(s, bytes.data() + sent, bytes.size() - sent);
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    ::shutdown(s, SHUT_WR);
    char done = 0;
    (void)::read(s, &done, 1);
    const double ms = Ms(Clock::now() - t0);
    ::close(s);
    peer.join();
    ::close(listener);
    return ms;
}

// Runs a program to its end; its exit status and the wall time.
int Run(const std::vector<std::string>& args, double* ms)
{
    Clock::time_point t0 = Clock::now();
    pid_t pid = Spawn(args);
    int status = 0;
    ::waitpid(pid, &status, 0);
    *ms = Ms(Clock::now() - t0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> Encode(CSecondaryCaptureDicomDocument& doc)
{
    doc.GetCodingState().preamble = 1;
    doc.GetCodingState().dicmPrefix = 1;
    DWORD length = 0;
    BYTE* bytes = doc.Encode(&length);
    std::vector<uint8_t> out(bytes, bytes + length);
    VirtualFree(bytes, 0, MEM_RELEASE);
    return out;
}

void Describe(CSecondaryCaptureDicomDocument& doc, const wchar_t* uid, bool jpeg)
{
    doc.SetPatient(L"12345", L"BENCH^PATIENT", L"19800101", L"F");
    doc.SetStudy(L"1.2.999.424242.1.9", L"1", L"20261209", L"101010", L"Bench", L"1", L"SC", L"");
    doc.SetSeries(L"1.2.999.424242.2.9", L"Bench", L"1", L"");
    doc.SetImage(uid, 1920, 1080, FALSE, 1, 8);
    if (jpeg)
        doc.SetString(DICOM_TAG(0x0002, 0x0010), DICOM_TRANSFER_SYNTAX_JPEG_BASELINE, DICOM_VR_UI);
}

// A camera-like 1920x1080 picture: smooth shading with fine noise, so the JPEG has a realistic size.
std::vector<uint32_t> Picture()
{
    std::vector<uint32_t> px(1920 * 1080);
    uint32_t seed = 12345;
    for (int y = 0; y < 1080; ++y)
        for (int x = 0; x < 1920; ++x) {
            seed = seed * 1103515245u + 12345u;
            int n = static_cast<int>((seed >> 16) & 31) - 16;
            auto c = [&](double v) { return static_cast<uint32_t>(std::clamp(v + n, 0.0, 255.0)); };
            uint32_t r = c(128 + 100 * std::sin(x / 97.0) * std::cos(y / 71.0));
            uint32_t g = c(110 + 90 * std::sin((x + y) / 131.0));
            uint32_t b = c(140 + 80 * std::cos(x / 53.0 - y / 89.0));
            px[static_cast<size_t>(y) * 1920 + x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    return px;
}

struct Kind {
    const char* name;
    const char* key;
    std::vector<uint8_t> object;
    std::string file;
    const wchar_t* transferSyntax;
    const char* storescuSyntax;
};

// One kind of object stored `objects` times, one round each: ours, the loopback, a storescu run
// and one against the closed port, alternated; prints its figures and returns the failed stores.
int StoreRounds(const Kind& k, int objects, uint16_t port, uint16_t closedPort)
{
    int failures = 0;
    std::vector<double> ours, theirs, startup, loopback;
    const std::vector<std::string> common{"storescu", "-aet", "HRBIMAGE", "-aec", "PACS", "-R", k.storescuSyntax,
                                          "--max-pdu", "16384", "127.0.0.1"};
    auto storescu = [&](uint16_t to, std::vector<double>& times) {
        std::vector<std::string> args = common;
        args.push_back(std::to_string(to));
        args.push_back(k.file);
        double ms = 0;
        const int status = Run(args, &ms);
        times.push_back(ms);
        return status;
    };
    auto oursAndLoopback = [&](int round) {
        if (round % 2)
            loopback.push_back(Loopback(k.object));
        const Clock::time_point t0 = Clock::now();
        CDicomNetworkClient client;
        client.SetServer(L"PACS", L"127.0.0.1", port);
        client.SetCallingAETitle(L"HRBIMAGE");
        client.AddPresentationContext(DICOM_SOP_CLASS_SECONDARY_CAPTURE, k.transferSyntax);
        bool ok = client.ConnectAndAssociate() &&
                  client.StoreDocument(k.object.data(), static_cast<DWORD>(k.object.size()));
        client.Release();
        client.CloseSocket();
        ours.push_back(Ms(Clock::now() - t0));
        failures += !ok;
        if (round % 2 == 0)
            loopback.push_back(Loopback(k.object));
        return true;
    };
    auto theirRuns = [&](int) {
        failures += storescu(port, theirs) != 0;
        storescu(closedPort, startup);
        return true;
    };
    bench::Alternate(objects, oursAndLoopback, theirRuns);
    std::printf("%s, %zu bytes, ms an object:\n", k.name, k.object.size());
    bench::PrintRatio(std::string("cstore-") + k.key + "-loopback", ours, loopback, "ms");
    bench::PrintRatio(std::string("cstore-") + k.key + "-storescu", ours, theirs, "ms");
    bench::PrintFigure(std::string("cstore-") + k.key + "-storescu-startup", startup, "ms");
    return failures;
}

}  // namespace

int main(int argc, char** argv)
{
    const int objects = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    // DCMTK leaves Nagle's algorithm on unless told; storescp and storescu inherit this.
    ::setenv("TCP_NODELAY", "1", 1);
    char folderTemplate[] = "/tmp/bench-dicom-XXXXXX";
    const std::string folder = ::mkdtemp(folderTemplate);
    CDicomNetworkClient::SetDumpPath(CString());

    std::vector<uint32_t> pixels = Picture();
    std::vector<Kind> kinds;
    {
        std::string jpeg;
        quiva::EncodeJpeg(pixels.data(), 1920, 1080, 90, jpeg);
        CSecondaryCaptureDicomDocument doc;
        Describe(doc, L"1.2.999.424242.4.91", true);
        doc.SetEncapsulatedPixelData(reinterpret_cast<const BYTE*>(jpeg.data()), static_cast<DWORD>(jpeg.size()));
        kinds.push_back({"JPEG 1920x1080", "jpeg", Encode(doc), folder + "/jpeg.dcm", DICOM_TRANSFER_SYNTAX_JPEG_BASELINE, "-xy"});
    }
    {
        std::vector<uint8_t> rgb(1920 * 1080 * 3);
        for (size_t i = 0; i < pixels.size(); ++i) {
            rgb[i * 3] = static_cast<uint8_t>(pixels[i] >> 16);
            rgb[i * 3 + 1] = static_cast<uint8_t>(pixels[i] >> 8);
            rgb[i * 3 + 2] = static_cast<uint8_t>(pixels[i]);
        }
        CSecondaryCaptureDicomDocument doc;
        Describe(doc, L"1.2.999.424242.4.92", false);
        doc.SetPixelData(rgb.data(), static_cast<DWORD>(rgb.size()));
        kinds.push_back({"raw RGB 1920x1080", "raw", Encode(doc), folder + "/raw.dcm", DICOM_TRANSFER_SYNTAX_EXPLICIT_LE, "-xe"});
    }
    for (Kind& k : kinds) {
        FILE* f = std::fopen(k.file.c_str(), "wb");
        std::fwrite(k.object.data(), 1, k.object.size(), f);
        std::fclose(f);
    }

    const uint16_t port = FreePort();
    pid_t pacs = Spawn({"storescp", "--ignore", "+xa", "--aetitle", "PACS", "--max-pdu", "16384", std::to_string(port)});
    if (!WaitListening(port)) {
        std::fprintf(stderr, "storescp did not start\n");
        return 1;
    }
    const uint16_t closedPort = FreePort();

    std::printf("%d objects per kind, one association each, max PDU 16384, storescp --ignore on 127.0.0.1\n", objects);
    int failures = 0;
    for (const Kind& k : kinds)
        failures += StoreRounds(k, objects, port, closedPort);
    std::printf("ours: in process; loopback: the same bytes through a local TCP peer; storescu: its whole run, one\n"
                "process an object; storescu-startup: its run against a port where nothing listens\n");

    ::kill(pacs, SIGTERM);
    ::waitpid(pacs, nullptr, 0);
    for (const Kind& k : kinds)
        std::remove(k.file.c_str());
    ::rmdir(folder.c_str());
    if (failures)
        std::fprintf(stderr, "%d stores failed\n", failures);
    return failures ? 1 : 0;
}
