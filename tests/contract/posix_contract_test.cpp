// The port contract on the POSIX backend of `qmspool watch`: real folders and inotify, real other
// processes, and the settings file in place of the registry.
#include <cstdio>
#include <map>

#include "platform/posix/posix.h"
#include "port_contract.h"
#include "posix_scratch.h"

namespace qm::contract {
namespace {

class PosixBackend : public PosixScratch {
public:
    static constexpr bool HasInstance = false;
    static constexpr const char* NoInstance = "[by design] qmspool watch claims its install folder "
                                              "with a lock of its own (host/services/watch_lock.h)";

    PosixBackend() { configure(); }
    ~PosixBackend() { posix::configure(posix::Options{}); }

    std::unique_ptr<ForkedHolder> hold(const std::string& relative)
    {
        return std::make_unique<ForkedHolder>(fs_path(relative).string());
    }

    Keys keys() const { return Keys{{"Software", "Quillmark Tests", "Contract", "v2.0"}}; }
    // Each value a line of the settings file, under its keys as spelt; the file is read afresh.
    void set_value(const KeyPath& keys, const char* name, const std::vector<std::uint8_t>& bytes)
    {
        std::string line = std::string(name) + "=hex:";
        for (std::uint8_t byte : bytes) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02x", byte);
            line += hex;
        }
        add(keys, line);
    }
    void set_text(const KeyPath& keys, const char* name, const std::string& text)
    {
        add(keys, std::string(name) + "=" + text);
    }

private:
    void add(const KeyPath& keys, const std::string& line)
    {
        settings_ += std::string("[") + keys.names[0] + "\\" + keys.names[1] + "\\" +
                     keys.names[2] + "\\" + keys.names[3] + "]\n" + line + "\n";
        file("settings", settings_);
        configure();
    }
    void configure()
    {
        posix::Options options;
        options.settings_file = fs_path("settings").string();
        options.log = nullptr; // what the backend says is no concern of the contract
        posix::configure(options);
    }

    std::string settings_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Posix, PortContract, PosixBackend);

} // namespace
} // namespace qm::contract
