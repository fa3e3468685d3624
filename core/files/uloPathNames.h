// Internal path notation: ':' between components, a leading ':' means
// "relative to the program folder". Absolute Linux paths take the form
// "/:home:user:x.wav" (the root stands where a drive would), which makes the
// conversion a bijection for every path whose names hold no ':'.
//
// Pure text functions, safe on any thread. Outputs are always terminated and
// cut to the given size.
#pragma once
#include <cstddef>

constexpr size_t kUloPathMax = 2048;

// ':' path to Linux path. False when the output would not fit.
bool ULO_UloPathToSystemPath(const char* uloPath, char* out, size_t outSize);
// Linux path to ':' path. False (and empty output) when a name contains ':',
// which the notation cannot carry, or when the output would not fit.
bool ULO_SystemPathToUloPath(const char* sysPath, char* out, size_t outSize);

void ULO_FileNameFromPath(const char* path, char* out, size_t outSize);
void ULO_File_StripFileName(char* path);
bool ULO_File_GoParent(char* path);
bool ULO_File_GetParentName(const char* path, char* out, size_t outSize);
bool ULO_File_IsKind(const char* name, const char* lowerExt);
void ULO_File_CopyPath(const char* source, char* target, size_t targetSize);
void ULO_File_AddToPath(char* path, size_t pathSize, const char* text);
// Bounded copy that always terminates (strncpy without its pitfalls).
void ULO_StrCopy(char* dst, size_t dstSize, const char* src);
