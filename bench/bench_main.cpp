#include "HeapSlack.h"
#include <QApplication>

#include <benchmark/benchmark.h>
#include <memory>
#include <string>

namespace {

// Wraps the reporter the command line chose (console, JSON or CSV), and
// remembers whether a benchmark stopped with an error (say, the window never
// appeared), so that the run then fails.
class CheckingReporter : public benchmark::BenchmarkReporter
{
public:
    explicit CheckingReporter(benchmark::BenchmarkReporter *inner) : m_inner(inner) {}
    bool failed = false;

    bool ReportContext(const Context &context) override
    {
        m_inner->SetOutputStream(&GetOutputStream());
        m_inner->SetErrorStream(&GetErrorStream());
        return m_inner->ReportContext(context);
    }
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            failed = failed || run.error_occurred;
        m_inner->ReportRuns(runs);
    }
    void Finalize() override { m_inner->Finalize(); }

private:
    std::unique_ptr<benchmark::BenchmarkReporter> m_inner;
};

// The reporter --benchmark_format asks for.
benchmark::BenchmarkReporter *reporterFor(const std::string &format)
{
    if (format == "json")
        return new benchmark::JSONReporter;
    if (format == "csv") {
        // Deprecated upstream, and still what --benchmark_format=csv means.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        return new benchmark::CSVReporter;
#pragma GCC diagnostic pop
    }
    return new benchmark::ConsoleReporter;
}

} // namespace

int main(int argc, char **argv)
{
    // The window benchmarks run without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // As the programs do: see KeepHeapSlack.
    tarnwell::KeepHeapSlack();
    QApplication app(argc, argv);
    // Google Benchmark reads --benchmark_format into its own flag (and takes
    // it out of argv), which RunSpecifiedBenchmarks honours only when no
    // reporter is passed.
    std::string format = "console";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--benchmark_format=", 0) == 0)
            format = arg.substr(std::string("--benchmark_format=").size());
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CheckingReporter reporter(reporterFor(format));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.failed ? 1 : 0;
}
