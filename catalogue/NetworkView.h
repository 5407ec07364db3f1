// The network category view's thumbnail fetching, and what tests may tune.
#pragma once

#include <chrono>

// How long a network view waits for its thumbnails before it cancels those
// still running; each download is bounded on its own as well.
void SetThumbnailWaitLimitForTesting(std::chrono::milliseconds limit);
