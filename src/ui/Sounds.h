#pragma once
// Tavrel's embedded sounds (":/sounds/<id>.wav") and the desktop's beep.

// Wave resources and when the program plays them.
enum SoundId {
    SOUND_STARTUP = 176,      // the program starts
    SOUND_ABOUT = 177,        // the About box opens
    SOUND_SHUTDOWN = 179,     // the program ends
    SOUND_TRANSFER_OK = 193,  // a transfer ended without anomaly
};

// Starts playing the wave resource `id` and returns at once. A missing
// resource plays nothing. Without Qt Multimedia or an audio output, the end
// of a good transfer beeps and the other sounds are silent.
void PlayWaveResource(int id);

// Sounds the desktop's beep for a BeepKind of app/Host.h; the desktop has a
// single beep, which serves every kind.
void PlayBeep(int kind);
