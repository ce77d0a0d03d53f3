// qmspool's one front door: every command is a row of a table (name, synopsis, help, options,
// handler). The portable commands' rows are cli's own; the native host hands its rows in beside
// them, so that a build without the host (the Windows qmspool.exe) has only the portable rows.
// `qmspool --help`, `qmspool COMMAND --help`, `qmspool help COMMAND`, the parsing of a command
// line and the refusal of a usage all read the rows.
#pragma once

#include <cstddef>
#include <cstdio>
#include <span>

namespace qm::cli {

// One way of using a command: its synopsis after "qmspool " and what it does, a line each,
// as `--help` shows them (indented there).
struct CommandForm {
    const char* synopsis;
    const char* help;
};

struct CommandOption {
    const char* name; // "--page"
    bool takes_value; // false: a flag, present or not
};

struct Invocation;

struct Command {
    const char* name;
    std::span<const CommandForm> forms;
    // None: every argument after the name is an operand, however it begins. Some: the command's
    // operands come first and none of them begins with '-'; the options follow.
    std::span<const CommandOption> options;
    int min_operands;
    int max_operands;
    // The usage refusal when the operands are not what the command takes.
    const char* operands_error;
    int (*run)(const Invocation& call, std::FILE* out, std::FILE* err);
};

// The most options one command has.
inline constexpr std::size_t MaxCommandOptions = 8;

// A command line read against its row: the operands, and the value of each option given (a
// flag's value is its name); null for an option not given. The last of a repeated one counts.
struct Invocation {
    const Command* command = nullptr;
    std::span<const char* const> operands;
    const char* values[MaxCommandOptions] = {};

    const char* value(const char* option) const;
    bool has(const char* option) const { return value(option) != nullptr; }
};

// Refuses a usage: one line on `err`, "qmspool: WHAT (see qmspool --help)", and status 1.
int refuse_usage(std::FILE* err, const char* what);
// The same, WHAT formatted (cut to a line of bounded length).
[[gnu::format(printf, 2, 3)]] int refuse_usagef(std::FILE* err, const char* format, ...);

// The portable commands' rows.
std::span<const Command> portable_commands();

} // namespace qm::cli
