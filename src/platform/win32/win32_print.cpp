// Printing through the Windows print system.
#include <windows.h>

#include <commdlg.h>
#include <cstring>
#include <winspool.h>

#include "platform/print_port.h"

namespace qm {
namespace {

HDC hdc(DrawContext dc)
{
    return reinterpret_cast<HDC>(dc);
}

bool copy_name(const char* from, char* name, std::size_t size)
{
    if (!from || !*from || std::strlen(from) >= size)
        return false;
    std::memcpy(name, from, std::strlen(from) + 1);
    return true;
}

} // namespace

bool default_printer_name(char* name, std::size_t size)
{
    // The default printer's record, in a buffer of 100 bytes: a record and names that do not
    // fit make the call fail.
    alignas(PRINTER_INFO_5A) BYTE record[100];
    DWORD needed = 0, returned = 0;
    if (EnumPrintersA(PRINTER_ENUM_DEFAULT, nullptr, 5, record, sizeof record, &needed,
                      &returned) &&
        returned > 0 &&
        copy_name(reinterpret_cast<const PRINTER_INFO_5A*>(record)->pPrinterName, name, size))
        return true;
    // NT-based systems (and Wine) list no record for PRINTER_ENUM_DEFAULT; they name the
    // default printer here instead.
    char buffer[MAX_PATH];
    DWORD length = sizeof buffer;
    if (GetDefaultPrinterA(buffer, &length))
        return copy_name(buffer, name, size);
    return false;
}

DrawContext create_printer_dc(const char* name)
{
    return reinterpret_cast<DrawContext>(CreateDCA(nullptr, name, nullptr, nullptr));
}

void delete_printer_dc(DrawContext dc)
{
    DeleteDC(hdc(dc));
}

PrintDialogAnswer print_dialog(Window owner)
{
    // Cleared in full before each use, so nothing of an earlier dialog reaches this one.
    static PRINTDLGA record;
    std::memset(&record, 0, sizeof record);
    record.lStructSize = sizeof record;
    record.hwndOwner = reinterpret_cast<HWND>(owner);
    record.Flags = PD_RETURNDC | PD_COLLATE;
    record.nCopies = 1;
    PrintDialogAnswer answer;
    answer.confirmed = PrintDlgA(&record) != 0;
    if (answer.confirmed) {
        answer.dc = reinterpret_cast<DrawContext>(record.hDC);
        // Only the device context is used; the dialog's device mode and names are not.
        if (record.hDevMode)
            GlobalFree(record.hDevMode);
        if (record.hDevNames)
            GlobalFree(record.hDevNames);
    }
    return answer;
}

int start_document(DrawContext printer)
{
    static const DOCINFOA document = {sizeof(DOCINFOA), "", nullptr, nullptr, 0};
    return StartDocA(hdc(printer), &document);
}

int start_page(DrawContext printer)
{
    return StartPage(hdc(printer));
}

int end_page(DrawContext printer)
{
    return EndPage(hdc(printer));
}

int end_document(DrawContext printer)
{
    return EndDoc(hdc(printer));
}

} // namespace qm
