#include "brevicam/ui/UpdateCheck.h"

#include "brevicam/core/Params.h"
#include "platform/ostrago/Ostrago.h"

#include <cstdlib>
#include <string>

namespace
{
constexpr std::time_t kWeekSeconds = 604800;

/// The date as eight digits, year, month and day; empty when the local time cannot be had.
CString DateText(std::time_t now)
{
    std::tm local{};
    if (!localtime_r(&now, &local))
        return CString();
    char text[16] = {};
    if (std::strftime(text, sizeof text, "%Y%m%d", &local) == 0)
        return CString();
    return CString(text);
}

/// Midnight of a stored "%Y%m%d" date, or -1 when the date is malformed.
std::time_t StoredDate(const CString& stored)
{
    if (stored.GetLength() != 8)
        return -1;
    const std::string text = stored.GetString();
    const long year = std::atol(text.substr(0, 4).c_str());
    const long month = std::atol(text.substr(4, 2).c_str());
    const long day = std::atol(text.substr(6, 2).c_str());
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31)
        return -1;
    std::tm local{};
    local.tm_year = static_cast<int>(year - 1900);
    local.tm_mon = static_cast<int>(month - 1);
    local.tm_mday = static_cast<int>(day);
    local.tm_isdst = -1;
    return std::mktime(&local);
}
} // namespace

void FillUpdateRequest(UpdateRequest& request, const CString& title, const char* programPath, BOOL ask)
{
    request.lpszApplicationName = title;
    request.lpszFileName = "update";
    tagVERSIONINFO version{};
    if (programPath && GetVersionInfo(programPath, &version, 0))
    {
        request.dwVersionMS = version.dwFileVersionMS;
        request.dwVersionLS = version.dwFileVersionLS;
    }
    request.bAsk = ask;
    request.strFtpDirectory = CParams::GetUpdatePath();
    request.strFtpServer = CParams::GetUpdateServer();
    request.strRegistrySubKey = "";
    request.bInstallerMode = 0;
}

StartupUpdatePlan PlanStartupUpdateCheck(int storedCount, const CString& lastDate, std::time_t now)
{
    StartupUpdatePlan plan;
    plan.today = DateText(now);
    // Counted wide, so that a stored count at the top of the range makes a check due instead of turning
    // negative; a negative count, which only a damaged setting holds, counts from 0.
    long long count = static_cast<long long>(storedCount < 0 ? 0 : storedCount) + 1;
    plan.due = count >= 10;
    if (!plan.due)
    {
        const std::time_t last = StoredDate(lastDate);
        if (last == -1)
            plan.storeToday = true;
        else
            plan.due = last + kWeekSeconds < now;
    }
    if (plan.due)
    {
        plan.storeToday = true;
        count = 0;
    }
    plan.count = static_cast<int>(count);
    return plan;
}
