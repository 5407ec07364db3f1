// Undoing the gzip content coding of a page. zlib is already in the process
// through Qt Core, so this costs no library of its own.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The bytes that gzip members hold, one after another; nothing when the data
// is not whole gzip or would grow past maximumBytes.
std::optional<std::string> gunzip(std::string_view compressed, size_t maximumBytes);
