// The entry of QMSpooler.exe.
#include <windows.h>

#include "app/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command)
{
    return qm::program_main(reinterpret_cast<qm::Instance>(instance), show_command);
}
