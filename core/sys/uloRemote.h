// The private window message: the one way another thread hands a request to
// the user-interface thread. It carries one pointer, delivered to
// QXScreen_remoteevents by the poll loop. Callable from any thread.
#pragma once
#include <cstdint>

// SDL event type of the private message (registered on first use).
uint32_t ULO_RemoteEventType();
// Posts the message; false when the event queue refuses it.
bool ULO_PostRemoteMessage(void* param);
