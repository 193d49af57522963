// The reason line of the failure message: which string explains a job's
// result code to the player.
#pragma once

#include "result_code.h"

// String id of the reason for code, or 0 when the code has none.
int GetFailureReasonId(ResultCode code);
