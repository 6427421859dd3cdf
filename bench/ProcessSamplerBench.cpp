// The cost of one process sample per process: over the live /proc, and over a synthetic
// procfs tree of 2,000 processes (the files a sample reads, with realistic contents).
#include <QuorvelProcess/linux/LiveProcessSource.hpp>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using namespace QuorvelProcess;
namespace fs = std::filesystem;

void write(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text;
}

const fs::path& syntheticTree() {
    static const fs::path root = [] {
        const auto path = fs::temp_directory_path() / "vuzur-bench-procfs-2000";
        fs::remove_all(path);
        fs::create_directories(path);
        write(path / "stat", "cpu  1 2 3 4\nbtime 1700000000\n");
        for (int pid = 1000; pid < 3000; ++pid) {
            const auto dir = path / std::to_string(pid);
            fs::create_directories(dir);
            const auto p = std::to_string(pid);
            write(dir / "stat", p + " (worker-" + p + ") S 1 " + p + " " + p +
                                    " 0 -1 4194560 1870 0 12 0 157 43 0 0 20 0 4 0 " + p +
                                    " 23068672 1536 18446744073709551615 1 1 0 0 0 0 0 4096 0 0 "
                                    "0 0 17 1 0 0 0 0 0 0 0 0 0 0 0 0 0\n");
            std::string status = "Name:\tworker-" + p + "\nUmask:\t0022\nState:\tS (sleeping)\n";
            status += "Tgid:\t" + p + "\nPid:\t" + p + "\nPPid:\t1\nUid:\t1000\t1000\t1000\t1000\n";
            status += "Gid:\t1000\t1000\t1000\t1000\nVmPeak:\t  123456 kB\nVmSize:\t  123456 kB\n";
            status += "VmRSS:\t    6144 kB\nThreads:\t4\nCpus_allowed_list:\t0-7\n";
            status += "voluntary_ctxt_switches:\t4521\nnonvoluntary_ctxt_switches:\t37\n";
            write(dir / "status", status);
            write(dir / "schedstat", "2000000000 350000 4567\n");
            write(dir / "io", "rchar: 1\nwchar: 2\nsyscr: 3\nsyscw: 4\nread_bytes: 4096\n"
                              "write_bytes: 8192\ncancelled_write_bytes: 0\n");
            fs::create_symlink("/usr/bin/worker", dir / "exe");
        }
        return path;
    }();
    return root;
}

void sampleTree(benchmark::State& state, const fs::path& root) {
    auto sampler = liveProcessSampler(root);
    size_t processes = 0;
    for (auto _ : state)
        processes = sampler.sample().processes.size();
    // Per-process time: iteration time divided by the processes listed.
    state.counters["processes"] = double(processes);
    state.counters["us_per_process"] =
        benchmark::Counter(double(state.iterations()) * double(std::max<size_t>(processes, 1)),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void sampleLiveProc(benchmark::State& state) {
    sampleTree(state, "/proc");
}
BENCHMARK(sampleLiveProc)->Unit(benchmark::kMicrosecond);

void sampleSynthetic2000(benchmark::State& state) {
    sampleTree(state, syntheticTree());
}
BENCHMARK(sampleSynthetic2000)->Unit(benchmark::kMillisecond);

// The floor: the same files a sample reads (stat twice, status, schedstat, io, the exe
// link), read into a buffer without any parsing.
void rawReadsSynthetic2000(benchmark::State& state) {
    const auto& root = syntheticTree();
    std::vector<fs::path> folders;
    for (int pid = 1000; pid < 3000; ++pid)
        folders.push_back(root / std::to_string(pid));
    char buffer[4096];
    const auto readOnce = [&](const fs::path& file) {
        const int fd = ::open(file.c_str(), O_RDONLY);
        if (fd < 0) return;
        benchmark::DoNotOptimize(::read(fd, buffer, sizeof buffer));
        ::close(fd);
    };
    for (auto _ : state)
        for (const auto& folder : folders) {
            readOnce(folder / "stat");
            readOnce(folder / "status");
            readOnce(folder / "schedstat");
            readOnce(folder / "io");
            readOnce(folder / "stat");
            benchmark::DoNotOptimize(::readlink((folder / "exe").c_str(), buffer, sizeof buffer));
        }
    state.counters["us_per_process"] =
        benchmark::Counter(double(state.iterations()) * double(folders.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(rawReadsSynthetic2000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
