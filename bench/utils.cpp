// Benchmarks of the utility layer's hot paths.
//
// Workload, one thing per benchmark:
// - InternExisting: scString::createFrom of a name interned before the loop,
//   a short field name ("name") and a long function name (40 characters,
//   as the metamodel's loggers are named). Lock-free lookup only.
// - InternNew: scString::createFrom of a name never seen before on every
//   iteration ("bench-new-" and a 12-digit counter bumped in place, so
//   building the name costs a few nanoseconds). Locked insert, with the
//   table's growth amortised in.
// - Lower: string::lower() of the ASCII name "CustomerOrderLine" and of the
//   non-ASCII name "ÄußereKundenAdresseΣЖ" (allocates the result).
// - LowerInto: the same names into a reused std::wstring (no allocation).
// - RefPtrCopy: copying and dropping a refPtr<refObj> (one atomic increment
//   and one acquire-release decrement, uncontended).
//
// Build and run from the release preset:
//   cmake --preset release && cmake --build --preset release --target bench_utils
//   build/release/bench_utils

#include <benchmark/benchmark.h>
#include <kyrefptr.h>
#include <kyscstring.h>
#include <kystring.h>

#include <string>

namespace {

void InternExisting(benchmark::State& state, const wchar_t* name) {
    const ky::string text(name);
    const ky::scString expected = ky::scString::createFrom(text);
    for (auto _ : state) {
        ky::scString handle = ky::scString::createFrom(text.data(), text.size());
        benchmark::DoNotOptimize(handle);
    }
    if (ky::scString::createFrom(text) != expected) state.SkipWithError("handle changed");
}
BENCHMARK_CAPTURE(InternExisting, short_name, L"name");
BENCHMARK_CAPTURE(InternExisting, function_name, L"ky::metamodel::classInfo::createFieldInfo");

// Bumps the decimal counter at the end of `name`.
void nextName(std::wstring& name) {
    for (std::size_t i = name.size(); i-- > 0 && name[i] >= L'0' && name[i] <= L'9';) {
        if (name[i] != L'9') {
            ++name[i];
            return;
        }
        name[i] = L'0';
    }
}

void InternNew(benchmark::State& state) {
    // Shared by every run of this benchmark, so no name is ever repeated.
    static std::wstring name = L"bench-new-000000000000";
    for (auto _ : state) {
        nextName(name);
        ky::scString handle = ky::scString::createFrom(name.data(), name.size());
        benchmark::DoNotOptimize(handle);
    }
}
BENCHMARK(InternNew);

void Lower(benchmark::State& state, const wchar_t* name) {
    const ky::string text(name);
    for (auto _ : state) {
        ky::string lowered = text.lower();
        benchmark::DoNotOptimize(lowered.data());
    }
}
BENCHMARK_CAPTURE(Lower, ascii, L"CustomerOrderLine");
BENCHMARK_CAPTURE(Lower, non_ascii, L"ÄußereKundenAdresseΣЖ");

void LowerInto(benchmark::State& state, const wchar_t* name) {
    const ky::string text(name);
    std::wstring out;
    for (auto _ : state) {
        ky::string::lowerInto(text.data(), text.size(), out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK_CAPTURE(LowerInto, ascii, L"CustomerOrderLine");
BENCHMARK_CAPTURE(LowerInto, non_ascii, L"ÄußereKundenAdresseΣЖ");

class object : public ky::refObj {};

void RefPtrCopy(benchmark::State& state) {
    const ky::refPtr<ky::refObj> original(new object);
    for (auto _ : state) {
        ky::refPtr<ky::refObj> copy = original;
        benchmark::DoNotOptimize(copy.get());
    }
}
BENCHMARK(RefPtrCopy);

}  // namespace

BENCHMARK_MAIN();
