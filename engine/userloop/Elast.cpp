// Placeholder user-loop renderer: holds no loop and renders nothing; the
// mixer never calls it because `enabled` stays 0.
#include "engine/userloop/Elast.h"

ELASTGLOBALDATA elastGlobalData = {};
ELASTRENDERDATA elastRenderData = {};

void Elast_Init() { elastRenderData.enabled = 0; }
void Elast_Exit() { elastRenderData.enabled = 0; }
void Elast_RenderToMixer() {}
void Elast_GetOrigFrames() {}
