// The common save dialog.
#include <windows.h>

#include <commdlg.h>

#include "platform/dialog_port.h"

namespace qm {

bool save_file_dialog(const SaveDialogSpec& spec)
{
    OPENFILENAMEA ofn{};
    // The size of the structure this build has: a 64-bit one is larger than the 32-bit 76.
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = reinterpret_cast<HWND>(spec.owner);
    ofn.lpstrFilter = spec.filter;
    ofn.nFilterIndex = static_cast<DWORD>(spec.filter_index);
    ofn.lpstrFile = spec.file_name;
    ofn.nMaxFile = static_cast<DWORD>(spec.file_name_size);
    ofn.lpstrTitle = spec.title;
    ofn.Flags = spec.flags;
    ofn.lpstrDefExt = spec.default_extension;
    return GetSaveFileNameA(&ofn) != 0;
}

} // namespace qm
