// Which vector instructions the graphics layer's loops are compiled for. Every
// loop with an SSE2 form also has a plain C++ form with the same arithmetic;
// GLIMMARK_PORTABLE (the build's portable configuration) compiles the plain
// forms only, so that they are built and tested against the same references.
// Files test GLIMMARK_SSE2, never the compiler's own macro.
#pragma once

#if defined(__SSE2__) && !defined(GLIMMARK_PORTABLE)
#define GLIMMARK_SSE2 1
#endif
