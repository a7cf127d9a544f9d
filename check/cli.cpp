#include "check/cli.h"

#include "check/copies.h"
#include "check/escape.h"
#include "check/html.h"
#include "check/report.h"
#include "core/error.h"
#include "core/file_io.h"
#include "core/platform.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <getopt.h>
#include <set>
#include <system_error>

namespace potencor::check {
namespace fs = std::filesystem;
namespace {

std::string usage(bool canPlot)
{
    return std::string("Usage: potencor-check [OPTION]... FILE|DIR...\n"
           "Checks measurement protocols saved by Potencor against the field model.\n"
           "\n"
           "  -r, --recursive        look for *.txt in subdirectories of DIR too\n"
           "      --encoding NAME    read every file in NAME: ANSI, ASCII, Unicode,\n"
           "                         \"Big Endian Unicode\", UTF-8 or UTF-7 (default: detect)\n"
           "      --format FORMAT    text (default), csv or json\n"
           "      --csv-separator SEP\n"
           "                         ';' with decimal commas, or ',' with points (default:\n"
           "                         ';' where the locale's decimal separator is a comma)\n"
           "      --strict           a suspected copy is an error, not a warning\n"
           "      --html FILE.html   also write a class report to read in a browser\n")
        + (canPlot ? "      --plot FILE.png    draw each protocol's points on the program's chart\n"
                     "      --equipotentials   draw the model's equipotential lines in the plots\n"
                   : "      --plot FILE.png    not available in this build (it has no Qt to draw with)\n"
                     "      --equipotentials   not available either (it draws in the plots)\n")
        + "      --max-size MB      refuse files larger than this (default "
        + std::to_string(protocol::kMaxFileBytes >> 20) + ")\n"
           "  -h, --help             show this help and exit\n"
           "      --version          show the version and exit\n"
           "\n"
           "Exit status: 0 all protocols correct, 1 errors found (a suspected copy too with\n"
           "--strict), 2 a file or folder could not be read (a FIFO or device among them)\n"
           "or a plot or the report not written; each is named on standard error and the\n"
           "others are still checked.\n";
}

struct Input {
    std::string path; // as it will be reported
    std::string name; // for the plot's file name: relative to the argument
};

bool isTxt(const fs::path& p)
{
    std::string ext = platform::utf8Of(p.extension());
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".txt";
}

// Every *.txt in dir (and its subfolders, recursive), sorted, whatever it
// is: one that is no readable file (a FIFO, a broken link, a link loop) is
// named when it is checked. A folder that cannot be listed is named here and
// makes the run a failure: its protocols go unchecked.
std::vector<Input> listDirectory(const std::string& dir, bool recursive, std::ostream& err, bool& trouble)
{
    std::vector<Input> found;
    const auto cannotList = [&](const fs::path& folder, const std::error_code& ec) {
        err << "potencor-check: " << visible(platform::utf8Of(folder)) << ": " << ec.message() << '\n';
        trouble = true;
    };
    const fs::path top = platform::pathOf(dir);
    std::vector<fs::path> folders{top};
    while (!folders.empty()) {
        const fs::path folder = std::move(folders.back());
        folders.pop_back();
        std::error_code ec;
        fs::directory_iterator it(folder, ec);
        for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
            const fs::path& p = it->path();
            std::error_code ignored;
            // A link to a folder is not followed down, as find(1) does not.
            if (recursive && it->is_directory(ignored) && !it->is_symlink(ignored))
                folders.push_back(p);
            else if (isTxt(p) && !it->is_directory(ignored))
                found.push_back({platform::utf8Of(p), platform::utf8Of(p.lexically_relative(top))});
        }
        if (ec)
            cannotList(folder, ec);
    }
    std::sort(found.begin(), found.end(), [](const Input& a, const Input& b) { return a.path < b.path; });
    return found;
}

std::string stripTxt(std::string name)
{
    if (isTxt(name))
        name.resize(name.size() - 4);
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}

} // namespace

std::vector<std::string> plotPaths(const std::string& plotPath, const std::vector<std::string>& inputNames)
{
    if (inputNames.size() == 1)
        return {plotPath};
    const fs::path base(plotPath);
    std::vector<std::string> paths;
    std::set<std::string> taken;
    for (const std::string& name : inputNames) {
        const std::string stem = base.stem().string() + "-" + stripTxt(name);
        std::string candidate = stem;
        for (int k = 2; !taken.insert(candidate).second; ++k)
            candidate = stem + "-" + std::to_string(k);
        paths.push_back((base.parent_path() / (candidate + ".png")).string());
    }
    return paths;
}

int run(int argc, char** argv, std::ostream& out, std::ostream& err, const Plotter& plot, bool colour)
{
    enum { kEncoding = 256, kFormat, kPlot, kMaxSize, kVersion, kCsvSeparator, kStrict, kHtml, kEquipotentials };
    static const option longOptions[] = {
        {"recursive", no_argument, nullptr, 'r'},
        {"encoding", required_argument, nullptr, kEncoding},
        {"format", required_argument, nullptr, kFormat},
        {"plot", required_argument, nullptr, kPlot},
        {"max-size", required_argument, nullptr, kMaxSize},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, kVersion},
        {"csv-separator", required_argument, nullptr, kCsvSeparator},
        {"strict", no_argument, nullptr, kStrict},
        {"html", required_argument, nullptr, kHtml},
        {"equipotentials", no_argument, nullptr, kEquipotentials},
        {nullptr, 0, nullptr, 0},
    };
    bool recursive = false;
    Format format = Format::Text;
    std::optional<std::string> plotPath;
    std::optional<std::string> htmlPath;
    std::optional<CsvStyle> csvStyle;
    bool strict = false;
    bool plotEquipotentials = false;
    Options options;
    const auto usageError = [&](const std::string& what) {
        err << "potencor-check: " << what << "\nTry 'potencor-check --help'.\n";
        return kExitTrouble;
    };

    optind = 0; // glibc: start afresh, so that run() may be called again
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, "rh", longOptions, nullptr)) != -1;) {
        const std::string arg = optarg ? optarg : "";
        switch (c) {
        case 'r': recursive = true; break;
        case 'h': out << usage(static_cast<bool>(plot)); return kExitOk;
        case kVersion: out << "potencor-check " POTENCOR_VERSION "\n"; return kExitOk;
        case kEncoding:
            options.encoding = text::encodingFromName(arg);
            if (!options.encoding)
                return usageError("unknown encoding '" + arg
                                  + "' (ANSI, ASCII, Unicode, \"Big Endian Unicode\", UTF-8, UTF-7)");
            break;
        case kFormat:
            if (arg == "text") format = Format::Text;
            else if (arg == "csv") format = Format::Csv;
            else if (arg == "json") format = Format::Json;
            else return usageError("unknown format '" + arg + "' (text, csv, json)");
            break;
        case kPlot:
            if (!plot)
                return usageError("--plot: this build cannot draw charts");
            plotPath = arg;
            break;
        case kCsvSeparator:
            if (arg == ";") csvStyle = kCsvSemicolons;
            else if (arg == ",") csvStyle = kCsvCommas;
            else return usageError("--csv-separator: ';' or ','");
            break;
        case kStrict: strict = true; break;
        case kHtml: htmlPath = arg; break;
        case kEquipotentials:
            if (!plot)
                return usageError("--equipotentials: this build cannot draw charts");
            plotEquipotentials = true;
            break;
        case kMaxSize: {
            char* end = nullptr;
            const unsigned long long mb = std::strtoull(arg.c_str(), &end, 10);
            if (arg.empty() || *end != '\0' || mb == 0 || mb > (1ull << 20))
                return usageError("--max-size: a whole number of megabytes, 1 or more");
            options.maxBytes = mb << 20;
            break;
        }
        default:
            return usageError(optopt ? std::string("unknown option '-") + char(optopt) + "'"
                                     : std::string("unknown option '") + argv[optind - 1] + "'");
        }
    }
    if (optind >= argc)
        return usageError("no FILE or DIR given");

    bool trouble = false;
    std::vector<Input> inputs;
    for (int i = optind; i < argc; ++i) {
        const std::string arg = argv[i];
        std::error_code ec;
        if (fs::is_directory(platform::pathOf(arg), ec)) {
            auto found = listDirectory(arg, recursive, err, trouble);
            if (found.empty()) {
                err << "potencor-check: " << visible(arg) << ": no *.txt files" << (recursive ? "" : " (-r looks deeper)")
                    << '\n';
                trouble = true;
            }
            inputs.insert(inputs.end(), found.begin(), found.end());
        } else {
            inputs.push_back({arg, platform::utf8Of(platform::pathOf(arg).filename())});
        }
    }

    std::vector<FileReport> reports;
    reports.reserve(inputs.size());
    for (const Input& in : inputs) {
        reports.push_back(checkFile(in.path, options));
        const FileReport& r = reports.back();
        if (r.readError) {
            err << "potencor-check: " << visible(r.path) << ": " << *r.readError << '\n';
            trouble = true;
        }
    }
    // Copies show only once every file is in.
    findCopies(reports, strict);
    if (format == Format::Text) {
        for (const FileReport& r : reports)
            writeTextFile(out, r, colour);
    }
    if (format == Format::Text && reports.size() > 1)
        writeTextTable(out, reports, colour);
    else if (format == Format::Csv)
        writeCsv(out, reports, csvStyle ? *csvStyle : csvStyleOfLocale());
    else if (format == Format::Json)
        writeJson(out, reports);
    out.flush();

    std::vector<Equipotential> lines;
    if (htmlPath || (plotPath && plotEquipotentials))
        lines = equipotentials();
    if (htmlPath) {
        try {
            files::save(*htmlPath, htmlReport(reports, lines), *htmlPath);
        } catch (const Error& e) {
            err << "potencor-check: " << visible(e.what()) << '\n';
            trouble = true;
        }
    }

    if (plotPath) {
        std::vector<std::string> names;
        for (const Input& in : inputs)
            names.push_back(in.name);
        const std::vector<std::string> paths = plotPaths(*plotPath, names);
        const std::vector<Equipotential> none;
        for (std::size_t i = 0; i < reports.size(); ++i) {
            if (reports[i].readError)
                continue;
            if (const auto why = plot(reports[i], paths[i], plotEquipotentials ? lines : none)) {
                err << "potencor-check: " << visible(paths[i]) << ": " << *why << '\n';
                trouble = true;
            }
        }
    }

    if (trouble)
        return kExitTrouble;
    const bool errors = std::any_of(reports.begin(), reports.end(),
                                    [](const FileReport& r) { return r.count(Severity::Error) > 0; });
    return errors ? kExitFindings : kExitOk;
}

} // namespace potencor::check
