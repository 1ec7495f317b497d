#include "brevicam/media/WaitDialog.h"

CWaitDialog::CWaitDialog(CWnd* parent) : m_pParent(parent) {}

CWaitDialog::~CWaitDialog()
{
    Stop();
}

void CWaitDialog::Start(UINT textId)
{
    if (m_bStarted)
        return;
    m_pWaitThread = std::make_shared<CWaitThread>(m_pParent, static_cast<int>(textId), CString());
    m_pWaitThread->CreateThread();
    m_bStarted = TRUE;
}

void CWaitDialog::Stop()
{
    if (!m_bStarted)
        return;
    m_pWaitThread->Close();
    m_pWaitThread.reset();
    m_bStarted = FALSE;
}
