// The alarm text parser beside a plain byte search for the same markers over the same text: the
// character-boundary rule should cost little more than the search itself.
#include "AlarmText.h"

#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <string_view>

namespace {

// A line-format alarm whose message is `size` bytes of mixed ASCII and double-byte text, so the
// search meets lead bytes all the way.
std::string alarmOfSize(std::size_t size)
{
    std::string message;
    const std::string piece = "Lunch \x82\xa0\x82\xa2 ready #Level \x81\x5c\n";
    while (message.size() < size) {
        message += piece;
    }
    message.resize(size);
    return "#Sender=PC01\n#Message=" + message + "\n#Level=3\n";
}

constexpr std::array<std::string_view, 6> lineMarkers {
    "#Sender=", "\n#Message=", "#Message=", "\n#Level=", "#Level=", "\n"};

void parseLineFormat(benchmark::State &state)
{
    const std::string text = alarmOfSize(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const belvane::AlarmFormat format = belvane::selectAlarmFormat(text);
        benchmark::DoNotOptimize(belvane::ParseAlarmText(text, format));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The same searches the parser makes, by std::string_view::find with no boundary rule.
void plainFind(benchmark::State &state)
{
    const std::string text = alarmOfSize(static_cast<std::size_t>(state.range(0)));
    const std::string_view view(text);
    for (auto _ : state) {
        std::size_t sum = view.find("#lOGIC=");
        for (std::size_t i = 0; i < lineMarkers.size(); i += 2) {
            const std::size_t start = view.find(lineMarkers[i]);
            sum += start;
            if (start != std::string_view::npos) {
                sum += view.find(lineMarkers[i + 1], start + lineMarkers[i].size());
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

BENCHMARK(parseLineFormat)->Arg(100)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(plainFind)->Arg(100)->Arg(64 << 10)->Arg(1 << 20);

} // namespace

BENCHMARK_MAIN();
