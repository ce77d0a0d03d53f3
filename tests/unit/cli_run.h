// Runs qmspool's commands in the test's process, with the rows the built qmspool has: its
// status and what it wrote to each stream.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "cli/commands.h"
#if QM_HAVE_HOST
#include "host/host_commands.h"
#endif

namespace qm {

struct CliRun {
    int status = 0;
    std::string out, err;
};

inline std::string slurp(std::FILE* f)
{
    std::string s;
    std::rewind(f);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    std::fclose(f);
    return s;
}

// The rows the built qmspool has beside the portable ones.
inline std::span<const cli::Command> native_rows()
{
#if QM_HAVE_HOST
    return host::commands();
#else
    return {};
#endif
}

inline std::vector<const cli::Command*> every_row()
{
    std::vector<const cli::Command*> rows;
    for (std::span<const cli::Command> each : {cli::portable_commands(), native_rows()})
        for (const cli::Command& c : each)
            rows.push_back(&c);
    return rows;
}

inline CliRun qmspool(std::vector<std::string> args, std::FILE* out = std::tmpfile())
{
    args.insert(args.begin(), "qmspool");
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    std::FILE* err = std::tmpfile();
    CliRun r;
    r.status =
        cli::qmspool_main(static_cast<int>(argv.size()), argv.data(), out, err, native_rows());
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

} // namespace qm
