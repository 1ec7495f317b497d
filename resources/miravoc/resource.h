#pragma once

// Ids of the audio library's resources, shared by miravoc.rc and the code.

// The audio settings dialog: left to right, and mirrored for Arabic.
#define IDD_AUDIO_SETTINGS 102
#define IDD_AUDIO_SETTINGS_RTL 103

#define IDC_SOUND_SETTINGS 1000
#define IDC_LEVEL_METER 1001
#define IDC_VOLUME_SLIDER 1003
#define IDC_TITLE 1008
#define IDC_VOLUME_CAPTION 1009
#define IDC_MIC_CHOOSER 1010
#define IDC_CHOOSER_CAPTION 1016
#define IDC_CLOSE 1017
#define IDC_SOUND_SETTINGS_CAPTION 1018
#define IDC_VOLUME_VALUE 1019
#define IDC_MUTE 1020
#define IDC_UNMUTE 1022
#define IDC_NOISE_CANCELLATION 1023
#define IDC_NOISE_CANCELLATION_CAPTION 1024
#define IDC_NOISE_CANCELLATION_BAND 1025

#define IDI_AUDIO_SETTINGS 128
#define IDB_NOISE_CANCELLATION_BAND 175
