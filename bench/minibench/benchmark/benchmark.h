// minibench: the part of Google Benchmark's interface that the menu benchmark
// uses, for toolchains without the library.  Each benchmark runs with a
// growing iteration count until it has taken half a second, then prints
// Google Benchmark's console line: name, time and CPU time per iteration in
// ns, iterations.  Only the time inside the `for (auto _ : state)` loop counts.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace benchmark {

class State {
public:
    explicit State(int64_t iterations) : max_(iterations) {}

    struct Iterator {
        State* state;
        int64_t left;
        bool operator!=(const Iterator&) {
            if (left > 0)
                return true;
            state->stop_ = Clock::now();
            return false;
        }
        void operator++() { --left; }
        // A type with a destructor of its own, so that `for (auto _ : state)`
        // draws no unused-variable warning, as with the real library.
        struct Value {
            ~Value() {}
        };
        Value operator*() const { return {}; }
    };
    Iterator begin() {
        start_ = Clock::now();
        return {this, max_};
    }
    Iterator end() { return {this, 0}; }

    void SkipWithError(const char* message) { error_ = message; }
    int64_t iterations() const { return max_; }
    double Seconds() const { return std::chrono::duration<double>(stop_ - start_).count(); }
    const std::string& Error() const { return error_; }

private:
    using Clock = std::chrono::steady_clock;
    int64_t max_;
    Clock::time_point start_{}, stop_{};
    std::string error_;
};

template <class T>
inline void DoNotOptimize(T const& value) {
    asm volatile("" : : "r,m"(value) : "memory");
}

namespace internal {

struct Entry {
    const char* name;
    void (*function)(State&);
};

inline std::vector<Entry>& Registry() {
    static std::vector<Entry> entries;
    return entries;
}

struct Registrar {
    Registrar(const char* name, void (*function)(State&)) { Registry().push_back({name, function}); }
};

inline int RunAll() {
    std::printf("%-40s %15s %15s %12s\n", "Benchmark", "Time", "CPU", "Iterations");
    for (const Entry& e : Registry()) {
        int64_t n = 1;
        for (;;) {
            State state(n);
            e.function(state);
            if (!state.Error().empty()) {
                std::printf("%-40s ERROR: %s\n", e.name, state.Error().c_str());
                break;
            }
            const double seconds = state.Seconds();
            if (seconds >= 0.5 || n >= (int64_t{1} << 30)) {
                const double ns = seconds * 1e9 / static_cast<double>(n);
                std::printf("%-40s %12.0f ns %12.0f ns %12lld\n", e.name, ns, ns, static_cast<long long>(n));
                break;
            }
            const double grow = seconds > 0 ? 0.6 / seconds : 100.0;
            n = static_cast<int64_t>(static_cast<double>(n) * (grow < 2 ? 2 : grow > 100 ? 100 : grow));
        }
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace internal

inline void Initialize(int*, char**) {}
inline void RunSpecifiedBenchmarks() { internal::RunAll(); }
inline void Shutdown() {}

}  // namespace benchmark

#define MINIBENCH_CAT2(a, b) a##b
#define MINIBENCH_CAT(a, b) MINIBENCH_CAT2(a, b)
#define BENCHMARK(fn) static ::benchmark::internal::Registrar MINIBENCH_CAT(minibench_, __LINE__)(#fn, fn)
