// The error report of the output operations: posts rich error information
// (source "Glimmark", the record's errorMessage as description) on the calling
// thread, where the caller reads it with GetErrorInfo right after the call.
#pragma once

#include "state/challenge_settings.h"

// The result every failed output operation returns: severity error,
// FACILITY_ITF, code 0x100.
constexpr HRESULT kOutputFailure = static_cast<HRESULT>(0x80040100);

// Posts the error information and returns kOutputFailure, whether or not the
// information could be posted. Returns E_OUTOFMEMORY instead when memory for
// the description or the source string cannot be had.
HRESULT ReportFailure(const ChallengeSettings* settings) noexcept;
