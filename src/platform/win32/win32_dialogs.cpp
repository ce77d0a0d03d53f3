// The common save dialog.
#include <windows.h>

#include <commdlg.h>

#include "platform/dialog_port.h"

namespace qm {

bool save_file_dialog(const SaveDialogDesc& desc)
{
    OPENFILENAMEA ofn{};
    // The size of the structure this build has: a 64-bit one is larger than the 32-bit 76.
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = reinterpret_cast<HWND>(desc.owner);
    ofn.lpstrFilter = desc.filter;
    ofn.nFilterIndex = static_cast<DWORD>(desc.filter_index);
    ofn.lpstrFile = desc.file_name;
    ofn.nMaxFile = static_cast<DWORD>(desc.file_name_size);
    ofn.lpstrTitle = desc.title;
    ofn.Flags = desc.flags;
    ofn.lpstrDefExt = desc.default_extension;
    return GetSaveFileNameA(&ofn) != 0;
}

} // namespace qm
