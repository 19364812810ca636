// The intrinsic objects of one HTTP exchange, as a page's components see
// them: a scripting context whose response sets the reply's content type
// (put_ContentType) and appends to its body (BinaryWrite, Write), and whose
// request reports the size of the request body. Server, session and
// application are present and held but offer nothing: the host's pages keep
// no server-side state.
#pragma once

#include <asptlb.h>
#include <ole2.h>
#include <windows.h>

#include <string>

// What the page wrote, copied into the HTTP reply when the page ends.
struct PageReply {
  std::string contentType;
  std::string body;
};

// Makes the scripting context of one exchange, with one reference for the
// caller. `reply` must outlive every reference to the context and its
// objects (the page releases them all in OnEndPage, before it returns).
// `requestBytes` is the size of the request's body. Null when memory runs out.
IScriptingContext* NewHttpScriptingContext(PageReply& reply, LONG requestBytes);
