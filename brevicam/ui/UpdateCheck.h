#pragma once

#include "corrowin/Corrowin.h"
#include "platform/win/CString.h"

#include <ctime>

/// What the program's update checks share: the request it hands to the web update library and the
/// schedule of the automatic check at start-up.

/// The request: the product's name `title` (kept by the caller while the request is used), the version file
/// "update", the program file's version from its version resource, the server and folder of the
/// installation's "Update" key, no registry key of its own, not an installer. `programPath` is the program
/// file.
void FillUpdateRequest(UpdateRequest& request, const CString& title, const char* programPath, BOOL ask);

/// The start-up check's decision.
struct StartupUpdatePlan
{
    /// A check runs now.
    bool due = false;
    /// The new "NoUpdateIndex".
    int count = 0;
    /// "LastUpdateDate" becomes `today` (a check runs, or the stored date was missing or malformed).
    bool storeToday = false;
    CString today;
};

/// Decides the start-up check from the stored start count and date at the time `now`: due at the 10th
/// start since the last check, or when the last check lies more than seven days (from 00:00 of its day)
/// back. Counts run in 64 bits, so a count at the top of the range makes a check due instead of wrapping,
/// and a negative stored count counts as 0. A date that is not eight digits of a valid day is replaced by
/// today, without a check.
StartupUpdatePlan PlanStartupUpdateCheck(int storedCount, const CString& lastDate, std::time_t now);
