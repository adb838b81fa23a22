// XML benchmark: the worst files just under the bound every reader of the system's XML files
// keeps (quiva::kMaxDataFileBytes and CKXXmlDocument::kMaxNodes): dense with empty elements,
// with attributes, with comments, and one long text; each is written to a scratch folder and
// loaded by CKXXmlDocument in a child process of its own, which then looks a setting up among
// the root's children (so their index is made), and the wall time, CPU time and peak
// resident memory of that child are printed, with an info.xml of 10,000 stills as the anchor.
//   bench_xml_bounds [folder]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "framework/CKXXmlDocument.h"
#include "platform/base/codepage.h"
#include "platform/base/fileapi.h"

namespace fs = std::filesystem;

namespace {

// Pieces repeated after the root's start tag until the file would pass `bytes` or hold
// `nodes` elements and attributes (each piece making `nodesEach`).
std::string Dense(const std::string& piece, size_t nodesEach, size_t bytes, size_t nodes)
{
    const std::string head = "<?xml version=\"1.0\" encoding=\"euc-kr\"?><r>", tail = "</r>";
    std::string text = head;
    size_t made = 2;  // the declaration and the root
    while (text.size() + piece.size() + tail.size() <= bytes && made + nodesEach <= nodes) {
        text += piece;
        made += nodesEach;
    }
    return text + tail;
}

std::string Attributes()
{
    std::string tag = "<a";
    for (int i = 0; i < CKXXmlDocument::kMaxAttributes - 1; ++i)
        tag += " b" + std::to_string(i) + "=\"\"";
    return tag + "/>";
}

std::string Stills(int count)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\n<patient chartNo=\"12345\">홍길동</patient>\n";
    for (int i = 0; i < count; ++i)
        text += "<image Study=\"위내시경\" StudyDate=\"2026-12-10\" Saved=\"FALSE\" Deleted=\"FALSE\" IsVideo=\"FALSE\">"
                "D:\\HRB4100\\temp\\image\\12345\\위내시경\\20261210\\20261210_101010_" + std::to_string(i) + ".jpg</image>\n";
    return text;
}

void Run(const char* what, const fs::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
    const bench::Clock::time_point start = bench::Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        CKXXmlDocument document;
        const bool loaded = document.Load(quiva::Utf8ToWide(file.string()).c_str());
        // A setting looked up among the root's children, as a settings reader does first.
        document.GetValue(L"/window");
        _exit(loaded ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double wall = bench::MsSince(start) / 1000;
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("%-34s %9.2f MB  %s  wall %6.3f s  cpu %6.3f s  peak %7.1f MB\n", what, text.size() / 1048576.0,
                WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "loaded " : "refused", wall, cpu,
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    fs::remove(file);
}

}  // namespace

int main(int argc, char** argv)
{
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const fs::path file = folder / "bench_xml_bounds.xml";
    const size_t bytes = quiva::kMaxDataFileBytes, nodes = CKXXmlDocument::kMaxNodes;
    std::printf("bound: %zu bytes, %zu nodes\n", bytes, nodes);
    Run("info.xml of 10,000 stills", file, Stills(10000));
    Run("empty elements", file, Dense("<a/>", 1, bytes, nodes));
    Run("elements holding text", file, Dense("<a>x</a>", 2, bytes, nodes));
    Run("attributes", file, Dense(Attributes(), CKXXmlDocument::kMaxAttributes, bytes, nodes));
    Run("comments", file, Dense("<!---->", 1, bytes, nodes));
    Run("one long text", file, Dense(std::string(bytes - 64, 'x'), 1, bytes, nodes));
    Run("empty elements, one past the bound", file, Dense("<a/>", 1, bytes, nodes + 1));
    return 0;
}
