// Noise curves: random cubic Bezier curves in the font colour drawn across the
// canvas over the characters, before the canvas is scaled to the output.
#pragma once

#include "state/challenge_settings.h"
#include "render/graphics_wrappers.h"

// A coordinate for a random value across an extent: r * extent / 32767,
// truncated, so 0..extent (the far end only for 32767).
INT CurveCoordinate(int randomValue, INT extent);

// Draws one curve on `canvas`, which is `width` by `height` pixels, with a pen
// of settings->lineWidth (handed to the graphics library unchanged). Draws
// exactly eight values: x1, y1, x2, y2, x3, y3, x4, y4 in that order.
void DrawNoiseCurve(const ChallengeSettings* settings, GraphicsContext& canvas, INT width,
                    INT height);
