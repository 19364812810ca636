// Image output: every call makes a fresh bitmap of the set size, renders the
// challenge onto it and encodes it as GIF (outputFormat 1) or JPEG (any other
// value) with the graphics library's own encoder, either into a byte-array
// variant or into a named file. On failure the message for the page is left
// in settings->errorMessage and the out-variant is not touched.
#pragma once

#include "state/challenge_settings.h"

// The messages a failed output leaves for the page.
extern const OLECHAR kMessageNoGifEncoder[];
extern const OLECHAR kMessageNoJpegEncoder[];
extern const OLECHAR kMessageNoTempStream[];
extern const OLECHAR kMessageTempStreamWrite[];
extern const OLECHAR kMessageFileWrite[];
extern const OLECHAR kMessageNoBitmap[];

// Encodes into *destination as VT_ARRAY | VT_UI1: a one-dimensional byte array,
// lower bound 0, holding the whole file. Returns 0, or -1 with the message set.
int EncodeToBytes(ChallengeSettings* settings, VARIANT* destination);

// Encodes into the named file, which the encoder creates or replaces.
// Returns 0, or -1 with the message set.
int EncodeToFile(ChallengeSettings* settings, const WCHAR* fileName);
