#pragma once
// The plug-in's editor in a top-level X11 window, as a Linux host shows it:
// the editor's rectangle (effEditGetRect), effEditOpen with the window's
// id, effEditIdle 30 times a second, effEditClose when the window is closed
// or the time is up.

#include <string>

#include "VstHost.h"

namespace tonewright {
namespace offline {

struct EditorRun {
    double seconds = 0.0;    // 0: until the window is closed
    std::string screenshot;  // a PNG of the window taken just before closing, when set
    // When set, played through the plug-in in real time, over and over, on
    // an audio thread of its own while the editor shows (blocks of the
    // plug-in's block size), and what the plug-in gave back is kept in
    // `played` (at most kLongestPlayed seconds).
    const AudioClip* play = nullptr;
    AudioClip* played = nullptr;
    int outChannels = 2;
    static constexpr double kLongestPlayed = 600.0;
};

// Runs the editor; false with a message in `error` when it cannot be shown.
bool runEditor(VstPlugin& plugin, const EditorRun& run, std::string& error);

}  // namespace offline

}  // namespace tonewright
