// Real-time scheduling for the threads the sound depends on.
//
// The output callback and the loader must run when they are due even while
// other programs keep every core busy; under the normal scheduler a loaded
// machine holds them back for tenths of a second. Where the system allows it
// (root, an rtprio limit, a capability) the calling thread moves to the
// first-in-first-out real-time class; elsewhere it stays as it is (SDL has
// already given its audio thread the best nice value it may take).
//
// Threads: JL_RealtimeWanted on the thread that starts the other (it reads
// the environment); JL_RaiseThreadPriority by the thread to be raised, once,
// at its start: one system call, no allocation, no lock, so the audio
// thread may call it. It returns true when the thread runs real-time now.
#pragma once

// Priorities within the real-time class: the output above the loader, both
// below what a sound server or the kernel's own threads take.
constexpr int kJLOutputPriority = 40;
constexpr int kJLLoaderPriority = 30;

// False when JL_NO_REALTIME=1 keeps every thread under the normal
// scheduler (for comparing, or where real-time threads are unwelcome).
bool JL_RealtimeWanted();
bool JL_RaiseThreadPriority(int priority);
