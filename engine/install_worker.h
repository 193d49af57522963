// The body of an install job's worker thread: everything one job does
// between the window starting its worker and the worker reporting back.
#pragma once

#include <windows.h>

#include <string>

#include "install_progress.h"
#include "result_code.h"

// Runs one whole install job on the calling thread, which becomes the
// job's single-threaded COM apartment for the length of the call. Every
// job on the machine works in the same folder, "<downloaded-controls
// folder>\~OVSetup\~OVControlDownload", beside its journal, and so jobs of
// any user or process wait for each other; the work folder is removed at
// the end whatever the result. listener (not owned, may be null) gets every
// progress call on this thread. cancelEvent (not owned, may be null) is
// set when the player cancels; it ends a wait for another job, or on a
// stalled server, at once. Returns the job's result code: 5004 when the
// player cancelled while waiting for another job; before anything is
// downloaded, 5015 when there is no downloaded-controls folder, 5009 when
// this process cannot make the work folder or have the lock, and 5017 when
// an earlier install, left unfinished, cannot be undone yet.
ResultCode RunInstallWorker(const char* clsid, const char* codebase, const char* needVersion,
                            IInstallProgress* listener, HANDLE cancelEvent = nullptr);

