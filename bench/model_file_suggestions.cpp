// How long a load takes whose file names many unknown classes among many
// known ones: each unknown name looks for the nearest known one to suggest,
// within a budget per load, so that the time stays bounded however many
// names the file holds.
//
// Workload: a YAML model file made in memory of N classes "klass000001" ...
// (one int key field each) and 1,000 relations whose target is a class that
// does not exist, one letter away from a known one ("klass000001x"), so
// that every relation is an error M027 that looks for a suggestion (the
// load stops reporting at its 1,000 errors). Measured for N = 2,000 and
// 200,000, one iteration each:
//   BM_LoadUnknownTargets/N  loadModelText of that file
//   BM_LoadKnownTargets/N    the same with every target a known class, for
//                            the time of the load without suggestions
// Without the budget the larger case would compare 200 million pairs of
// names; with it, each pair of cases takes about the same time.
//
// Run: build/release/bench_model_file_suggestions
#include <benchmark/benchmark.h>

#include <kymdlfile.h>

#include <cstdio>
#include <string>

namespace {

namespace file = ky::metamodel::file;

constexpr int kUnknown = 1000;

std::string className(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "klass%06d", i);
    return name;
}

// The workload; with `known` the targets are the known classes themselves.
std::string targetsText(int classes, bool known) {
    std::string out = "classes:\n";
    for (int i = 0; i < classes; ++i)
        out += "  - {name: " + className(i) + ", fields: [{name: id, type: int, semantic: primkey}]}\n";
    out += "relations:\n";
    for (int i = 0; i < kUnknown; ++i)
        out += "  - {class: " + className(i % classes) + ", field: id, kind: ref, target: " +
               className(i % classes) + (known ? "}\n" : "x}\n");
    return out;
}

void load(benchmark::State& state, bool known) {
    const std::string text = targetsText(static_cast<int>(state.range(0)), known);
    std::size_t diagnostics = 0;
    for (auto _ : state) {
        const file::loadResult result = file::loadModelText(text, L"unknown.yaml");
        diagnostics = result.diagnostics.size();
        benchmark::DoNotOptimize(result.model);
    }
    state.counters["diagnostics"] = static_cast<double>(diagnostics);
}

void BM_LoadUnknownTargets(benchmark::State& state) { load(state, false); }
void BM_LoadKnownTargets(benchmark::State& state) { load(state, true); }

}  // namespace

BENCHMARK(BM_LoadUnknownTargets)->Arg(2000)->Arg(200000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadKnownTargets)->Arg(2000)->Arg(200000)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
