// Workload W1: building a model and looking classes and fields up by name.
//
// A model that folds names (createModelInfo(false)) gets C classes, C in
// {100, 1000, 10000}; class i is named Class%04d and has 20 fields, field j
// named Field_%02d, with types cycling int, long, string, double, bool.
// 65,536 queries come from std::mt19937_64 rng(42): c = rng() % C, then
// f = rng() % 20; the query is the qualified name Class%04d.Field_%02d with
// the case of every ASCII letter swapped (the first at C=1000 is
// cLASS0406.fIELD_04), and its class part is the class query.
//
// Measured, each per item: building the model (ns per field),
// modelInfo::classInfo(name, false) and modelInfo::fieldInfo(qualified,
// false) (ns per lookup), the same two lookups borrowed through a
// modelInfo::readScope (one scope per pass over the queries), and at C=10000 the heap in use after the build
// (bytes per field, from mallinfo2). The same workload runs on a plain
// baseline: std::unordered_map<std::string, ...> of classes holding
// std::unordered_map<std::string, ...> of fields, keys lower-cased by ASCII
// tolower before each lookup, with a hasher type of its own so that small
// maps hash too (the standard hasher makes maps of up to 20 entries scan).
// The borrowed lookups are also set against a lean baseline that allocates
// nothing: the query folded into a stack buffer, and heterogeneous lookup
// (std::wstring_view) in hash maps keyed by wide strings.
// The two sides of a timed figure run alternately in one benchmark, so that
// the load of a shared machine falls on both. Every figure is printed next to
// the baseline's, with their ratio, in a table after the benchmark's own
// report.
#include <benchmark/benchmark.h>

#include <kymetamodel.h>

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using namespace ky::metamodel;

// The calling thread's processor time: the machine the figures come from is
// shared, and wall time would count the other programs' turns too.
struct stopwatch {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<stopwatch, duration>;
    static time_point now() noexcept {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return time_point(duration(std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec));
    }
};

constexpr int fieldsPerClass = 20;
constexpr std::size_t queryCount = 65536;
constexpr eFieldType fieldTypes[] = {eInt, eLong, eString, eDouble, eBool};

// ---- the workload ----

std::string className(int i) {
    char text[32];
    std::snprintf(text, sizeof text, "Class%04d", i);
    return text;
}

std::string fieldName(int j) {
    char text[32];
    std::snprintf(text, sizeof text, "Field_%02d", j);
    return text;
}

std::string swapCase(std::string text) {
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isupper(u)) c = static_cast<char>(std::tolower(u));
        else if (std::islower(u)) c = static_cast<char>(std::toupper(u));
    }
    return text;
}

ky::string widen(const std::string& text) { return ky::string(text.begin(), text.end()); }

struct queries {
    std::vector<std::string> qualified, classes;        // for the baseline
    std::vector<ky::string> wideQualified, wideClasses;  // for the model
};

const queries& queriesFor(int classCount) {
    static std::map<int, queries> made;
    auto [it, isNew] = made.try_emplace(classCount);
    if (isNew) {
        std::mt19937_64 rng(42);
        for (std::size_t q = 0; q < queryCount; ++q) {
            const int c = static_cast<int>(rng() % static_cast<std::uint64_t>(classCount));
            const int f = static_cast<int>(rng() % fieldsPerClass);
            const std::string cls = swapCase(className(c));
            it->second.classes.push_back(cls);
            it->second.qualified.push_back(cls + "." + swapCase(fieldName(f)));
            it->second.wideClasses.push_back(widen(it->second.classes.back()));
            it->second.wideQualified.push_back(widen(it->second.qualified.back()));
        }
    }
    return it->second;
}

// The queries of every C, made when the program starts: made later, their
// texts would land in the holes that earlier benchmarks leave in the heap,
// scattered over many pages, and the model's side (whose wide queries live
// on the heap, unlike the baseline's short ones) would pay for it.
const bool queriesMade = (queriesFor(100), queriesFor(1000), queriesFor(10000), true);

// ---- the baseline ----

struct textHash {
    std::size_t operator()(const std::string& text) const noexcept {
        return std::hash<std::string_view>()(text);
    }
};

struct baselineField {
    std::string name;
    eFieldType type;
};

struct baselineClass {
    std::string name;
    std::unordered_map<std::string, baselineField, textHash> fields;
};

using baselineModel = std::unordered_map<std::string, baselineClass, textHash>;

void lowerInto(std::string_view text, std::string& out) {
    out.assign(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

baselineModel buildBaseline(int classCount) {
    baselineModel model;
    std::string key;
    for (int i = 0; i < classCount; ++i) {
        lowerInto(className(i), key);
        baselineClass& cls = model[key];
        cls.name = key;
        for (int j = 0; j < fieldsPerClass; ++j) {
            lowerInto(fieldName(j), key);
            cls.fields.emplace(key, baselineField{key, fieldTypes[j % 5]});
        }
    }
    return model;
}

// ---- the lean baseline ----

struct wideHash {
    using is_transparent = void;
    std::size_t operator()(std::wstring_view text) const noexcept { return std::hash<std::wstring_view>()(text); }
};

struct leanClass {
    std::wstring name;
    std::unordered_map<std::wstring, baselineField, wideHash, std::equal_to<>> fields;
};

using leanModel = std::unordered_map<std::wstring, leanClass, wideHash, std::equal_to<>>;

// `text` folded to lower case (ASCII) into `out`, which holds 64 characters.
std::wstring_view foldInto(std::wstring_view text, wchar_t* out) {
    const std::size_t n = std::min<std::size_t>(text.size(), 64);
    for (std::size_t i = 0; i < n; ++i) {
        const wchar_t c = text[i];
        out[i] = (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
    }
    return {out, n};
}

leanModel buildLean(int classCount) {
    leanModel model;
    wchar_t buffer[64];
    for (int i = 0; i < classCount; ++i) {
        const ky::string name = widen(className(i));
        const std::wstring key(foldInto(name, buffer));
        leanClass& cls = model[key];
        cls.name = key;
        for (int j = 0; j < fieldsPerClass; ++j) {
            const ky::string field = widen(fieldName(j));
            const std::wstring fieldKey(foldInto(field, buffer));
            cls.fields.emplace(fieldKey, baselineField{std::string(fieldKey.begin(), fieldKey.end()), fieldTypes[j % 5]});
        }
    }
    return model;
}

// ---- the model ----

refPtr<modelInfo> buildModel(int classCount) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    const ky::genericSet noAttributes;
    const ky::string noCustomType;
    for (int i = 0; i < classCount; ++i) {
        refPtr<classInfo> cls = model->createClassInfo(widen(className(i)), false);
        for (int j = 0; j < fieldsPerClass; ++j)
            cls->createFieldInfo(widen(fieldName(j)), fieldTypes[j % 5], noAttributes, noCustomType);
    }
    return model;
}

// ---- figures and the closing table ----

struct figure {
    double model = 0;
    double baseline = 0;
};

std::map<std::pair<std::string, int>, figure>& figures() {
    static std::map<std::pair<std::string, int>, figure> all;
    return all;
}

// Prints the table when the program ends, after the benchmark's report.
struct summaryTable {
    summaryTable() { figures(); }  // built first, so the figures outlive the table
    ~summaryTable() {
        if (figures().empty()) return;
        std::printf("\nW1 side by side (ns per item, bytes per field)\n");
        std::printf("%-26s %8s %12s %12s %8s\n", "figure", "C", "model", "baseline", "ratio");
        for (const auto& [key, f] : figures()) {
            const double ratio = f.baseline > 0 ? f.model / f.baseline : 0;
            std::printf("%-26s %8d %12.1f %12.1f %8.2f\n", key.first.c_str(), key.second, f.model, f.baseline,
                        ratio);
        }
        printScaling("class lookup");
        printScaling("qualified field lookup");
    }
    static void printScaling(const std::string& what) {
        const auto small = figures().find({what, 100});
        const auto large = figures().find({what, 10000});
        if (small == figures().end() || large == figures().end() || small->second.model <= 0) return;
        std::printf("%s, model, C=10000 / C=100: %.2f\n", what.c_str(), large->second.model / small->second.model);
    }
} summary;

enum class side { model, baseline };

void record(const std::string& what, int classCount, side s, double value) {
    figure& f = figures()[{what, classCount}];
    (s == side::model ? f.model : f.baseline) = value;
}

double nanoseconds(stopwatch::duration d) { return std::chrono::duration<double, std::nano>(d).count(); }

// Runs both sides once per iteration, one right after the other, so that
// the machine's load (it is shared) weighs on both alike; the iteration time
// reported is the model's. The figures recorded are nanoseconds per item over
// all iterations.
template <class Model, class Baseline>
void measure(benchmark::State& state, const std::string& what, double itemsPerRun, Model model,
             Baseline baseline) {
    double modelTotal = 0;
    double baselineTotal = 0;
    std::size_t runs = 0;
    for (auto _ : state) {
        const double ns = model();
        baselineTotal += baseline();
        state.SetIterationTime(ns * 1e-9);
        modelTotal += ns;
        ++runs;
    }
    const int classCount = static_cast<int>(state.range(0));
    const double items = static_cast<double>(runs) * itemsPerRun;
    state.counters["model_ns"] = modelTotal / items;
    state.counters["baseline_ns"] = baselineTotal / items;
    record(what, classCount, side::model, modelTotal / items);
    record(what, classCount, side::baseline, baselineTotal / items);
}

// ---- benchmarks ----

std::size_t heapInUse() { const auto m = mallinfo2(); return m.uordblks + m.hblkhd; }

void BM_BytesPerField_Model(benchmark::State& state) {
    const int classCount = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const std::size_t before = heapInUse();
        refPtr<modelInfo> model = buildModel(classCount);
        const double perField = static_cast<double>(heapInUse() - before) / (classCount * fieldsPerClass);
        state.counters["bytes_per_field"] = perField;
        record("bytes per field", classCount, side::model, perField);
    }
}

void BM_BytesPerField_Baseline(benchmark::State& state) {
    const int classCount = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const std::size_t before = heapInUse();
        baselineModel model = buildBaseline(classCount);
        const double perField = static_cast<double>(heapInUse() - before) / (classCount * fieldsPerClass);
        state.counters["bytes_per_field"] = perField;
        record("bytes per field", classCount, side::baseline, perField);
    }
}

void BM_Build(benchmark::State& state) {
    const int classCount = static_cast<int>(state.range(0));
    measure(
        state, "build (per field)", classCount * fieldsPerClass,
        [&] {
            const auto start = stopwatch::now();
            refPtr<modelInfo> model = buildModel(classCount);
            const auto built = stopwatch::now();
            benchmark::DoNotOptimize(model.get());
            return nanoseconds(built - start);
        },
        [&] {
            const auto start = stopwatch::now();
            baselineModel model = buildBaseline(classCount);
            const auto built = stopwatch::now();
            benchmark::DoNotOptimize(model.size());
            return nanoseconds(built - start);
        });
}

void BM_ClassLookup(benchmark::State& state) {
    const int classCount = static_cast<int>(state.range(0));
    const refPtr<modelInfo> model = buildModel(classCount);
    const baselineModel baseline = buildBaseline(classCount);
    const queries& q = queriesFor(classCount);
    std::string key;
    measure(
        state, "class lookup", queryCount,
        [&] {
            const auto start = stopwatch::now();
            for (const ky::string& name : q.wideClasses)
                benchmark::DoNotOptimize(model->classInfo(name, false).get());
            return nanoseconds(stopwatch::now() - start);
        },
        [&] {
            const auto start = stopwatch::now();
            for (const std::string& name : q.classes) {
                lowerInto(name, key);
                const auto found = baseline.find(key);
                benchmark::DoNotOptimize(found == baseline.end() ? nullptr : &found->second);
            }
            return nanoseconds(stopwatch::now() - start);
        });
}

// The baseline splits the lower-cased query at its first dot into reused
// buffers, so that it allocates nothing either.
void BM_FieldLookup(benchmark::State& state) {
    const int classCount = static_cast<int>(state.range(0));
    const refPtr<modelInfo> model = buildModel(classCount);
    const baselineModel baseline = buildBaseline(classCount);
    const queries& q = queriesFor(classCount);
    std::string lowered, classKey, fieldKey;
    measure(
        state, "qualified field lookup", queryCount,
        [&] {
            const auto start = stopwatch::now();
            for (const ky::string& name : q.wideQualified)
                benchmark::DoNotOptimize(model->fieldInfo(name, false).get());
            return nanoseconds(stopwatch::now() - start);
        },
        [&] {
            const auto start = stopwatch::now();
            for (const std::string& name : q.qualified) {
                lowerInto(name, lowered);
                const std::size_t dot = lowered.find('.');
                classKey.assign(lowered, 0, dot);
                fieldKey.assign(lowered, dot + 1);
                const baselineField* field = nullptr;
                const auto cls = baseline.find(classKey);
                if (cls != baseline.end()) {
                    const auto found = cls->second.fields.find(fieldKey);
                    if (found != cls->second.fields.end()) field = &found->second;
                }
                benchmark::DoNotOptimize(field);
            }
            return nanoseconds(stopwatch::now() - start);
        });
}

// The borrowed lookups against the baseline of `lean` or of W1.
void borrowedClassLookup(benchmark::State& state, bool lean) {
    const int classCount = static_cast<int>(state.range(0));
    const refPtr<modelInfo> model = buildModel(classCount);
    const baselineModel baseline = buildBaseline(classCount);
    const leanModel leanOne = buildLean(classCount);
    const queries& q = queriesFor(classCount);
    std::string key;
    wchar_t buffer[64];
    measure(
        state, lean ? "class lookup, borrowed / lean" : "class lookup, borrowed", queryCount,
        [&] {
            const auto start = stopwatch::now();
            const modelInfo::readScope scope(*model);
            for (const ky::string& name : q.wideClasses) benchmark::DoNotOptimize(scope.classInfo(name, false));
            return nanoseconds(stopwatch::now() - start);
        },
        [&] {
            const auto start = stopwatch::now();
            if (lean) {
                for (const ky::string& name : q.wideClasses) {
                    const auto found = leanOne.find(foldInto(name, buffer));
                    benchmark::DoNotOptimize(found == leanOne.end() ? nullptr : &found->second);
                }
            } else {
                for (const std::string& name : q.classes) {
                    lowerInto(name, key);
                    const auto found = baseline.find(key);
                    benchmark::DoNotOptimize(found == baseline.end() ? nullptr : &found->second);
                }
            }
            return nanoseconds(stopwatch::now() - start);
        });
}

void borrowedFieldLookup(benchmark::State& state, bool lean) {
    const int classCount = static_cast<int>(state.range(0));
    const refPtr<modelInfo> model = buildModel(classCount);
    const baselineModel baseline = buildBaseline(classCount);
    const leanModel leanOne = buildLean(classCount);
    const queries& q = queriesFor(classCount);
    std::string lowered, classKey, fieldKey;
    wchar_t buffer[64];
    measure(
        state, lean ? "field lookup, borrowed / lean" : "field lookup, borrowed", queryCount,
        [&] {
            const auto start = stopwatch::now();
            const modelInfo::readScope scope(*model);
            for (const ky::string& name : q.wideQualified) benchmark::DoNotOptimize(scope.fieldInfo(name, false));
            return nanoseconds(stopwatch::now() - start);
        },
        [&] {
            const auto start = stopwatch::now();
            for (std::size_t i = 0; i < queryCount; ++i) {
                const baselineField* field = nullptr;
                if (lean) {
                    const std::wstring_view folded = foldInto(q.wideQualified[i], buffer);
                    const std::size_t dot = folded.find(L'.');
                    const auto cls = leanOne.find(folded.substr(0, dot));
                    if (cls != leanOne.end()) {
                        const auto found = cls->second.fields.find(folded.substr(dot + 1));
                        if (found != cls->second.fields.end()) field = &found->second;
                    }
                } else {
                    lowerInto(q.qualified[i], lowered);
                    const std::size_t dot = lowered.find('.');
                    classKey.assign(lowered, 0, dot);
                    fieldKey.assign(lowered, dot + 1);
                    const auto cls = baseline.find(classKey);
                    if (cls != baseline.end()) {
                        const auto found = cls->second.fields.find(fieldKey);
                        if (found != cls->second.fields.end()) field = &found->second;
                    }
                }
                benchmark::DoNotOptimize(field);
            }
            return nanoseconds(stopwatch::now() - start);
        });
}

void BM_ClassLookup_Borrowed(benchmark::State& state) { borrowedClassLookup(state, false); }
void BM_ClassLookup_BorrowedLean(benchmark::State& state) { borrowedClassLookup(state, true); }
void BM_FieldLookup_Borrowed(benchmark::State& state) { borrowedFieldLookup(state, false); }
void BM_FieldLookup_BorrowedLean(benchmark::State& state) { borrowedFieldLookup(state, true); }

// Heap figures first, while no class name is interned yet.
BENCHMARK(BM_BytesPerField_Model)->Arg(10000)->Iterations(1);
BENCHMARK(BM_BytesPerField_Baseline)->Arg(10000)->Iterations(1);
BENCHMARK(BM_Build)->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClassLookup)->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FieldLookup)->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClassLookup_Borrowed)->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FieldLookup_Borrowed)->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClassLookup_BorrowedLean)
    ->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FieldLookup_BorrowedLean)
    ->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
