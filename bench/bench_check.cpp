// potencor-check on a class's worth of protocols: 1,000 files of 200 lines,
// as the program writes them, against `cat` of the same files (the floor:
// reading the bytes and nothing else). Prints the best of several runs of
// each and their ratio; the target is under 1 s for the checker.
#include "check/check.h"
#include "check/report.h"
#include "core/protocol.h"
#include "core/protocol_parse.h"
#include "tests/check/session.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace potencor;

namespace {

constexpr int kFiles = 1000;
constexpr int kLines = 200;
constexpr int kRuns = 5;

// A student's session: whole-pixel clicks across the chart, some snapped,
// comma or full stop; UTF-8 with a mark or Windows-1251 bytes.
std::string protocolFile(std::mt19937& rng, int student)
{
    std::uniform_int_distribution<int> px(35, 997), py(33, 710);
    test::Student s;
    s.separator = student % 2 ? U',' : U'.';
    for (int i = 0; i < kLines; ++i) {
        const int dx = px(rng);
        s.clickPx(dx, py(rng), i % 10 == 0);
    }
    const std::string text = s.text();
    if (student % 3 == 0) {
        std::string ansi;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto b = static_cast<unsigned char>(text[i]);
            if (b < 0x80) {
                ansi += text[i];
            } else {
                const char32_t cp = ((b & 0x1F) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3F);
                ansi += static_cast<char>(cp - 0x410 + 0xC0); // А..я: C0..FF
            }
        }
        return ansi;
    }
    return "\xEF\xBB\xBF" + text;
}

template <class F>
double bestSeconds(F f)
{
    double best = 1e9;
    for (int r = 0; r < kRuns; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

void mustRun(const std::string& command)
{
    const int status = std::system(command.c_str());
    // potencor-check exits 0 (all ok) or 1 ("not at 100 %" is only a note).
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) > 1) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(2);
    }
}

} // namespace

int main()
{
    const fs::path dir = fs::temp_directory_path() / "potencor-bench-check";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::mt19937 rng(42);
    std::uintmax_t bytes = 0;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "student%04d.txt", i);
        const std::string content = protocolFile(rng, i);
        std::ofstream(dir / name, std::ios::binary) << content;
        bytes += content.size();
    }
    std::printf("%d files of %d lines, %.1f MB, in %s\n", kFiles, kLines, bytes / 1e6, dir.c_str());

    const std::string quoted = "'" + dir.string() + "'";
    const double cat = bestSeconds([&] { mustRun("cat " + quoted + "/*.txt > /dev/null"); });
    const double exe = bestSeconds([&] { mustRun("'" POTENCOR_CHECK_EXE "' " + quoted + " > /dev/null"); });
    const double exeJson = bestSeconds([&] { mustRun("'" POTENCOR_CHECK_EXE "' --format json " + quoted + " > /dev/null"); });

    // In process, without the process start: reading, decoding, checking.
    std::vector<std::string> paths;
    for (const auto& e : fs::directory_iterator(dir))
        paths.push_back(e.path().string());
    std::size_t ok = 0;
    const double lib = bestSeconds([&] {
        ok = 0;
        for (const std::string& p : paths)
            ok += check::checkFile(p, {}).ok;
    });
    if (ok != static_cast<std::size_t>(kFiles) * kLines) {
        std::fprintf(stderr, "only %zu lines ok\n", ok);
        return 2;
    }

    // The parser alone, for the record: 100,000 lines.
    std::vector<std::string> lines;
    for (int i = 0; i < 100000; ++i)
        lines.push_back(protocol::line(i, 21.425L + i % 97 * 0.1L, 3.5L + i % 89 * 0.2L, 6.3L, U','));
    std::size_t parsed = 0;
    const double parse = bestSeconds([&] {
        parsed = 0;
        for (const std::string& l : lines)
            parsed += protocol::parseLine(l).has_value();
    });

    std::printf("cat (floor)                    %8.1f ms\n", cat * 1e3);
    std::printf("potencor-check, text output    %8.1f ms   %5.1f x cat   (target < 1000 ms)\n", exe * 1e3, exe / cat);
    std::printf("potencor-check, json output    %8.1f ms   %5.1f x cat\n", exeJson * 1e3, exeJson / cat);
    std::printf("checkFile() in process         %8.1f ms   %5.2f us per line\n", lib * 1e3,
                lib * 1e6 / (kFiles * kLines));
    std::printf("parseLine(), 100,000 lines     %8.1f ms   (%zu parsed)\n", parse * 1e3, parsed);
    fs::remove_all(dir);
    return exe < 1.0 ? 0 : 1;
}
