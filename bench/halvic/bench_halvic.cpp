// One status exchange through libHalvic as the monitor makes it on every poll: CmdOutput(1) and,
// on a status reply, CmdInput. The library is loaded by its bare name, like the monitor loads it.
//
// NUT cases: a fake server in this process that answers, and the same server frozen after its
// first answers; and, when HALVIC_NUT_UPS=ups@127.0.0.1:port names one, a real NUT server (see
// docs/halvic.md).
#include "FakeNutServer.h"

#include <array>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <halvic/Halvic.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

struct Halvic
{
    Halvic()
        : handle(dlopen("libHalvic.so", RTLD_NOW))
    {
        if (handle == nullptr)
            return;
        open = reinterpret_cast<HalvicHidHandleFunction>(dlsym(handle, "HidHandle"));
        close = reinterpret_cast<HalvicCloseHandleDeviceFunction>(dlsym(handle, "CloseHandleDevice"));
        output = reinterpret_cast<HalvicCmdOutputFunction>(dlsym(handle, "CmdOutput"));
        input = reinterpret_cast<HalvicCmdInputFunction>(dlsym(handle, "CmdInput"));
    }

    bool usable() const { return open && close && output && input; }

    // True when the UPS answered with a valid status block.
    bool statusExchange() const
    {
        std::array<char, HALVIC_REPLY_CODE_SIZE + 1> reply{};
        std::array<char, HALVIC_STATUS_BLOCK_SIZE + 1> status{};
        std::array<char, HALVIC_SECOND_BUFFER_SIZE + 1> second{};
        output(HALVIC_COMMAND_STATUS, 0, reply.data());
        if (std::strcmp(reply.data(), HALVIC_REPLY_STATUS) != 0)
            return false;
        input(status.data(), second.data());
        return status[0] == HALVIC_VALID_MARKER;
    }

    // The worker answers the first query after it has polled once.
    bool answersWithin(std::chrono::seconds limit) const
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!statusExchange()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    void* handle;
    HalvicHidHandleFunction open = nullptr;
    HalvicCloseHandleDeviceFunction close = nullptr;
    HalvicCmdOutputFunction output = nullptr;
    HalvicCmdInputFunction input = nullptr;
};

const Halvic& halvic()
{
    static const Halvic library;
    return library;
}

// Opens the library on the configured UPS; false (and the benchmark skipped) when it is unusable.
bool openAnswering(benchmark::State& state)
{
    if (!halvic().usable()) {
        state.SkipWithError(dlerror());
        return false;
    }
    halvic().open();
    if (!halvic().answersWithin(std::chrono::seconds(5))) {
        state.SkipWithError("the UPS does not answer");
        return false;
    }
    return true;
}

void runExchanges(benchmark::State& state)
{
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
    if (openAnswering(state))
        runExchanges(state);
    ::unlink(stateFile.c_str());
}

void useFakeServer(const fakenut::FakeNutServer& server)
{
    ::setenv("HALVIC_BACKEND", "nut", 1);
    ::setenv("HALVIC_NUT_UPS", ("fake@127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
}

void BM_StatusExchangeNutUp(benchmark::State& state)
{
    const fakenut::FakeNutServer server(fakenut::Behaviour::Serve);
    useFakeServer(server);
    if (openAnswering(state))
        runExchanges(state);
}

// The server stops answering in the middle of an exchange with the worker.
void BM_StatusExchangeNutFrozen(benchmark::State& state)
{
    fakenut::FakeNutServer server(fakenut::Behaviour::Serve);
    useFakeServer(server);
    if (!openAnswering(state))
        return;
    server.setBehaviour(fakenut::Behaviour::Silent);
    runExchanges(state);
}

void BM_StatusExchangeRealNut(benchmark::State& state)
{
    if (std::getenv("HALVIC_REAL_NUT_UPS") == nullptr) {
        state.SkipWithError("set HALVIC_REAL_NUT_UPS=ups@127.0.0.1:port to a NUT server");
        return;
    }
    ::setenv("HALVIC_BACKEND", "nut", 1);
    ::setenv("HALVIC_NUT_UPS", std::getenv("HALVIC_REAL_NUT_UPS"), 1);
    if (openAnswering(state))
        runExchanges(state);
}

} // namespace

BENCHMARK(BM_StatusExchangeSim)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StatusExchangeNutUp)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StatusExchangeNutFrozen)->Unit(benchmark::kMicrosecond)->MinTime(3.0);
BENCHMARK(BM_StatusExchangeRealNut)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
