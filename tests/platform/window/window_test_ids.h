#pragma once
// Ids of the window layer's test resources, shared by the .rc and the tests.
#define IDD_AFX_SAMPLE 100
#define IDC_AFX_LABEL 1001
#define IDC_AFX_EDIT 1002
#define IDC_AFX_PICTURE 1003
#define IDB_AFX_PICTURE 200
#define IDS_AFX_TIP 300
#define IDI_AFX_APP 400
#define IDC_AFX_POINTER 401
#define IDI_AFX_DAMAGED 402
