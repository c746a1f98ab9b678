#pragma once

#include <cstdint>

// MD5 of dataLength bytes of data into out. outSize holds out's capacity on entry and the
// number of digest bytes on success. Callers digest the password with its terminating NUL.
bool ComputeMD5(std::uint32_t &outSize, const void *data, std::uint32_t dataLength, void *out);
