#pragma once

#include "platform/win/Sync.h"
#include "platform/win/WinTypes.h"

#include <map>

/// Objects the program builds before its application object starts. Those here are built by one
/// translation unit in this order and depend on nothing of another one; the settings store (g_params,
/// Params.h) and the window mediator (GetWndMediator, built on first use) have their own homes.

/// Private clipboard format of the file list's drag and drop,
/// "Tavisk_QPW_E22F87D5_51AC_4e53_83FF_9E54CC150017".
extern UINT g_cfInternalDrag;
/// 1: the system is of the family the drag and drop's wide-character path expects.
extern BYTE g_bIsNT;

/// Set to 1 by the capture panel and the compact capture window; cleared when a recording stops.
extern int g_bCaptureDlgButtonsRestored;
extern int g_bSmallDlgButtonsRestored;
extern int g_bCaptureDlgReenable;
extern int g_bCaptureSmallDlgReenable;

/// Window handles of a waitable task type mapped to their task, under the registry's own lock. One
/// instance per task type lives for the whole program.
template <class Task> class WndSubclassRegistry
{
public:
    void Add(HWND hwnd, Task* task)
    {
        CSingleLock lock(&m_cs, TRUE);
        m_map[hwnd] = task;
    }
    void Remove(HWND hwnd)
    {
        CSingleLock lock(&m_cs, TRUE);
        m_map.erase(hwnd);
    }
    Task* Find(HWND hwnd)
    {
        CSingleLock lock(&m_cs, TRUE);
        auto it = m_map.find(hwnd);
        return it == m_map.end() ? nullptr : it->second;
    }

private:
    CCriticalSection m_cs;
    std::map<HWND, Task*> m_map;
};
