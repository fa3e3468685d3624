// The numbered messages the song code must show the user. The song code
// only reports the number (and the song name where the text names one); the
// interface layer installs a hook that shows the localised text.
//
//   4   a mix document cannot be opened (kind 0, OK)
//   17  the song a mix document names is not installed; the text item holds
//       one "%s" for the song name (yes/no box)
//   0   a name from a document or descriptor was refused by the path
//       policy; the second argument is the whole message (kind 0, OK)
//
// User-interface thread. Without a hook nothing is shown.
#pragma once

constexpr int kJLMsgMixDocumentUnreadable = 4;
constexpr int kJLMsgSongNotInstalled = 17;
constexpr int kJLMsgNameRefused = 0;

using JLSongMessageHook = void (*)(int number, const char* songName);

void JL_SetSongMessageHook(JLSongMessageHook hook);
void JL_SongMessage(int number, const char* songName = nullptr);
