// The simulated save dialog: answers from the test's script, and a record of what it was shown.
#include <cstring>
#include <deque>

#include "platform/dialog_port.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_internal.h"

namespace qm {
namespace sim {
namespace {

DialogState& dialogs()
{
    return state().dialogs;
}

} // namespace

const std::vector<SaveDialogShown>& save_dialogs()
{
    return dialogs().shown;
}

void script_save_dialog(const std::vector<std::optional<std::string>>& answers)
{
    dialogs().answers.assign(answers.begin(), answers.end());
}

} // namespace sim

bool save_file_dialog(const SaveDialogDesc& desc)
{
    sim::SaveDialogShown seen;
    seen.owner = desc.owner;
    for (const char* p = desc.filter; p && *p; p += std::strlen(p) + 1)
        seen.filter.emplace_back(p);
    seen.filter_index = desc.filter_index;
    if (desc.file_name)
        seen.initial_name.assign(desc.file_name, strnlen(desc.file_name, desc.file_name_size));
    seen.name_size = desc.file_name_size;
    seen.title = desc.title ? desc.title : "";
    seen.flags = desc.flags;
    seen.default_extension = desc.default_extension ? desc.default_extension : "";
    sim::dialogs().shown.push_back(seen);
    sim::record("save_dialog");
    sim::run_modal_hook();

    auto& answers = sim::dialogs().answers;
    std::optional<std::string> answer;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    if (!answer || answer->size() >= desc.file_name_size)
        return false;
    std::memcpy(desc.file_name, answer->c_str(), answer->size() + 1);
    return true;
}

} // namespace qm
