// Waiting in a test for work that finishes on the event loop.
#pragma once

#include <chrono>
#include <functional>

// Runs the event loop until the condition holds or the limit has passed;
// whether it holds.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(30));
