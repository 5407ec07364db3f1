// Reading a response's body off a socket as it arrives: exactly the announced
// length, the chunks of a chunked body, or, with neither, everything until the
// server closes. Pages and the whole-body download of a server that ignores
// ranges both read their bodies here.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "download/SocketResponse.h"

class TBlockingSocket;

struct BodyReading {
  // A longer body fails, announced or not.
  int64_t MaximumBytes = 0;
  // How long to wait for the next bytes, in milliseconds; 0 or less fails
  // the body (its time is up, or it has stalled).
  std::function<int()> NextWait;
  // Takes each piece of the body in order; false fails the body.
  std::function<bool(std::string_view)> Take;
};

// True when the whole body arrived and every piece was taken. Bytes past an
// announced length are not taken.
bool readResponseBody(TBlockingSocket& socket, const ReceivedHead& received, const BodyReading& reading);
