// How a page gets its captcha object: by ProgID, as an ASP page's
// Server.CreateObject("tolvek.Glimmark") does, on a thread that has entered
// an apartment. The object is then used only through IDispatch.
#pragma once

#include <ole2.h>
#include <windows.h>

// The ProgID the pages create.
extern const OLECHAR kCaptchaProgId[];

// Creates one captcha object and returns its IDispatch with one reference.
HRESULT CreateCaptchaObject(IDispatch** object);

// A page thread enters a single-threaded apartment before its first page and
// leaves it when it ends.
void EnterPageApartment();
void LeavePageApartment();

// Whether a page could serve: creates one object by ProgID and has it draw a
// picture (SaveToVar, called by name). S_OK, or the first failure (E_FAIL
// when no picture came back). Call it on a thread in an apartment.
HRESULT ProbeCaptchaObject();
