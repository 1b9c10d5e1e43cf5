// The automatic run for the names of the command line: every name either checked or reported on
// standard error with its reason, any number of names checked 1000 at a time, the history echoed
// to standard output with full names, a summary line, and an exit status a script can trust.
#pragma once

#include <QString>
#include <optional>

namespace orvex2 {

class frmOrvex;
struct StartRequest;

// Exit statuses of an automatic run.
inline constexpr int kExitAllPassed = 0;     // every named archive was checked and passed
inline constexpr int kExitNotAllPassed = 1;  // some archive failed or was not checked
inline constexpr int kExitStopped = 2;       // the run was stopped, or nothing could be checked

// Why a name is not checked; empty when it is a target. `path` receives the name in long-name
// form when it has one.
QString RefusalReason(const QString& name, QString* path = nullptr);

// Performs the automatic run of start-up. The exit status, or nullopt when no name could be
// checked (each refused one already reported), so that start-up goes on as without a run.
std::optional<int> AutomaticRun(frmOrvex& w, const StartRequest& request);

}  // namespace orvex2
