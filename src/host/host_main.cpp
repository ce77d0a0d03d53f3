#include <cstring>

#include "host/host_commands.h"

namespace qm::host {
namespace {

int usage_error(std::FILE* err, const char* what)
{
    std::fprintf(err, "qmspool: %s (see qmspool --help)\n", what);
    return 1;
}

// Reads "--name VALUE" pairs from argv[first] on into the named slots; false after a usage
// line on `err`.
struct Option {
    const char* name;
    const char** value;
};
template <std::size_t N>
bool parse_options(int argc, const char* const* argv, int first, const char* command,
                   const Option (&options)[N], std::FILE* err)
{
    for (int i = first; i < argc; ++i) {
        const Option* found = nullptr;
        for (const Option& o : options)
            if (std::strcmp(argv[i], o.name) == 0)
                found = &o;
        char what[160];
        if (!found) {
            std::snprintf(what, sizeof what, "%s: unknown option '%.100s'", command, argv[i]);
            usage_error(err, what);
            return false;
        }
        if (i + 1 >= argc || !argv[i + 1][0]) {
            std::snprintf(what, sizeof what, "%s: %s needs a value", command, found->name);
            usage_error(err, what);
            return false;
        }
        *found->value = argv[++i];
    }
    return true;
}

} // namespace

bool is_host_command(const char* command)
{
    return command && (!std::strcmp(command, "print") || !std::strcmp(command, "watch") ||
                       !std::strcmp(command, "config"));
}

int host_main(int argc, const char* const* argv, std::FILE* out, std::FILE* err)
{
    if (!std::strcmp(argv[1], "print")) {
        PrintRequest r;
        if (argc < 3 || argv[2][0] == '-')
            return usage_error(err, "print takes FILE first");
        r.path = argv[2];
        const Option options[] = {{"--printer", &r.printer}, {"--title", &r.title}};
        if (!parse_options(argc, argv, 3, "print", options, err))
            return 1;
        return run_print(r, out, err);
    }
    if (!std::strcmp(argv[1], "config")) {
        if (argc == 2)
            return run_config_show(out, err);
        if (argc == 4 && !std::strcmp(argv[2], "install-folder") && argv[3][0])
            return run_config_install_folder(argv[3], out, err);
        return usage_error(err, "config takes nothing, or install-folder DIR");
    }
    WatchRequest r;
    const Option options[] = {{"--install-folder", &r.install_folder}, {"--printer", &r.printer}};
    if (!parse_options(argc, argv, 2, "watch", options, err))
        return 1;
    return run_watch(r, err);
}

} // namespace qm::host
