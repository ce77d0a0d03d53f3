#include "app/app_state.h"

namespace qm {
namespace {

AppState Program;

} // namespace

AppState& program_state()
{
    return Program;
}

JobSession app_job_session(AppState& state)
{
    return JobSession{state.AppSettings,    state.SessionCounters,  state.TickBusy,
                      state.Render,         state.App.MainWindow,   state.App.NormalCursor,
                      state.App.BusyCursor};
}

} // namespace qm
