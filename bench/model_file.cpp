// Workload W5: loading and saving a whole model as a model file.
//
// The model is tests/modelfile/generated_model.h at 10,000 classes x 20
// fields (a primary key "id", strings with lengths, ints, doubles with a
// unit, dates, an enumeration of three items every seventh field, a label
// on every class and field, a relation "next" per class). Its YAML text
// (about 30 MB) and its JSON text are made once with saveModelText.
//
// Measured, one iteration each: building the model through the API, loading
// the YAML text, loading the JSON text (loadModelText, the model built
// included), saving the model as YAML. The heap is counted by this
// program's own operator new and delete (libyaml's small malloc buffers are
// not counted): the model's memory is the heap a build leaves in use, the
// peak of a load is the highest heap in use during it. After the report the
// program prints the targets' ratios: load / build time and load peak /
// model memory.
#include <benchmark/benchmark.h>

#include <kymdlfile.h>

#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "../tests/modelfile/generated_model.h"

#include "counted_allocations.h"

namespace {

namespace file = ky::metamodel::file;
using ky::metamodel::modelInfo;
using ky::refPtr;

constexpr int kClasses = 10000;
constexpr int kFields = 20;

struct figures {
    double buildSeconds = 0, yamlSeconds = 0, jsonSeconds = 0, saveSeconds = 0;
    long long modelBytes = 0, yamlPeakBytes = 0, jsonPeakBytes = 0;
    std::size_t yamlBytes = 0, jsonBytes = 0;
};
figures gFigures;

const std::string& text(file::eFormat format) {
    static const auto texts = [] {
        refPtr<modelInfo> model = modelInfo::createModelInfo(false);
        kygen::buildGeneratedModel(model, kClasses, kFields);
        return std::make_pair(file::saveModelText(model, file::eYaml), file::saveModelText(model, file::eJson));
    }();
    return format == file::eJson ? texts.second : texts.first;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_BuildThroughApi(benchmark::State& state) {
    for (auto _ : state) {
        const long long before = gInUse.load();
        const auto start = std::chrono::steady_clock::now();
        refPtr<modelInfo> model = modelInfo::createModelInfo(false);
        kygen::buildGeneratedModel(model, kClasses, kFields);
        gFigures.buildSeconds = seconds(start);
        gFigures.modelBytes = gInUse.load() - before;
        benchmark::DoNotOptimize(model.get());
    }
}

void load(benchmark::State& state, file::eFormat format, double& time, long long& peakBytes) {
    const std::string& input = text(format);
    for (auto _ : state) {
        const long long before = gInUse.load();
        gPeak.store(before);
        const auto start = std::chrono::steady_clock::now();
        file::loadResult result = file::loadModelText(input, format == file::eJson ? L"gen.json" : L"gen.yaml");
        time = seconds(start);
        peakBytes = gPeak.load() - before;
        if (!result.model) state.SkipWithError("the generated model did not load");
        benchmark::DoNotOptimize(result.model.get());
    }
    state.counters["MB"] = static_cast<double>(input.size()) / 1e6;
}

void BM_LoadYaml(benchmark::State& state) { load(state, file::eYaml, gFigures.yamlSeconds, gFigures.yamlPeakBytes); }
void BM_LoadJson(benchmark::State& state) { load(state, file::eJson, gFigures.jsonSeconds, gFigures.jsonPeakBytes); }

void BM_SaveYaml(benchmark::State& state) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    kygen::buildGeneratedModel(model, kClasses, kFields);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::string out = file::saveModelText(model, file::eYaml);
        gFigures.saveSeconds = seconds(start);
        benchmark::DoNotOptimize(out.data());
    }
}

BENCHMARK(BM_BuildThroughApi)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadYaml)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadJson)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveYaml)->Iterations(1)->Unit(benchmark::kMillisecond);

void printTargets() {
    const figures& f = gFigures;
    if (f.buildSeconds <= 0 || f.modelBytes <= 0) return;
    std::printf("\nmodel file, %d classes x %d fields: YAML %.1f MB, JSON %.1f MB\n", kClasses, kFields,
                static_cast<double>(text(file::eYaml).size()) / 1e6, static_cast<double>(text(file::eJson).size()) / 1e6);
    std::printf("  build through the API  %7.3f s   model heap %.1f MB\n", f.buildSeconds,
                static_cast<double>(f.modelBytes) / 1e6);
    std::printf("  load YAML              %7.3f s   (target <= 1.5 s)   %.2fx build (target <= 2.5x)   peak %.2fx model (target <= 3x)\n",
                f.yamlSeconds, f.yamlSeconds / f.buildSeconds,
                static_cast<double>(f.yamlPeakBytes) / static_cast<double>(f.modelBytes));
    std::printf("  load JSON              %7.3f s   (target <= 1.0 s)   %.2fx build (target <= 2.5x)   peak %.2fx model (target <= 3x)\n",
                f.jsonSeconds, f.jsonSeconds / f.buildSeconds,
                static_cast<double>(f.jsonPeakBytes) / static_cast<double>(f.modelBytes));
    std::printf("  save YAML              %7.3f s   (target <= 1.0 s)\n", f.saveSeconds);
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
