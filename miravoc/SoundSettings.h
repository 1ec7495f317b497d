#pragma once

/// The system's sound settings, where the user picks and tunes recording devices: the PulseAudio volume
/// control (pavucontrol), opened at its input devices. Any thread.

/// Whether the settings program is installed (found along PATH).
bool IsSoundSettingsInstalled();
/// Starts the settings program without waiting for it; false when it could not be started.
bool OpenSoundSettings();
