#pragma once
// What the printer benchmarks share: running a tool or a bed script, and
// the median of the timings.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace benchtools {

// Runs the program to its end (two minutes at most), in ENV when one is
// given; true when it exited with 0. Its standard output goes to OUTPUT.
inline bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
                const QProcessEnvironment& env = {})
{
    QProcess process;
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    process.start(program, arguments);
    const bool ok = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
                    process.exitCode() == 0;
    if (output)
        *output = process.readAllStandardOutput();
    return ok;
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace benchtools
