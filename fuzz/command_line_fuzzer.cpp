// The command line of QMSpooler.exe: every input is a whole command line (program path
// included); its first byte also picks the size of the buffer the job path is taken into. The
// path taken must fit its buffer, be terminated, and be text of the command line.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

#define QM_CMDLINE_CHECK(cond)                                                                     \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: command line check failed: %s\n", __FILE__, __LINE__,     \
                         #cond);                                                                   \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The program's own buffer size, or a small one from the first byte so that the fitting
    // edge is reached often.
    const std::size_t out_size = size > 0 && data[0] < 0x80 ? data[0] : 512;
    const std::string line(reinterpret_cast<const char*>(data), size); // cut at a NUL below
    std::vector<char> out(out_size + 1, '\x7F');
    qm::take_print_path(line.c_str(), out.data(), out_size);
    QM_CMDLINE_CHECK(out[out_size] == '\x7F'); // nothing written past the buffer
    if (out_size == 0)
        return 0;
    const std::size_t n = strnlen(out.data(), out_size);
    QM_CMDLINE_CHECK(n < out_size);
    if (n > 0)
        QM_CMDLINE_CHECK(std::strstr(line.c_str(), std::string(out.data(), n).c_str()) != nullptr);
    return 0;
}
