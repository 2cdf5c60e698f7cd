// What an edit costs the owner's thread: one parameter change with its undo
// step, reaction and notification, rendering off; and the same while the
// live voices stream, when each change also hands them a new snapshot.
#include <benchmark/benchmark.h>

#include "core/session.h"

using namespace kf;

static void BM_SetParameter(benchmark::State& state) {
    Session s;
    s.render().setAutoRender(false);
    if (state.range(0) != 0) {
        s.live().setRealTimeMark(true);
        s.live().startStream();
    }
    int v = 0;
    for (auto _ : state) {
        (void)s.params().set(ParamId::CutOff, 10 + (v++ & 63));
        s.params().drainNotifications();
    }
}
BENCHMARK(BM_SetParameter)->ArgName("live")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
