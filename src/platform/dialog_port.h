// The common dialog the program asks the user through: choosing a file to save to.
#pragma once

#include <cstddef>

#include "platform/handles.h"

namespace qm {

struct SaveDialogDesc {
    Window owner = nullptr;
    // Pairs of a description and its pattern, each zero-terminated, and one more zero at the end.
    const char* filter = nullptr;
    int filter_index = 0; // 0: the first pair
    // Holds the name the dialog opens with and receives the chosen path, zero-terminated.
    char* file_name = nullptr;
    std::size_t file_name_size = 0;
    const char* title = nullptr;
    unsigned flags = 0;                      // none: the platform's own defaults
    const char* default_extension = nullptr; // added to a name typed without one
};

// Shows the save dialog; true with the chosen path in file_name, false when the user cancelled
// or the dialog failed (file_name is then left as it was).
bool save_file_dialog(const SaveDialogDesc& desc);

} // namespace qm
