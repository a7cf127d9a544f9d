// potencor-check on a class's worth of protocols: 1,000 files of 200 lines,
// as the program writes them, ten of them copies of others, against `cat` of
// the same files (the floor: reading the bytes and nothing else). Prints the
// best of several runs of each and their ratio; the target is under 1 s for
// the checker, copy detection included. Then the HTML report of a class of
// 30 protocols of 50 lines: its time (target under 1 s) and size (under 2 MB).
#include "check/check.h"
#include "check/copies.h"
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
constexpr int kCopies = 10; // the last files copy the first ones, a name typed on top
constexpr int kRuns = 5;
constexpr int kClassFiles = 30;
constexpr int kClassLines = 50;

// A student's session: whole-pixel clicks across the chart, some snapped,
// comma or full stop; UTF-8 with a mark or Windows-1251 bytes.
std::string protocolFile(std::mt19937& rng, int student, int lines = kLines)
{
    std::uniform_int_distribution<int> px(35, 997), py(33, 710);
    test::Student s;
    s.separator = student % 2 ? U',' : U'.';
    for (int i = 0; i < lines; ++i) {
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
    std::vector<std::string> contents;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "student%04d.txt", i);
        std::string content;
        if (i < kFiles - kCopies) {
            content = protocolFile(rng, i);
        } else {
            content = contents[i - (kFiles - kCopies)];
            const std::size_t afterMark = content.starts_with("\xEF\xBB\xBF") ? 3 : 0;
            content.insert(afterMark, "Kopiya\r\n");
        }
        std::ofstream(dir / name, std::ios::binary) << content;
        bytes += content.size();
        contents.push_back(std::move(content));
    }
    std::printf("%d files of %d lines (%d of them copies), %.1f MB, in %s\n", kFiles, kLines, kCopies, bytes / 1e6,
                dir.c_str());

    const std::string quoted = "'" + dir.string() + "'";
    const double cat = bestSeconds([&] { mustRun("cat " + quoted + "/*.txt > /dev/null"); });
    const double exe = bestSeconds([&] { mustRun("'" POTENCOR_CHECK_EXE "' " + quoted + " > /dev/null"); });
    const double exeJson = bestSeconds([&] { mustRun("'" POTENCOR_CHECK_EXE "' --format json " + quoted + " > /dev/null"); });

    // In process, without the process start: reading, decoding, checking.
    std::vector<std::string> paths;
    for (const auto& e : fs::directory_iterator(dir))
        paths.push_back(e.path().string());
    std::sort(paths.begin(), paths.end());
    std::size_t ok = 0;
    std::vector<check::FileReport> reports;
    const double lib = bestSeconds([&] {
        ok = 0;
        reports.clear();
        for (const std::string& p : paths) {
            reports.push_back(check::checkFile(p, {}));
            ok += reports.back().ok;
        }
    });
    if (ok != static_cast<std::size_t>(kFiles) * kLines) {
        std::fprintf(stderr, "only %zu lines ok\n", ok);
        return 2;
    }

    // Copy detection alone, on the reports of the whole set: exactly the
    // pairs made above.
    std::size_t points = 0;
    for (const check::FileReport& r : reports)
        points += r.points.size();
    std::vector<check::FileReport> withCopies;
    double copies = 1e9;
    for (int r = 0; r < kRuns; ++r) {
        withCopies = reports; // not timed: the detection works on the checked reports
        const auto t0 = std::chrono::steady_clock::now();
        check::findCopies(withCopies, false);
        copies = std::min(copies, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::size_t pairs = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::size_t want = i < kCopies || i >= kFiles - kCopies ? 1 : 0;
        const std::size_t partner = i < kCopies ? i + kFiles - kCopies : i - (kFiles - kCopies);
        if (withCopies[i].copies.size() != want || (want && withCopies[i].copies[0].with != paths[partner])) {
            std::fprintf(stderr, "%s: %zu suspected copies, expected %zu\n", paths[i].c_str(),
                         withCopies[i].copies.size(), want);
            return 2;
        }
        pairs += want;
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

    // The HTML report of a class: 30 protocols of 50 lines, a few wrong lines.
    const fs::path classDir = fs::temp_directory_path() / "potencor-bench-check-class";
    fs::remove_all(classDir);
    fs::create_directories(classDir);
    for (int i = 0; i < kClassFiles; ++i) {
        std::string content = protocolFile(rng, i, kClassLines);
        if (i % 5 == 0)
            content.replace(content.find("phi=") + 4, 1, "1"); // a wrong first potential
        std::ofstream(classDir / ("student" + std::to_string(i) + ".txt"), std::ios::binary) << content;
    }
    const fs::path page = fs::temp_directory_path() / "potencor-bench-check-class.html";
    const double html = bestSeconds(
        [&] { mustRun("'" POTENCOR_CHECK_EXE "' --html '" + page.string() + "' '" + classDir.string() + "' > /dev/null"); });
    const double htmlBytes = static_cast<double>(fs::file_size(page));
    const double htmlAll = bestSeconds([&] {
        mustRun("'" POTENCOR_CHECK_EXE "' --html '" + page.string() + "' " + quoted + " > /dev/null");
    });
    const double htmlAllBytes = static_cast<double>(fs::file_size(page));
    fs::remove_all(classDir);
    fs::remove(page);

    std::printf("cat (floor)                    %8.1f ms\n", cat * 1e3);
    std::printf("potencor-check, text output    %8.1f ms   %5.1f x cat   (target < 1000 ms)\n", exe * 1e3, exe / cat);
    std::printf("potencor-check, json output    %8.1f ms   %5.1f x cat\n", exeJson * 1e3, exeJson / cat);
    std::printf("checkFile() in process         %8.1f ms   %5.2f us per line\n", lib * 1e3,
                lib * 1e6 / (kFiles * kLines));
    std::printf("findCopies() on the reports    %8.1f ms   %5.2f us per point (%zu), %zu of %d copies found\n",
                copies * 1e3, copies * 1e6 / static_cast<double>(points), points, pairs / 2, kCopies);
    std::printf("--html, %d files of %d lines    %8.1f ms   %.2f MB   (targets < 1000 ms, < 2 MB)\n", kClassFiles,
                kClassLines, html * 1e3, htmlBytes / 1e6);
    std::printf("--html, %d files of %d lines %8.1f ms   %.2f MB   (for the record)\n", kFiles, kLines, htmlAll * 1e3,
                htmlAllBytes / 1e6);
    std::printf("parseLine(), 100,000 lines     %8.1f ms   (%zu parsed)\n", parse * 1e3, parsed);
    fs::remove_all(dir);
    return exe < 1.0 && html < 1.0 && htmlBytes < 2e6 ? 0 : 1;
}
