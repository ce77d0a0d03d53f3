#include "app/app_state.h"

namespace qm {

Settings AppSettings;
Counters SessionCounters;
RenderState Render;
AppShell App;

JobSession app_job_session()
{
    return JobSession{AppSettings,    SessionCounters,  Render,
                      App.MainWindow, App.NormalCursor, App.BusyCursor};
}

void reset_app_state()
{
    AppSettings = Settings{};
    SessionCounters = Counters{};
    Render = RenderState{};
    App = AppShell{};
}

} // namespace qm
