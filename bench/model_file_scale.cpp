// How loads, checks and DDL scale with one huge class, and how much memory
// a load takes for each byte of its file.
//
// Workload H (the huge class): a YAML model file made in memory of a class
// "big" of N fields (a primary key "id", then int, string(40), double,
// date and string fields in turn) and a class "sub" derived from it that
// overrides every 50th field with a label of its own. Measured for N =
// 20,000 and 200,000, one iteration each:
//   BM_LoadHugeClass/N   loadModelText, the model built included
//   BM_CheckHugeClass/N  checkModel on that model
//   BM_DdlHugeClass/N    createDdl for SQLite and for PostgreSQL
// Each reports "us/field"; after the report the program prints, for each
// step, the time of 200,000 fields (target: <= 2 s in a release build) and
// its time per field over that at 20,000 (about 1 when the step is linear;
// quadratic steps give about 10).
//
// Workload M (the memory factor): a model file of 8,000 classes of 20
// labelled fields (as tests/modelfile/generated_model.h makes them, with an
// enumeration every seventh field and a relation per class), about 15 MB,
// written to a temporary file. BM_LoadFileMemory loads it with
// loadModelFile and reports the highest heap in use during the load (this
// program's operator new counts it; libyaml's short-lived buffers are not
// counted) and the growth of the peak resident set, each divided by the
// file's size. Target: both <= 8.
//
// Run: build/release/bench_model_file_scale
#include <benchmark/benchmark.h>

#include <kymdlfile.h>
#include <kymdlsql.h>

#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <string>

#include "counted_allocations.h"

namespace {

namespace file = ky::metamodel::file;
namespace sql = ky::metamodel::sql;
using ky::refPtr;
using ky::metamodel::modelInfo;

constexpr int kSmall = 20000;
constexpr int kLarge = 200000;

std::string hugeClassText(int fields) {
    static const char* const types[] = {"int", "string(40)", "double", "date", "string"};
    std::string out = "classes:\n  - name: big\n    fields:\n      - {name: id, type: int, semantic: primkey}\n";
    for (int i = 0; i < fields; ++i)
        out += "      - {name: f" + std::to_string(i) + ", type: " + types[i % 5] + "}\n";
    out += "  - name: sub\n    bases: [big]\n    fields:\n";
    for (int i = 0; i < fields; i += 50)
        out += "      - {name: f" + std::to_string(i) + ", overrides: big, label: Own " + std::to_string(i) + "}\n";
    return out;
}

const std::string& hugeClass(int fields) {
    static std::map<int, std::string> texts;
    auto& text = texts[fields];
    if (text.empty()) text = hugeClassText(fields);
    return text;
}

refPtr<modelInfo> loadHugeClass(int fields) {
    return file::loadModelText(hugeClass(fields), L"huge.yaml").model;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Seconds of each step by field count, for the summary.
std::map<std::string, std::map<int, double>> gSeconds;

void report(benchmark::State& state, const char* step, int fields, double time) {
    gSeconds[step][fields] = time;
    state.counters["us/field"] = time * 1e6 / fields;
}

void BM_LoadHugeClass(benchmark::State& state) {
    const int fields = static_cast<int>(state.range(0));
    const std::string& text = hugeClass(fields);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        file::loadResult result = file::loadModelText(text, L"huge.yaml");
        report(state, "load", fields, seconds(start));
        if (!result.model) state.SkipWithError("the huge class did not load");
        benchmark::DoNotOptimize(result.model.get());
    }
}

void BM_CheckHugeClass(benchmark::State& state) {
    const int fields = static_cast<int>(state.range(0));
    const refPtr<modelInfo> model = loadHugeClass(fields);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::vector<file::diagnostic> found = file::checkModel(model);
        report(state, "check", fields, seconds(start));
        benchmark::DoNotOptimize(found.data());
    }
}

void BM_DdlHugeClass(benchmark::State& state) {
    const int fields = static_cast<int>(state.range(0));
    const refPtr<modelInfo> model = loadHugeClass(fields);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        sql::ddlOptions options;
        const sql::ddlResult sqlite = sql::createDdl(*model, options);
        options.dialect = sql::ePostgresql;
        const sql::ddlResult postgresql = sql::createDdl(*model, options);
        report(state, "ddl", fields, seconds(start));
        if (sqlite.text.empty() || postgresql.text.empty()) state.SkipWithError("no DDL was written");
        benchmark::DoNotOptimize(postgresql.text.data());
    }
}

BENCHMARK(BM_LoadHugeClass)->Arg(kSmall)->Arg(kLarge)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckHugeClass)->Arg(kSmall)->Arg(kLarge)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DdlHugeClass)->Arg(kSmall)->Arg(kLarge)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---- the memory factor ----

constexpr int kClasses = 8000;
constexpr int kFields = 20;

std::string generatedModelText() {
    std::string out = "caseSensitiveNames: false\nclasses:\n";
    char line[256];
    for (int c = 0; c < kClasses; ++c) {
        std::snprintf(line, sizeof line, "  - name: \"class%05d\"\n    label: \"Generated class %d\"\n    fields:\n", c, c);
        out += line;
        out += "      - {name: \"id\", type: \"int\", semantic: \"primkey\", label: \"Number\"}\n";
        for (int f = 1; f + 1 < kFields; ++f) {
            if (f % 7 == 0)
                std::snprintf(line, sizeof line, "      - {name: \"field%02d\", type: \"int\", semantic: \"enum\", items: "
                              "[\"1, Choice 1\", \"2, Choice 2\", \"3, Choice 3\"], label: \"Field %d of class %d\"}\n",
                              f, f, c);
            else if (f % 4 == 1)
                std::snprintf(line, sizeof line,
                              "      - {name: \"field%02d\", type: \"string(%d)\", label: \"Field %d of class %d\"}\n", f,
                              20 + f, f, c);
            else if (f % 4 == 2)
                std::snprintf(line, sizeof line, "      - {name: \"field%02d\", type: \"int\", label: \"Field %d of class %d\"}\n",
                              f, f, c);
            else if (f % 4 == 3)
                std::snprintf(line, sizeof line, "      - {name: \"field%02d\", type: \"double\", semantic: \"monetary\", "
                              "label: \"Field %d of class %d\", unit: \"EUR\"}\n", f, f, c);
            else
                std::snprintf(line, sizeof line, "      - {name: \"field%02d\", type: \"date\", label: \"Field %d of class %d\"}\n",
                              f, f, c);
            out += line;
        }
        out += "      - {name: \"next\", type: \"int\", label: \"Next\"}\n";
    }
    out += "relations:\n";
    for (int c = 0; c < kClasses; ++c) {
        std::snprintf(line, sizeof line, "  - {class: \"class%05d\", field: \"next\", kind: \"ref\", target: \"class%05d\"}\n",
                      c, (c + 1) % kClasses);
        out += line;
    }
    return out;
}

// A field of /proc/self/status in bytes (its "kB" figures), or -1.
long long statusBytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == key) {
            long long kb = -1;
            status >> kb;
            return kb * 1024;
        }
    }
    return -1;
}

// Lets the peak resident set start again from the current one (Linux 4.0
// and later); false when the kernel does not offer it.
bool resetPeakResidentSet() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

double gHeapFactor = 0, gRssFactor = 0, gFileMegabytes = 0;

void BM_LoadFileMemory(benchmark::State& state) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("ky-bench-memory-" + std::to_string(::getpid()) + ".yaml");
    std::uintmax_t size = 0;
    {
        const std::string text = generatedModelText();
        std::ofstream(path, std::ios::binary) << text;
        size = text.size();
    }
    for (auto _ : state) {
        malloc_trim(0);
        const bool rssReset = resetPeakResidentSet();
        const long long rssBefore = statusBytes("VmRSS:");
        const long long before = gInUse.load();
        gPeak.store(before);
        file::loadResult result = file::loadModelFile(path.string());
        gHeapFactor = static_cast<double>(gPeak.load() - before) / static_cast<double>(size);
        gRssFactor = rssReset ? static_cast<double>(statusBytes("VmHWM:") - rssBefore) / static_cast<double>(size) : 0;
        if (!result.model) state.SkipWithError("the generated model did not load");
        benchmark::DoNotOptimize(result.model.get());
    }
    std::filesystem::remove(path);
    gFileMegabytes = static_cast<double>(size) / 1e6;
    state.counters["MB"] = gFileMegabytes;
    state.counters["heap/byte"] = gHeapFactor;
    state.counters["rss/byte"] = gRssFactor;
}

BENCHMARK(BM_LoadFileMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

void printTargets() {
    if (!gSeconds.empty())
        std::printf("\none class of %d fields (%.1f MB of YAML); time per field over that at %d fields:\n", kLarge,
                static_cast<double>(hugeClass(kLarge).size()) / 1e6, kSmall);
    for (const auto& [step, times] : gSeconds) {
        const auto small = times.find(kSmall), large = times.find(kLarge);
        if (small == times.end() || large == times.end() || small->second <= 0) continue;
        std::printf("  %-6s %7.3f s (target <= 2 s)   %.2fx per field (linear: about 1)\n", step.c_str(),
                    large->second, large->second / kLarge / (small->second / kSmall));
    }
    if (gFileMegabytes > 0)
        std::printf("load of a %.1f MB file: heap peak %.2fx, resident set growth %.2fx its size (target <= 8x)\n",
                    gFileMegabytes, gHeapFactor, gRssFactor);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printTargets();
    return 0;
}
