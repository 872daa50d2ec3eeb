#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

// The console report, remembering whether a benchmark stopped with an error
// (say, the window never appeared), so that the run then fails.
class CheckingReporter : public benchmark::ConsoleReporter
{
public:
    bool failed = false;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            failed = failed || run.error_occurred;
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char **argv)
{
    // The window benchmarks run without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CheckingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.failed ? 1 : 0;
}
