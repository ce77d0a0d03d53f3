// The port contract on the simulated backend. Its files are the test's real folders; what another
// program does is reported to the simulation, as the logic's tests report it.
#include "platform/sim/sim.h"
#include "port_contract.h"
#include "posix_scratch.h"

namespace qm::contract {
namespace {

class SimBackend : public PosixScratch {
public:
    static constexpr bool HasInstance = true;
    static constexpr const char* NoInstance = "";

    SimBackend() { sim::reset(); }
    ~SimBackend() { sim::reset(); }

    void folder(const std::string& relative)
    {
        PosixScratch::folder(relative);
        sim::notify_change(path(relative).c_str());
    }
    void file(const std::string& relative, const std::string& text = "x")
    {
        PosixScratch::file(relative, text);
        sim::notify_change(path(relative).c_str());
    }
    void remove(const std::string& relative)
    {
        PosixScratch::remove(relative);
        sim::notify_change(path(relative).c_str());
    }

    // The simulation's own other program: it writes the file and lets others read it.
    class Hold {
    public:
        explicit Hold(std::string path) : path_(std::move(path))
        {
            sim::hold_file(path_.c_str(), true);
        }
        ~Hold() { sim::release_file(path_.c_str()); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        std::string path_;
    };
    std::unique_ptr<Hold> hold(const std::string& relative)
    {
        return std::make_unique<Hold>(path(relative));
    }

    Keys keys() const { return Keys{{"Software", "Quillmark Tests", "Contract", "v2.0"}}; }
    void set_value(const KeyPath& keys, const char* name, const std::vector<std::uint8_t>& bytes)
    {
        sim::store_value(keys, name, bytes);
    }
    void set_text(const KeyPath& keys, const char* name, const std::string& text)
    {
        std::vector<std::uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        sim::store_value(keys, name, bytes, sim::ValueType::Text);
    }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Sim, PortContract, SimBackend);

} // namespace
} // namespace qm::contract
