// Start-up to the first painted main window, and peak memory, of the real
// program against a minimal Qt Widgets program, run alternately in one run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Sample {
    double seconds;
    long peakKiB;
};

Sample runOnce(const std::string& exe)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", exe.c_str(), status);
        std::exit(1);
    }
    return {s, usage.ru_maxrss};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = [&] {
        std::string self = argv[0];
        const auto slash = self.rfind('/');
        return slash == std::string::npos ? std::string(".") : self.substr(0, slash);
    }();
    const int runs = argc > 1 ? std::atoi(argv[1]) : 11;
    setenv("QT_QPA_PLATFORM", getenv("QT_QPA_PLATFORM") ? getenv("QT_QPA_PLATFORM") : "offscreen", 1);
    // The program's recovery journals go to a folder of the benchmark's own:
    // one left behind elsewhere would be offered, and the probe wait for an answer.
    char state[] = "/tmp/potencor-bench-state.XXXXXX";
    if (!mkdtemp(state))
        return 1;
    setenv("XDG_STATE_HOME", state, 1);

    const std::string program = dir + "/startup_probe_potencor";
    const std::string minimal = dir + "/startup_probe_minimal";
    runOnce(program); // warm the file cache for both
    runOnce(minimal);
    std::vector<double> tp, tm, mp, mm;
    for (int i = 0; i < runs; ++i) {
        const Sample a = runOnce(program);
        const Sample b = runOnce(minimal);
        tp.push_back(a.seconds);
        tm.push_back(b.seconds);
        mp.push_back(static_cast<double>(a.peakKiB));
        mm.push_back(static_cast<double>(b.peakKiB));
    }
    const double t1 = median(tp), t0 = median(tm), m1 = median(mp), m0 = median(mm);
    std::printf("start-up to first paint (median of %d): program %.1f ms, minimal Qt program %.1f ms, ratio %.2f (target <= 1.30)\n",
                runs, t1 * 1e3, t0 * 1e3, t1 / t0);
    std::printf("peak memory (median): program %.0f KiB, minimal Qt program %.0f KiB, ratio %.2f (target <= 1.25)\n",
                m1, m0, m1 / m0);
    return 0;
}
