#include "app/app_state.h"

namespace qm {

Settings AppSettings;
Counters SessionCounters;
AppShell App;

void reset_app_state()
{
    AppSettings = Settings{};
    SessionCounters = Counters{};
    App = AppShell{};
}

} // namespace qm
