// Resource ids of the program, shared by brevicam.rc and the code.
#pragma once

// Strings
#define IDS_APP_NAME 20
#define IDS_INIT_FAILED 21
#define IDS_PRODUCT_NAME 95
#define IDS_NONE 111
#define IDS_MISSING_MODULE 114
#define IDS_CANCEL 135
#define IDS_FOLDER_MISSING_CREATE 143
#define IDS_GENERATING_GIF 146
#define IDS_FOLDER_CREATE_FAILED 147
#define IDS_DONT_WARN_AGAIN 169
#define IDS_IPOD 317
#define IDS_OK 319
#define IDS_PLEASE_WAIT 339
#define IDS_YES 340
#define IDS_NO 342
#define IDS_PHOTOS 345
#define IDS_VIDEOS 362
#define IDS_NOT_ENOUGH_SPACE 701
#define IDS_RES_LOWERED_BURST 702
#define IDS_RES_LOWERED_VIDEO 717
#define IDS_DIRECTORY_INVALID 840
#define IDS_NEED_24BIT_COLOUR 1234
#define IDS_NOT_ADMINISTRATOR 9914

// Dialogs and their controls
#define IDD_WAIT_TASK 655
#define IDC_WAIT_TEXT 1141
#define IDC_WAIT_ANIMATION 1239

// Skin images
#define IDP_WAIT_BACKGROUND 448
