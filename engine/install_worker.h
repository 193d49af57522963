// The body of an install job's worker thread: everything one job does
// between the window starting its worker and the worker reporting back.
#pragma once

#include <windows.h>

#include "install_progress.h"
#include "result_code.h"

// Runs one whole install job on the calling thread, which becomes the
// job's single-threaded COM apartment for the length of the call. The job
// works in "<temporary folder>\~OVControlDownload"; jobs of the same user
// in other threads or processes wait for each other, since they share that
// folder, and the folder is removed at the end whatever the result.
// listener (not owned, may be null) gets every progress call on this
// thread. cancelEvent (not owned, may be null) is set when the player
// cancels; it ends a wait on a stalled server at once. Returns the job's
// result code; 5009 when the temporary folder cannot be named, 5017 when an
// earlier install, left unfinished, cannot be undone yet.
ResultCode RunInstallWorker(const char* clsid, const char* codebase, const char* needVersion,
                            IInstallProgress* listener, HANDLE cancelEvent = nullptr);
