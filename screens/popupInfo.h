// The start-up picture: a borderless window showing cast 742, centred on
// the screen, while the program builds its panels and starts the engine.
// While it is up, window input is left to the system (uloSkipWndMsgs).
//
// User-interface thread only. Without the picture or a display nothing is
// shown and start-up goes on.
#pragma once
#include <cstdint>

// 1 while the start-up picture is up.
extern uint8_t jldoingInfo;

void JL_PopupInfo_Open();
// Waits until the mouse button is up, then closes the picture window.
void JL_PopupInfo_Close();
