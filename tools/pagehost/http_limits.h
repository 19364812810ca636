// Every limit of the page host's HTTP layer (http_server.h), in one place,
// each with the reason for its size. A slow or hostile client can hold a
// connection only as long as these allow, and the host as a whole holds no
// more than they add up to.
#pragma once

#include <chrono>
#include <cstddef>

namespace http_limits {

using Seconds = std::chrono::seconds;
using Milliseconds = std::chrono::milliseconds;

// A request head (request line and header fields) larger than this is a 431.
// Browsers send 1-2 KiB; the query alone may take kMaxTargetBytes.
constexpr size_t kMaxHeadBytes = 16 * 1024;
// A request target longer than this is a 414: envelopes are ~150 bytes, the
// longest picture query under 1 KiB.
constexpr size_t kMaxTargetBytes = 8 * 1024;
// Header fields in one head beyond this are a 431 (browsers send ~15).
constexpr size_t kMaxHeaderFields = 64;
// A body larger than this is a 413: the form has two short fields.
constexpr size_t kMaxBodyBytes = 64 * 1024;

// The whole request head must arrive within this time of the connection
// being opened (or of the first byte of a later request on it). It is a
// deadline, not a per-read timeout, so trickling one byte at a time buys
// nothing. A browser sends its head in one packet; 10 s leaves room for a
// slow mobile link.
constexpr Seconds kHeadDeadline{10};
// The body must arrive within this time of the end of the head (64 KiB at
// 6.5 KiB/s; the form's body is under 300 bytes).
constexpr Seconds kBodyDeadline{10};
// A kept-alive connection with no request started is closed after this: a
// browser reuses a connection within a second or two of its last answer.
constexpr Seconds kKeepAliveIdle{5};
// The client must take the whole answer within this time (a picture is a
// few KiB and fits the socket's send buffer; this bounds slow readers).
constexpr Seconds kWriteDeadline{10};
// After an error answer the host stops writing and reads (and drops) what
// the client still sends for this long, so that the client reads the answer
// instead of a reset.
constexpr Milliseconds kLingerTime{1000};
// How long Stop waits for answers in hand before it closes what is left.
constexpr Seconds kStopGrace{5};

// Open connections at once, idle or busy. Each costs a descriptor and its
// buffers (at most kMaxHeadBytes + kMaxBodyBytes), about 80 KiB at worst:
// 1024 of them are 80 MiB. More than that is answered 503 at once.
constexpr size_t kMaxConnections = 1024;
// Open connections from one client address (one IPv6 /64). A browser opens
// six per host; more from one address is many users behind one NAT or one
// client taking slots, and is answered 503.
constexpr size_t kMaxConnectionsPerAddress = 16;
// Connections in kLingerTime after an error answer, counted apart from the
// above so that refusing never waits on a free slot; beyond this an error
// answer is written and the connection closed at once.
constexpr size_t kMaxLingering = 256;
// Descriptors kept free for the log, the registry file and the libraries.
constexpr size_t kReservedDescriptors = 64;

// Complete requests waiting for a page thread. A picture takes ~0.4 ms of
// CPU, so on two cores 256 waiting is ~50 ms of queue, the latency we aim to
// keep; beyond that a request is answered 503 at once rather than queued.
constexpr size_t kMaxQueuedRequests = 256;
// What a 503 asks the client to wait before it tries again.
constexpr Seconds kRetryAfter{2};

// Connections accepted in one turn of the event loop, so that a flood of new
// connections cannot starve those already open.
constexpr int kAcceptsPerTurn = 64;
// Bytes read from one connection in one turn.
constexpr size_t kReadChunkBytes = 16 * 1024;
// How often the event loop wakes to enforce deadlines when nothing happens.
constexpr Milliseconds kDeadlineTick{100};

}  // namespace http_limits
