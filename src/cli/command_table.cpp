#include "cli/command_table.h"

#include <cstdarg>
#include <cstring>

#include "cli/commands.h"
#include "cli/output_file.h"
#include "version.h"

namespace qm::cli {
namespace {

const char UsageHead[] = "Usage: qmspool COMMAND ...\n"
                         "Inspect, render and export handheld print spool files.\n"
                         "\n";

const char UsageTail[] = "  qmspool COMMAND --help\n"
                         "      Show one command's usage.\n"
                         "  qmspool --help\n"
                         "  qmspool --version\n";

// The rows a command line is read against: the portable ones, then the host's.
struct Rows {
    std::span<const Command> portable;
    std::span<const Command> more;

    const Command* find(const char* name) const
    {
        for (std::span<const Command> rows : {portable, more})
            for (const Command& c : rows)
                if (std::strcmp(c.name, name) == 0)
                    return &c;
        return nullptr;
    }
};

bool is_help_option(const char* arg)
{
    return !std::strcmp(arg, "--help") || !std::strcmp(arg, "-h");
}

// A command's forms as `--help` shows them: each synopsis, then its help a line each.
void put_forms(const Command& c, std::FILE* out)
{
    for (const CommandForm& form : c.forms) {
        std::fprintf(out, "  qmspool %s\n", form.synopsis);
        for (const char* line = form.help; *line;) {
            const char* end = std::strchr(line, '\n');
            const int n = static_cast<int>(end ? end - line : std::strlen(line));
            std::fprintf(out, "      %.*s\n", n, line);
            line += n + (end ? 1 : 0);
        }
    }
}

int show_usage(const Rows& rows, const char* command, std::FILE* out, std::FILE* err)
{
    if (const Command* c = command ? rows.find(command) : nullptr) {
        std::fputs("Usage:\n", out);
        put_forms(*c, out);
    } else {
        std::fputs(UsageHead, out);
        for (std::span<const Command> each : {rows.portable, rows.more})
            for (const Command& row : each)
                put_forms(row, out);
        std::fputs(UsageTail, out);
    }
    return finish_output(out, err) ? 0 : 1;
}

// True when argv names a command and asks for its usage (--help or -h anywhere after it).
bool asks_for_help(const Rows& rows, int argc, const char* const* argv)
{
    if (argc < 3 || !rows.find(argv[1]))
        return false;
    for (int i = 2; i < argc; ++i)
        if (is_help_option(argv[i]))
            return true;
    return false;
}

// Reads the arguments after the command's name against its row; false once the usage is
// refused.
bool read_arguments(const Command& c, int argc, const char* const* argv, Invocation& call,
                    std::FILE* err)
{
    const char* const* args = argv + 2;
    const int n = argc - 2;
    int operands = n;
    if (!c.options.empty())
        for (operands = 0; operands < n && operands < c.max_operands && args[operands][0] != '-';)
            ++operands;
    if (operands < c.min_operands || operands > c.max_operands) {
        refuse_usage(err, c.operands_error);
        return false;
    }
    call.command = &c;
    call.operands = {args, static_cast<std::size_t>(operands)};
    for (int i = operands; i < n; ++i) {
        std::size_t k = 0;
        while (k < c.options.size() && std::strcmp(args[i], c.options[k].name) != 0)
            ++k;
        if (k == c.options.size() || k >= MaxCommandOptions) {
            refuse_usagef(err, "%s: unknown option '%.100s'", c.name, args[i]);
            return false;
        }
        const CommandOption& option = c.options[k];
        if (!option.takes_value) {
            call.values[k] = option.name;
            continue;
        }
        // No option of ours takes an empty value: an empty name or number is a slip.
        if (i + 1 >= n || !args[i + 1][0]) {
            refuse_usagef(err, "%s: %s needs a value", c.name, option.name);
            return false;
        }
        call.values[k] = args[++i];
    }
    return true;
}

} // namespace

const char* Invocation::value(const char* option) const
{
    for (std::size_t k = 0; k < command->options.size() && k < MaxCommandOptions; ++k)
        if (std::strcmp(command->options[k].name, option) == 0)
            return values[k];
    return nullptr;
}

int refuse_usage(std::FILE* err, const char* what)
{
    std::fprintf(err, "qmspool: %s (see qmspool --help)\n", what);
    return 1;
}

int refuse_usagef(std::FILE* err, const char* format, ...)
{
    char what[200];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(what, sizeof what, format, args);
    va_end(args);
    return refuse_usage(err, what);
}

int qmspool_main(int argc, const char* const* argv, std::FILE* out, std::FILE* err,
                 std::span<const Command> more)
{
    const Rows rows{portable_commands(), more};
    if (argc < 2)
        return refuse_usage(err, "no command given");
    const char* command = argv[1];
    if (is_help_option(command) || !std::strcmp(command, "help"))
        return show_usage(rows, argc > 2 ? argv[2] : nullptr, out, err);
    if (asks_for_help(rows, argc, argv))
        return show_usage(rows, command, out, err);
    if (!std::strcmp(command, "--version")) {
        std::fprintf(out, "qmspool %s\n", QM_VERSION_TEXT);
        return finish_output(out, err) ? 0 : 1;
    }
    const Command* c = rows.find(command);
    if (!c)
        return refuse_usagef(err, "unknown command '%.100s'", command);
    Invocation call;
    if (!read_arguments(*c, argc, argv, call, err))
        return 1;
    return c->run(call, out, err);
}

} // namespace qm::cli
