// Workload W2: one shared model looked up from one and from two threads.
//
// A model that folds names gets 1,000 classes named Class%04d with 20 fields
// each, named Field_%02d (all int). 65,536 queries come from
// std::mt19937_64 rng(42): c = rng() % 1000, f = rng() % 20; the query is
// the qualified name Class%04d.Field_%02d with the case of every letter
// swapped, and its class part is the class query. Every thread runs the
// whole query list per iteration.
//
// Measured: lookups per second (wall time) of modelInfo::fieldInfo(qualified,
// false) and modelInfo::classInfo(name, false) with 1 and 2 threads, the
// same through a modelInfo::readScope (borrowed: one scope per pass over the
// list, no reference counted), and the same on a plain baseline of std::unordered_map<std::wstring, ...> of
// classes holding maps of fields, keys lower-cased before each lookup, with
// no lock. After the report a table prints, per workload, 2 threads ÷ 1
// thread.
#include <benchmark/benchmark.h>

#include <kymetamodel.h>

#include <cstdio>
#include <cwctype>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using namespace ky::metamodel;

constexpr int classCount = 1000;
constexpr int fieldsPerClass = 20;
constexpr std::size_t queryCount = 65536;

std::wstring swapCase(std::wstring text) {
    for (wchar_t& c : text) c = std::iswupper(c) ? std::towlower(c) : std::towupper(c);
    return text;
}

wchar_t buffer[64];

std::wstring className(int i) {
    std::swprintf(buffer, 64, L"Class%04d", i);
    return buffer;
}

std::wstring fieldName(int j) {
    std::swprintf(buffer, 64, L"Field_%02d", j);
    return buffer;
}

struct workload {
    std::vector<ky::string> qualified, classes;
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    std::unordered_map<std::wstring, std::unordered_map<std::wstring, int>> baseline;

    workload() {
        for (int i = 0; i < classCount; ++i) {
            refPtr<classInfo> cls = model->createClassInfo(className(i), false);
            auto& fields = baseline[swapCase(swapCase(className(i)))];
            for (int j = 0; j < fieldsPerClass; ++j) {
                cls->createFieldInfo(fieldName(j), eInt, ky::genericSet(), L"");
                fields[fieldName(j)] = j;
            }
        }
        // The baseline keys are lower case, as the model folds them.
        std::unordered_map<std::wstring, std::unordered_map<std::wstring, int>> lowered;
        for (auto& [name, fields] : baseline) {
            std::unordered_map<std::wstring, int> lf;
            for (auto& [f, v] : fields) lf[lower(f)] = v;
            lowered[lower(name)] = std::move(lf);
        }
        baseline.swap(lowered);
        std::mt19937_64 rng(42);
        for (std::size_t q = 0; q < queryCount; ++q) {
            const int c = static_cast<int>(rng() % classCount);
            const int f = static_cast<int>(rng() % fieldsPerClass);
            classes.push_back(swapCase(className(c)));
            qualified.push_back(swapCase(className(c) + L"." + fieldName(f)));
        }
    }
    static std::wstring lower(std::wstring text) {
        for (wchar_t& c : text) c = std::towlower(c);
        return text;
    }
};

const workload& shared() {
    static const workload w;
    return w;
}

void BM_FieldLookup_Model(benchmark::State& state) {
    const workload& w = shared();
    for (auto _ : state) {
        for (const ky::string& q : w.qualified) benchmark::DoNotOptimize(w.model->fieldInfo(q, false));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(queryCount));
}

void BM_ClassLookup_Model(benchmark::State& state) {
    const workload& w = shared();
    for (auto _ : state) {
        for (const ky::string& q : w.classes) benchmark::DoNotOptimize(w.model->classInfo(q, false));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(queryCount));
}

void BM_FieldLookup_Borrowed(benchmark::State& state) {
    const workload& w = shared();
    for (auto _ : state) {
        const modelInfo::readScope scope(*w.model);
        for (const ky::string& q : w.qualified) benchmark::DoNotOptimize(scope.fieldInfo(q, false));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(queryCount));
}

void BM_ClassLookup_Borrowed(benchmark::State& state) {
    const workload& w = shared();
    for (auto _ : state) {
        const modelInfo::readScope scope(*w.model);
        for (const ky::string& q : w.classes) benchmark::DoNotOptimize(scope.classInfo(q, false));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(queryCount));
}

void BM_FieldLookup_Baseline(benchmark::State& state) {
    const workload& w = shared();
    std::wstring cls, field;
    for (auto _ : state) {
        for (const ky::string& q : w.qualified) {
            const std::size_t dot = q.find(L'.');
            cls.assign(q, 0, dot);
            field.assign(q, dot + 1);
            for (wchar_t& c : cls) c = std::towlower(c);
            for (wchar_t& c : field) c = std::towlower(c);
            const auto found = w.baseline.find(cls);
            if (found != w.baseline.end()) benchmark::DoNotOptimize(found->second.find(field));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(queryCount));
}

void BM_ClassLookup_Baseline(benchmark::State& state) {
    const workload& w = shared();
    std::wstring cls;
    for (auto _ : state) {
        for (const ky::string& q : w.classes) {
            cls.assign(q);
            for (wchar_t& c : cls) c = std::towlower(c);
            benchmark::DoNotOptimize(w.baseline.find(cls));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(queryCount));
}

// Collects the items per second of every run beside the console report.
class ratioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            // With repetitions, the median stands for the runs.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            const auto rate = run.counters.find("items_per_second");
            if (rate != run.counters.end()) rates[run.run_name.function_name][run.threads] = rate->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios() const {
        std::printf("\n%-24s %14s %14s %8s\n", "lookups per second", "1 thread", "2 threads", "2 / 1");
        for (const auto& [name, byThreads] : rates) {
            const auto one = byThreads.find(1), two = byThreads.find(2);
            if (one == byThreads.end() || two == byThreads.end()) continue;
            std::printf("%-24s %14.0f %14.0f %8.2f\n", name.c_str(), one->second, two->second,
                        two->second / one->second);
        }
    }

private:
    std::map<std::string, std::map<int, double>> rates;
};

}  // namespace

BENCHMARK(BM_FieldLookup_Model)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClassLookup_Model)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FieldLookup_Borrowed)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClassLookup_Borrowed)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FieldLookup_Baseline)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClassLookup_Baseline)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    shared();
    ratioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
