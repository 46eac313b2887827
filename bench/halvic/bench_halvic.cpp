// One status exchange through libHalvic as the monitor makes it on every poll: CmdOutput(1) and,
// on "T1", CmdInput. The library is loaded by its bare name, like the monitor loads it.
//
// The NUT case needs a server: HALVIC_NUT_UPS=ups@127.0.0.1:port (see docs/halvic.md).
#include <array>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

struct Halvic
{
    using Procedure = void (*)();
    using Output = void (*)(int, int, char*);
    using Input = void (*)(char*, char*);

    Halvic()
        : handle(dlopen("libHalvic.so", RTLD_NOW))
    {
        if (handle == nullptr)
            return;
        open = reinterpret_cast<Procedure>(dlsym(handle, "HidHandle"));
        close = reinterpret_cast<Procedure>(dlsym(handle, "CloseHandleDevice"));
        output = reinterpret_cast<Output>(dlsym(handle, "CmdOutput"));
        input = reinterpret_cast<Input>(dlsym(handle, "CmdInput"));
    }

    bool usable() const { return open && close && output && input; }

    // True when the UPS answered with a valid status block.
    bool statusExchange() const
    {
        std::array<char, 3> reply{};
        std::array<char, 51> status{};
        std::array<char, 7> second{};
        output(1, 0, reply.data());
        if (std::strcmp(reply.data(), "T1") != 0)
            return false;
        input(status.data(), second.data());
        return status[0] == 'T';
    }

    void* handle;
    Procedure open = nullptr;
    Procedure close = nullptr;
    Output output = nullptr;
    Input input = nullptr;
};

const Halvic& halvic()
{
    static const Halvic library;
    return library;
}

void runExchanges(benchmark::State& state)
{
    if (!halvic().usable()) {
        state.SkipWithError(dlerror());
        return;
    }
    halvic().open();
    if (!halvic().statusExchange()) {
        state.SkipWithError("the UPS does not answer");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(halvic().statusExchange());
    halvic().close();
}

void BM_StatusExchangeSim(benchmark::State& state)
{
    const std::string stateFile = "/tmp/halvic-bench-" + std::to_string(::getpid()) + ".state";
    std::ofstream(stateFile) << "onbattery\n";
    ::setenv("HALVIC_BACKEND", "sim", 1);
    ::setenv("HALVIC_SIM_FILE", stateFile.c_str(), 1);
    runExchanges(state);
    ::unlink(stateFile.c_str());
}

void BM_StatusExchangeNut(benchmark::State& state)
{
    if (std::getenv("HALVIC_NUT_UPS") == nullptr) {
        state.SkipWithError("set HALVIC_NUT_UPS=ups@127.0.0.1:port to a NUT server");
        return;
    }
    ::setenv("HALVIC_BACKEND", "nut", 1);
    runExchanges(state);
}

} // namespace

BENCHMARK(BM_StatusExchangeSim)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StatusExchangeNut)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
